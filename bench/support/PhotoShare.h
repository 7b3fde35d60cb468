// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The network share the share benchmarks walk: a FUSE share of our own that
// answers every call 1 ms after it was made (tests/support/DelayedShare.h),
// 20,000 pictures in 200 folders and a separate folder of 2,000 tracks, and
// the walkers every walk of it is set beside, `fdfind -j 16` (a parallel
// walker) and `find`, timed in the same program. Every walk meets a freshly
// mounted share: nothing is cached. Needs root and /dev/fuse; skipped
// otherwise.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/DelayedShare.h"
#include "support/RunQuietly.h"
#include "support/WavWriter.h"

namespace kalvio::bench {

using test::DelayedShare;

inline constexpr auto kShareDelay = std::chrono::microseconds(1000);

// Pictures/Album NNN/IMG_NNNN.JPG (empty files) and Music/Disc NN/Track
// NNN.mp3, each a short tone (a track Play opens must play).
inline const DelayedShare::Tree& ShareTree()
{
    static const DelayedShare::Tree tree = [] {
        DelayedShare::Tree t;
        char path[96];
        for (int f = 0; f < 200; ++f) {
            for (int i = 0; i < 100; ++i) {
                std::snprintf(path, sizeof path, "Pictures/Album %03d/IMG_%04d.JPG", f, i);
                t.AddFile(path);
            }
        }
        const auto tone = std::make_shared<const std::string>(test::ToneWav(200));
        for (int f = 0; f < 20; ++f) {
            for (int i = 0; i < 100; ++i) {
                std::snprintf(path, sizeof path, "Music/Disc %02d/Track %03d.mp3", f, i);
                t.AddFile(path, tone);
            }
        }
        return t;
    }();
    return tree;
}

using WalkTime = std::optional<std::chrono::steady_clock::duration>;

// The time `walk` takes; nothing when it returns false (it failed).
inline WalkTime TimeOf(const std::function<bool()>& walk)
{
    const auto start = std::chrono::steady_clock::now();
    if (!walk())
        return std::nullopt;
    return std::chrono::steady_clock::now() - start;
}

// Runs `walk` on a fresh share, once per iteration; the walk gives its own
// time (what it times is its business), nothing when it failed (then it may
// have said why on `state`).
inline void OnShare(benchmark::State& state, const std::function<WalkTime(const DelayedShare&)>& walk)
{
    for (auto _ : state) {
        DelayedShare share(ShareTree(), kShareDelay);
        if (!share.Usable()) {
            state.SkipWithError(("no FUSE share: " + share.Why()).c_str());
            return;
        }
        const uint64_t callsBefore = share.Calls(); // the mount's own
        const WalkTime time = walk(share);
        state.counters["calls"] = double(share.Calls() - callsBefore);
        if (!time) {
            if (!state.error_occurred())
                state.SkipWithError("the walk failed");
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(*time).count());
    }
}

// `fdfind -j 16 -u . FOLDERS`: every entry, hidden ones too and no ignore
// files, as the scans take them. folders:1 the pictures, folders:2 the
// pictures and the music.
inline void BM_ShareFd(benchmark::State& state)
{
    const bool withMusic = state.range(0) == 2;
    OnShare(state, [&](const DelayedShare& share) {
        std::vector<std::string> args{"fdfind", "-j", "16", "-u", ".", share.Path("Pictures")};
        if (withMusic)
            args.push_back(share.Path("Music"));
        return TimeOf([&] { return RunQuietly(args); });
    });
}

// `find DIR -type f`, one call at a time.
inline void BM_ShareFind(benchmark::State& state)
{
    OnShare(state, [](const DelayedShare& share) {
        return TimeOf([&] { return RunQuietly({"find", share.Path("Pictures"), "-type", "f"}); });
    });
}

}
