// SPDX-License-Identifier: GPL-3.0-or-later
// Folder scans on a network share: a FUSE share of our own that answers every
// call 1 ms after it was made (tests/support/DelayedShare.h), 20,000 pictures
// in 200 folders and a separate folder of 2,000 tracks. Both show lists
// (ScanShowFolders) beside `fdfind -j 16` (a parallel walker) and `find`
// walking the same share in the same run, and the two sequential scans Play
// made before. Every walk meets a freshly mounted share: nothing is cached.
//
// Needs root and /dev/fuse; skipped otherwise.

#include "catalogue/FolderScan.h"
#include "catalogue/ShowScan.h"
#include "support/DelayedShare.h"
#include "support/RunQuietly.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

using kalvio::test::DelayedShare;

constexpr auto kDelay = std::chrono::microseconds(1000);

const DelayedShare::Tree& ShareTree()
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
        for (int f = 0; f < 20; ++f) {
            for (int i = 0; i < 100; ++i) {
                std::snprintf(path, sizeof path, "Music/Disc %02d/Track %03d.mp3", f, i);
                t.AddFile(path);
            }
        }
        return t;
    }();
    return tree;
}

// Times `walk` on a fresh share, once per iteration; the walk returns false
// when it failed.
void OnShare(benchmark::State& state, const std::function<bool(const DelayedShare&)>& walk)
{
    for (auto _ : state) {
        DelayedShare share(ShareTree(), kDelay);
        if (!share.Usable()) {
            state.SkipWithError(("no FUSE share: " + share.Why()).c_str());
            return;
        }
        const uint64_t callsBefore = share.Calls(); // the mount's own
        const auto start = std::chrono::steady_clock::now();
        const bool ok = walk(share);
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        state.counters["calls"] = double(share.Calls() - callsBefore);
        if (!ok) {
            state.SkipWithError("the walk failed");
            return;
        }
    }
}

// Both lists; music:0 with the music folder the picture folder (the
// default), music:1 with the separate music folder.
void BM_ShareShowScan(benchmark::State& state)
{
    const bool separateMusic = state.range(0) != 0;
    size_t pictures = 0, music = 0;
    OnShare(state, [&](const DelayedShare& share) {
        const std::string folder = share.Path("Pictures");
        const kalvio::ShowScanResult r =
            kalvio::ScanShowFolders(folder, separateMusic ? share.Path("Music") : folder);
        pictures = r.pictures.size();
        music = r.music.size();
        return !r.pictureError && !r.musicError;
    });
    state.counters["pictures"] = double(pictures);
    state.counters["music"] = double(music);
}
BENCHMARK(BM_ShareShowScan)->ArgName("music")->Arg(0)->Arg(1)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

// The picture scan and then the music scan of the same folder, one call at a
// time: Play's scans before the read-ahead.
void BM_ShareSequentialScans(benchmark::State& state)
{
    OnShare(state, [](const DelayedShare& share) {
        std::vector<std::string> pictures, music;
        try {
            kalvio::ScanPictureFolder(share.Path("Pictures"), pictures);
            kalvio::ScanMusicFolder(share.Path("Pictures"), music);
        } catch (const kalvio::InOutError&) {
            return false;
        }
        return true;
    });
}
BENCHMARK(BM_ShareSequentialScans)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// `fdfind -j 16 -u . FOLDERS`: every entry, hidden ones too and no ignore
// files, as the scans take them. folders:1 the pictures, folders:2 the
// pictures and the music.
void BM_ShareFd(benchmark::State& state)
{
    const bool withMusic = state.range(0) == 2;
    OnShare(state, [&](const DelayedShare& share) {
        std::vector<std::string> args{"fdfind", "-j", "16", "-u", ".", share.Path("Pictures")};
        if (withMusic)
            args.push_back(share.Path("Music"));
        return kalvio::bench::RunQuietly(args);
    });
}
BENCHMARK(BM_ShareFd)->ArgName("folders")->Arg(1)->Arg(2)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

// `find DIR -type f`, one call at a time.
void BM_ShareFind(benchmark::State& state)
{
    OnShare(state, [](const DelayedShare& share) {
        return kalvio::bench::RunQuietly({"find", share.Path("Pictures"), "-type", "f"});
    });
}
BENCHMARK(BM_ShareFind)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}
