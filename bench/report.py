#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Reads the Google Benchmark JSON files of one benchmark run and prints the
performance goals as a table: each measured figure, its anchor from the same
run, the ratio and whether the goal holds.

Times of benchmarks that run in this process are processor times (cpu_time),
which a busy machine disturbs least; djpeg reports its own processor time as a
manual time; the folder scan and find, and the whole-process figures, are
timed over the wall clock."""

import glob
import json
import os
import re
import statistics
import sys


def plain_name(name):
    """The name without the settings Google Benchmark appends to it."""
    return re.sub(r"/(iterations:\d+|repeats:\d+|min_time:[\d.]+|real_time|manual_time|process_time)", "", name)


def load(folder):
    """name -> benchmark entry, medians of repetitions preferred."""
    entries = {}
    for path in sorted(glob.glob(os.path.join(folder, "*.json"))):
        try:
            with open(path) as f:
                data = json.load(f)
        except (OSError, ValueError) as e:
            print(f"warning: {path}: {e}", file=sys.stderr)
            continue
        program = os.path.splitext(os.path.basename(path))[0]
        for b in data.get("benchmarks", []):
            if b.get("error_occurred"):
                continue
            aggregate = b.get("run_type") == "aggregate"
            if aggregate and b.get("aggregate_name") != "median":
                continue
            key = (program, plain_name(b.get("run_name", b["name"])))
            if aggregate or key not in entries:
                entries[key] = b
    return entries


def ms(entry, field="cpu_time"):
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[entry.get("time_unit", "ns")]
    return entry[field] * scale


def frame_ms(entry):
    """A frame benchmark's time: its manual time (the frames alone) when it
    times its anchor beside it, else its processor time."""
    return ms(entry, "real_time") if "memcpy_ratio" in entry else ms(entry)


def find(entries, pattern, program=None):
    """Entries whose name matches `pattern` (a regular expression, anchored)."""
    rx = re.compile(pattern + r"$")
    return {name: e for (prog, name), e in entries.items()
            if rx.match(name) and (program is None or prog == program)}


def one(entries, pattern, program=None):
    found = find(entries, pattern, program)
    return next(iter(found.values())) if found else None


def status(ok):
    return "yes" if ok else "**no**"


FRAME_SIZES = ((1920, 1080), (3840, 2160), (6000, 4000))


def worst_frame(entries, w, h):
    """(ratio, style, frame ms, memcpy ms) of the slowest style against the
    memcpy timed beside it, and the median ratio; None when not measured."""
    ratios = []
    for program in ("rect_styles_bench", "region_styles_bench"):
        for name, e in find(entries, rf"BM_Frame/style:(\d+)/w:{w}/h:{h}", program).items():
            if "memcpy_ratio" in e:
                style = int(re.search(r"style:(\d+)", name).group(1))
                ratios.append((e["memcpy_ratio"], style, frame_ms(e), e["memcpy_ms"]))
    if not ratios:
        return None
    return max(ratios), statistics.median(r[0] for r in ratios)


def context_target(folder):
    """The vector target the programs of `folder` named in their context."""
    names = set()
    for path in glob.glob(os.path.join(folder, "*.json")):
        try:
            with open(path) as f:
                names.add(json.load(f).get("context", {}).get("simd_target", "?"))
        except (OSError, ValueError):
            pass
    return "/".join(sorted(names)) or "?"


def per_target(folder):
    """Tables of the goals that depend on the vector code, one column per
    target of targets/<name>/ (the same programs run once per
    KALVIO_SIMD_TARGET in the same run)."""
    order = ["avx512", "avx2", "sse4", "sve", "neon", "plain"]
    found = [os.path.basename(d) for d in glob.glob(os.path.join(folder, "targets", "*")) if os.path.isdir(d)]
    targets = sorted(found, key=lambda t: order.index(t) if t in order else len(order))
    if not targets:
        return
    runs = {t: load(os.path.join(folder, "targets", t)) for t in targets}
    header = ["per target (KALVIO_SIMD_TARGET)"] + [f"{t} ({context_target(os.path.join(folder, 'targets', t))})"
                                                    for t in targets]
    rows = []
    for w, h in FRAME_SIZES[:2]:
        cells, medians = [], []
        for t in targets:
            found_frame = worst_frame(runs[t], w, h)
            if not found_frame:
                cells.append("not measured")
                medians.append("")
                continue
            (ratio, style, frame, copy), median = found_frame
            cells.append(f"{ratio:.2f}x (style {style}, {frame:.2f} ms / {copy:.2f} ms) {status(ratio <= 3)}")
            medians.append(f"{median:.2f}x")
        rows.append([f"1. frame {w}x{h}, slowest style against memcpy beside it (goal 3x)"] + cells)
        rows.append([f"1. frame {w}x{h}, median of the styles"] + medians)
    # Stretch copies against a memcpy of the destination's size in the same program.
    copies = (("BM_StretchCopyMirror24MP", (6000, 4000), "stretch copy, mirrored, 24 MP"),
              ("BM_StretchCopy24MP/w:3840/h:2160", (3840, 2160), "stretch copy, 24 MP to 3840x2160"),
              ("BM_StretchCopy24MP/w:1920/h:1080", (1920, 1080), "stretch copy, 24 MP to 1920x1080"),
              ("BM_StretchCopy24MP/w:3000/h:4000", (3000, 4000), "stretch copy, 24 MP squeezed across to 3000x4000"),
              ("BM_StretchCopyEnlarge", (1920, 1080), "stretch copy, 960x540 to 1920x1080"),
              ("BM_SelectRow/w:1920/h:1080", (1920, 1080), "frame mix select, 1920x1080"),
              ("BM_SelectRow/w:3840/h:2160", (3840, 2160), "frame mix select, 3840x2160"))
    for pattern, (w, h), label in copies:
        cells = []
        for t in targets:
            e = one(runs[t], re.escape(pattern), "graphics_bench")
            copy = one(runs[t], rf"BM_FrameMemcpy/w:{w}/h:{h}", "graphics_bench")
            if not e:
                cells.append("not measured")
            elif copy:
                cells.append(f"{ms(e):.2f} ms ({ms(e) / ms(copy):.2f}x memcpy)")
            else:
                cells.append(f"{ms(e):.2f} ms")
        if any(c != "not measured" for c in cells):
            rows.append([label] + cells)
    # Renditions against djpeg's full decode of the same file (goal 1.3x).
    names = sorted({name for t in targets
                    for name in find(runs[t], r"BM_Rendition/file:(.+)/w:(\d+)/h:(\d+)", "rendition_bench")})
    for name in names:
        file = name.split("file:", 1)[1].split("/w:")[0]
        size = "x".join(re.findall(r"[wh]:(\d+)", name))
        cells = []
        for t in targets:
            e = one(runs[t], re.escape(name), "rendition_bench")
            djpeg = one(runs[t], rf"BM_Djpeg/file:{re.escape(file)}", "rendition_bench")
            if e and djpeg:
                r = ms(e) / ms(djpeg, "real_time")
                cells.append(f"{r:.2f}x ({ms(e):.0f} ms / {ms(djpeg, 'real_time'):.0f} ms)")
            else:
                cells.append("not measured")
        rows.append([f"8. rendition {size} of {file} against djpeg"] + cells)
    print()
    print("| " + " | ".join(header) + " |")
    print("|" + "---|" * len(header))
    for row in rows:
        print("| " + " | ".join(row) + " |")


def share_rows(entries, program, what, pattern):
    """One program's walks of the 1 ms share (music:0 with the music folder the
    picture folder, music:1 with a separate music folder of 2,000 tracks)
    against `fdfind -j 16` on the pictures and `find` timed in the same
    program, and find against fd for reference."""
    fd = one(entries, r"BM_ShareFd/folders:1", program)
    share_find = one(entries, r"BM_ShareFind", program)
    peers = ", ".join(f"{name} {ms(e, 'real_time'):.0f} ms" for name, e in (("fd -j 16", fd), ("find", share_find)) if e)
    rows = []
    for music, label, goal in ((0, "music folder the picture folder", 1.0),
                               (1, "separate music folder of 2,000 tracks", 1.2)):
        ours = one(entries, rf"{pattern}/music:{music}", program)
        if not ours or not fd:
            rows.append((f"7. {what} on a 1 ms share, {label}", "not measured", "", "", ""))
            continue
        r = ms(ours, "real_time") / ms(fd, "real_time")
        rows.append((f"7. {what} on a 1 ms share, {label}", f"{ms(ours, 'real_time'):.0f} ms", peers,
                     f"{r:.2f}x fd", status(r <= goal)))
    if share_find and fd:
        rows.append((f"7. (reference) find on the 1 ms share ({program})", f"{ms(share_find, 'real_time'):.0f} ms",
                     f"fd -j 16 {ms(fd, 'real_time'):.0f} ms", f"{ms(share_find, 'real_time') / ms(fd, 'real_time'):.2f}x fd", "-"))
    return rows


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else "."
    entries = load(folder)
    rows = []

    # 1. Composition against a frame-sized memcpy, per size. Each frame
    # benchmark times its own anchor alongside (a memcpy of OldBitmap onto its
    # FrameBitmap after every frame) and reports the median per-iteration
    # ratio; the standalone memcpy, which runs with nothing else in the caches,
    # is shown for reference.
    for w, h in FRAME_SIZES:
        ratios, resident = [], []
        for program in ("rect_styles_bench", "region_styles_bench"):
            memcpy = one(entries, rf"BM_FrameMemcpy/w:{w}/h:{h}", program)
            for name, e in find(entries, rf"BM_Frame/style:(\d+)/w:{w}/h:{h}", program).items():
                style = int(re.search(r"style:(\d+)", name).group(1))
                if "memcpy_ratio" in e:
                    ratios.append((e["memcpy_ratio"], style, frame_ms(e), e["memcpy_ms"]))
                if memcpy:
                    resident.append((frame_ms(e) / ms(memcpy), style, frame_ms(e), ms(memcpy)))
        if not ratios:
            rows.append((f"1. frame {w}x{h}", "not measured", "", "", ""))
            continue
        worst = max(ratios)
        median = statistics.median(r[0] for r in ratios)
        memcpy_ms = statistics.median(r[3] for r in ratios)
        rows.append((f"1. frame {w}x{h}, slowest style ({worst[1]})", f"{worst[2]:.2f} ms",
                     f"memcpy beside it {worst[3]:.2f} ms", f"{worst[0]:.2f}x", status(worst[0] <= 3)))
        rows.append((f"1. frame {w}x{h}, median of {len(ratios)} styles", "",
                     f"memcpy beside them {memcpy_ms:.2f} ms", f"{median:.2f}x", status(median <= 2)))
        if resident:
            worst = max(resident)
            over = sum(1 for r in resident if r[0] > 3)
            rows.append((f"1. (reference) frame {w}x{h}, slowest style ({worst[1]}) against the standalone memcpy",
                         f"{worst[2]:.2f} ms", f"memcpy alone {worst[3]:.2f} ms",
                         f"{worst[0]:.2f}x (median {statistics.median(r[0] for r in resident):.2f}x)",
                         f"{over} styles above 3x"))

    # 2. Against ffmpeg's xfade at 1920 x 1080.
    pairs = [(5, "wipeleft", 2), (1, "squeezeh", 2), (4, "slideleft", 5), (60, "hlslice", 5),
             (43, "diagtl", 2), (84, "circleopen", 5)]
    for style, transition, goal in pairs:
        peer = one(entries, rf"BM_Xfade/transition:{transition}")
        ours = one(entries, rf"BM_Frame/style:{style}/w:1920/h:1080")
        if not peer or not ours:
            rows.append((f"2. style {style} vs xfade {transition}", "not measured", "", "", ""))
            continue
        lead = ms(peer) / frame_ms(ours) if frame_ms(ours) > 0 else float("inf")
        rows.append((f"2. style {style} vs xfade {transition}", f"{frame_ms(ours):.2f} ms",
                     f"xfade {ms(peer):.2f} ms", f"{lead:.1f}x faster", status(lead >= goal)))

    # 3. Composition and paint of a whole frame on a 4K screen, pictures at the
    # screen's size, against a frame-sized memcpy timed beside every frame.
    screen = find(entries, r"BM_FrameOnScreen/style:(\d+)")
    screen = {n: e for n, e in screen.items() if "memcpy_ratio" in e}
    if screen:
        name, worst = max(screen.items(), key=lambda kv: kv[1]["memcpy_ratio"])
        ratios = [e["memcpy_ratio"] for e in screen.values()]
        over = sum(1 for r in ratios if r > 3)
        rows.append((f"3. frame on a 4K screen, slowest style ({name.split(':')[-1]})",
                     f"{frame_ms(worst):.1f} ms (composition alone {worst.get('compose_ratio', 0):.2f}x)",
                     f"memcpy beside it {worst['memcpy_ms']:.2f} ms", f"{worst['memcpy_ratio']:.2f}x",
                     status(worst["memcpy_ratio"] <= 3)))
        rows.append((f"3. frame on a 4K screen, median of {len(ratios)} styles", "",
                     f"memcpy beside them {statistics.median(e['memcpy_ms'] for e in screen.values()):.2f} ms",
                     f"{statistics.median(ratios):.2f}x", f"{over} styles above 3x"))
    else:
        rows.append(("3. frame on a 4K screen", "not measured", "", "", ""))

    # 4. Processor time of an in-line transition over its wall time.
    for name, e in sorted(find(entries, r"BM_InlineTransition/(\d+)/1920/1080.*").items()):
        share = e.get("cpu_per_wall")
        if share is not None:
            rows.append((f"4. in-line transition {name.split('/')[1]}, 1920x1080", f"{share:.3f} of a core",
                         f"{e.get('cpu_ms_per_frame', 0):.1f} ms a frame", "limit 0.15", status(share <= 0.15)))
    if not find(entries, r"BM_InlineTransition/(\d+)/1920/1080.*"):
        rows.append(("4. in-line transition CPU", "not measured", "", "", ""))

    # 5. Tick to first frame on a 4K view, pictures at its size, against a
    # frame-sized memcpy timed beside every tick.
    tick = find(entries, r"BM_TickToFirstFrame/.*")
    for name, e in sorted(tick.items()):
        # The time is the main thread's processor time (a manual time); the
        # limit applies to a picture made ahead.
        ahead = "decoded_ahead:1" in name
        ratio = e.get("memcpy_ratio", 0)
        rows.append((f"5. tick to first frame, {'/'.join(name.split('/')[1:])}", f"{ms(e, 'real_time'):.1f} ms",
                     f"memcpy beside it {e.get('memcpy_ms', 0):.2f} ms; wall {e.get('wall_ms', 0):.0f} ms",
                     f"{ratio:.2f}x", status(0 < ratio <= 4) if ahead else "-"))
    if not tick:
        rows.append(("5. tick to first frame", "not measured", "", "", ""))

    # 6. Peak resident memory of the real program playing a show under Xvfb.
    for name, e in sorted(find(entries, r"BM_ShowMemory/.*").items()):
        peak, limit = e.get("peak_rss_mb", 0), e.get("limit_mb", 0)
        rows.append((f"6. show memory, {'/'.join(name.split('/')[1:])}", f"{peak:.0f} MB", "VmHWM of kalvio",
                     f"limit {limit:.0f} MB", status(0 < peak <= limit)))
    if not find(entries, r"BM_ShowMemory/.*"):
        rows.append(("6. show memory", "not measured", "", "", ""))

    # 7. JPEG decoding against djpeg (processor times), folder scan against find (wall times).
    for name, e in sorted(find(entries, r"BM_Decode/file:(.+)").items()):
        file = name.split(":", 1)[1]
        djpeg = one(entries, rf"BM_Djpeg/file:{re.escape(file)}")
        if djpeg:
            # djpeg's time is its own processor time (a manual time), ours the decoder's.
            r = ms(e) / ms(djpeg, "real_time")
            rows.append((f"7. decode {file}", f"{ms(e):.1f} ms", f"djpeg {ms(djpeg, 'real_time'):.1f} ms",
                         f"{r:.2f}x", status(r <= 1.15)))
    scan, find_run = one(entries, r"BM_Scan"), one(entries, r"BM_FindBaseline")
    if scan and find_run:
        r = ms(scan, "real_time") / ms(find_run, "real_time")
        rows.append(("7. scan of 100,000 files", f"{ms(scan, 'real_time'):.1f} ms",
                     f"find {ms(find_run, 'real_time'):.1f} ms", f"{r:.2f}x", status(r <= 1.0)))
    show, before = one(entries, r"BM_ShowScan"), one(entries, r"BM_SequentialShowScans")
    if show and before:
        # Both lists in one walk (the music folder is the picture folder)
        # against the two sequential scans Play made before, and (reference)
        # against the picture scan alone.
        r = ms(show, "real_time") / ms(before, "real_time")
        rows.append(("7. both show lists of 100,000 files, one walk", f"{ms(show, 'real_time'):.1f} ms",
                     f"the two scans {ms(before, 'real_time'):.1f} ms", f"{r:.2f}x", status(r <= 1.1)))
        if scan:
            rows.append(("7. (reference) both show lists against the picture scan alone", f"{ms(show, 'real_time'):.1f} ms",
                         f"picture scan {ms(scan, 'real_time'):.1f} ms", f"{ms(show, 'real_time') / ms(scan, 'real_time'):.2f}x", "-"))

    # On a share that answers every call after 1 ms (20,000 pictures in 200
    # folders), against a parallel walker and find on the same share in the
    # same program: the two show lists, and Play through the real windows.
    rows += share_rows(entries, "share_scan_bench", "show scan", r"BM_ShareShowScan")
    seq = one(entries, r"BM_ShareSequentialScans", "share_scan_bench")
    fd = one(entries, r"BM_ShareFd/folders:1", "share_scan_bench")
    if seq and fd:
        rows.append(("7. (reference) the two sequential scans on the 1 ms share", f"{ms(seq, 'real_time'):.0f} ms",
                     f"fd -j 16 {ms(fd, 'real_time'):.0f} ms", f"{ms(seq, 'real_time') / ms(fd, 'real_time'):.2f}x fd", "-"))
    rows += share_rows(entries, "share_play_bench", "Play to the slideshow window", r"BM_SharePlay")
    # The event loop while Play scans, beside a thread that only sleeps (what
    # the machine did to any thread meanwhile), and the end of the process
    # with a worker stuck on a dead share.
    for name, e in sorted(find(entries, r"BM_SharePlay/music:(\d)", "share_play_bench").items()):
        late = max(e.get("timer_late_ms", 0), e.get("repaint_ms", 0))
        machine = e.get("sleeper_late_ms", 0)
        # A stall that a thread doing nothing met as well is the machine's.
        holds = status(late <= 100) if late <= 100 or machine < late - 10 else "no: the machine stalled"
        rows.append((f"7. event loop during Play's scan, {name.split('/')[1]}",
                     f"10 ms timer {e.get('timer_late_ms', 0):.1f} ms late, repaint {e.get('repaint_ms', 0):.1f} ms",
                     f"a sleeping thread {machine:.1f} ms late", "limit 100 ms", holds))
    for name, label, limit in ((r"BM_ShareCloseInScan/how:0", "close box during the scan to the window closed", 100),
                               (r"BM_ShareCloseInScan/how:1", "Close button during the scan to the window closed", 100),
                               (r"BM_StuckWorkerEnd/at:0", "Close during a scan of a dead share to the process's end", 1000),
                               (r"BM_StuckWorkerEnd/at:1", "Esc while the show waits on a dead share to the process's end", 1000)):
        e = one(entries, name, "share_play_bench")
        if not e:
            rows.append((f"7. {label}", "not measured", "", "", ""))
            continue
        # The worst of the iterations is what a person may meet.
        worst = e.get("worst_ms", ms(e, "real_time"))
        rows.append((f"7. {label}", f"{worst:.1f} ms", f"mean of {e.get('iterations', 0)}: {ms(e, 'real_time'):.1f} ms",
                     f"limit {limit} ms", status(worst <= limit)))

    # 8. Pictures at the size they are shown: quality against ImageMagick's
    # resize (the worst photo), and decode plus resample against djpeg's full
    # decode of the same file, timed in the same program.
    quality = find(entries, r"BM_RenditionQuality/file:(.+)/w:(\d+)/h:(\d+)")
    for w, h in ((1920, 1080), (3840, 2160)):
        rows_wh = [(e["psnr_db"], name) for name, e in quality.items()
                   if name.endswith(f"/w:{w}/h:{h}") and "psnr_db" in e]
        if rows_wh:
            worst = min(rows_wh)
            file = worst[1].split("file:", 1)[1].split("/w:")[0]
            rows.append((f"8. rendition {w}x{h}, worst of {len(rows_wh)} photos ({file})", f"{worst[0]:.1f} dB",
                         f"median {statistics.median(r[0] for r in rows_wh):.1f} dB", "limit 48 dB", status(worst[0] >= 48)))
    if not quality:
        rows.append(("8. rendition quality", "not measured", "", "", ""))
    for name, e in sorted(find(entries, r"BM_Rendition/file:(.+)/w:(\d+)/h:(\d+)", "rendition_bench").items()):
        file = name.split("file:", 1)[1].split("/w:")[0]
        size = "x".join(re.findall(r"[wh]:(\d+)", name))
        djpeg = one(entries, rf"BM_Djpeg/file:{re.escape(file)}", "rendition_bench")
        if djpeg:
            r = ms(e) / ms(djpeg, "real_time")
            rows.append((f"8. rendition {size} of {file}", f"{ms(e):.1f} ms", f"djpeg {ms(djpeg, 'real_time'):.1f} ms",
                         f"{r:.2f}x", status(r <= 1.3)))
    # The candidates for the resampler, on full decodes (reference rows).
    for name, e in sorted(find(entries, r"BM_Resampler/kind:(.+)").items()):
        rows.append((f"8. (reference) resampler {name.split('kind:', 1)[1]}", f"{ms(e):.1f} ms",
                     f"{e.get('psnr_db', 0):.1f} dB", "", "-"))

    # 9. Costly tiny files: processor time and libjpeg's memory, with the
    # decoding budget and without it.
    for name, e in sorted(find(entries, r"BM_CostlyPicture/.*").items()):
        refused = bool(e.get("refused"))
        rows.append((f"9. {name.split('/', 1)[1]}", f"{ms(e):.0f} ms",
                     "" if refused else f"decoder {e.get('decoder_mb', 0):.1f} MB", "refused" if refused else "decoded", "-"))

    # 10. Pictures turned upright: the slowest quarter turn against a copy of the
    # bitmap (a new one, as the turn makes), the slowest in-place orientation
    # against a memcpy; the Exif reader against libexif.
    turns = find(entries, r"BM_Oriented/orientation:(\d+).*")
    swapping = [(e["copy_ratio"], n, e) for n, e in turns.items() if re.search(r"orientation:[5-8]", n)]
    in_place = [(e["memcpy_ratio"], n, e) for n, e in turns.items() if re.search(r"orientation:[2-4]", n)]
    if swapping:
        r, n, e = max(swapping)
        rows.append((f"10. quarter turn of 6000x4000, slowest ({n.split('/')[1]})", f"{ms(e, 'real_time'):.1f} ms",
                     "copy into a new bitmap", f"{r:.2f}x", "-"))
    if in_place:
        r, n, e = max(in_place)
        rows.append((f"10. in-place orientation of 6000x4000, slowest ({n.split('/')[1]})",
                     f"{ms(e, 'real_time'):.1f} ms", f"memcpy {e['memcpy_ms']:.1f} ms", f"{r:.2f}x", "-"))
    for name, e in sorted(find(entries, r"BM_ExifOrientation/file:(.+)").items()):
        file = name.split(":", 1)[1]
        lib = one(entries, rf"BM_LibExifOrientation/file:{re.escape(file)}")
        if lib:
            own_ms, lib_ms = ms(e), ms(lib)
            rows.append((f"10. Exif orientation of {file}", f"{own_ms * 1e6:.0f} ns", f"libexif {lib_ms * 1e3:.1f} µs",
                         f"{lib_ms / max(own_ms, 1e-12):.0f}x faster", "-"))

    header = ("goal", "measured", "anchor", "ratio", "holds")
    print("| " + " | ".join(header) + " |")
    print("|" + "---|" * len(header))
    for row in rows:
        print("| " + " | ".join(row) + " |")
    per_target(folder)


if __name__ == "__main__":
    main()
