#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""ffmpeg's xfade transitions at 1920 x 1080 on one thread, as the peer of the
frame composer: the processor time ffmpeg spends per frame of a transition,
less that of the same pipeline without xfade. Writes Google Benchmark JSON
with one entry per transition, BM_Xfade/transition:NAME, in ms per frame.

The two pictures are the photos the frame benchmarks use, cropped from the
top-left corner to 1920 x 1080, converted once to planar RGB and repeated
in memory, so decoding is paid once and cancels out in the difference."""

import argparse
import datetime
import json
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile

PHOTOS = os.path.join(os.environ.get("KALVIO_SHARED_DATA",
                                      os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "shared", "data")),
                      "photos")
OLD_PHOTO = "picosdeeuropa_by_Aitzol_Berasategi.jpg"
NEW_PHOTO = "Dragonfly_by_Bolly.jpg"
TRANSITIONS = ["wipeleft", "squeezeh", "slideleft", "hlslice", "diagtl", "circleopen"]
WIDTH, HEIGHT, RATE = 1920, 1080, 25
ONE_THREAD = ["-threads", "1", "-filter_threads", "1", "-filter_complex_threads", "1"]


def child_cpu_seconds(command):
    """Runs `command` and returns the user + system time it used."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    result = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if result.returncode != 0:
        sys.exit(f"ffmpeg failed ({result.returncode}): {' '.join(command)}\n{result.stderr[-2000:]}")
    return (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def make_picture(photo, target):
    subprocess.run(["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y", "-i", photo,
                    "-vf", f"crop={WIDTH}:{HEIGHT}:0:0", "-frames:v", "1", target], check=True)


def pipeline(old, new, frames, join):
    """ffmpeg reading both pictures once and repeating each `frames` times in
    planar RGB, joined by the filter text `join` into [v]."""
    loop = f"format=gbrp,loop=loop={frames - 1}:size=1:start=0,setpts=N/{RATE}/TB"
    graph = f"[0]{loop}[a];[1]{loop}[b];{join}"
    return (["ffmpeg", "-nostdin", "-hide_banner", "-nostats", "-loglevel", "fatal"] + ONE_THREAD
            + ["-i", old, "-i", new, "-filter_complex", graph, "-map", "[v]", "-f", "null", "-"])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", required=True, help="JSON file to write")
    parser.add_argument("--frames", type=int, default=250, help="frames per transition")
    parser.add_argument("--repetitions", type=int, default=3)
    parser.add_argument("--photos", default=PHOTOS)
    args = parser.parse_args()
    if not shutil.which("ffmpeg"):
        sys.exit("ffmpeg not found")

    work = tempfile.mkdtemp(prefix="kalvio-xfade-")
    try:
        old, new = os.path.join(work, "old.png"), os.path.join(work, "new.png")
        make_picture(os.path.join(args.photos, OLD_PHOTO), old)
        make_picture(os.path.join(args.photos, NEW_PHOTO), new)
        seconds = args.frames / RATE

        def median_cpu(join):
            return statistics.median(child_cpu_seconds(pipeline(old, new, args.frames, join))
                                     for _ in range(args.repetitions))

        base = median_cpu("[a]null[v];[b]nullsink")
        benchmarks = []
        for name in TRANSITIONS:
            total = median_cpu(f"[a][b]xfade=transition={name}:duration={seconds}:offset=0[v]")
            per_frame_ms = max(total - base, 0.0) * 1000 / args.frames
            print(f"BM_Xfade/transition:{name}  {per_frame_ms:7.2f} ms/frame  "
                  f"(ffmpeg {total:.3f} s, without xfade {base:.3f} s, {args.frames} frames)")
            benchmarks.append({
                "name": f"BM_Xfade/transition:{name}",
                "run_name": f"BM_Xfade/transition:{name}",
                "run_type": "iteration",
                "repetitions": args.repetitions,
                "iterations": args.frames,
                "real_time": per_frame_ms,
                "cpu_time": per_frame_ms,
                "time_unit": "ms",
                "ffmpeg_cpu_s": total,
                "baseline_cpu_s": base,
            })
        version = subprocess.run(["ffmpeg", "-version"], capture_output=True, text=True).stdout.splitlines()[0]
        report = {
            "context": {
                "date": datetime.datetime.now().astimezone().isoformat(),
                "executable": "ffmpeg xfade",
                "ffmpeg": version,
                "size": f"{WIDTH}x{HEIGHT}",
                "pixel_format": "gbrp",
            },
            "benchmarks": benchmarks,
        }
        with open(args.out, "w") as f:
            json.dump(report, f, indent=2)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
