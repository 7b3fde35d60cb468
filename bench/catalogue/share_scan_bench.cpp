// SPDX-License-Identifier: GPL-3.0-or-later
// Folder scans on a network share (fixtures/PhotoShare.h: 1 ms a call, 20,000
// pictures in 200 folders and a separate folder of 2,000 tracks). Both show
// lists (ScanShowFolders) beside `fdfind -j 16` and `find` walking the same
// share in the same run, and the two sequential scans Play made before.
//
// Needs root and /dev/fuse; skipped otherwise.

#include "catalogue/FolderScan.h"
#include "catalogue/ShowScan.h"
#include "fixtures/PhotoShare.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

using kalvio::bench::BM_ShareFd;
using kalvio::bench::BM_ShareFind;
using kalvio::bench::DelayedShare;
using kalvio::bench::OnShare;
using kalvio::bench::TimeOf;

// Both lists; music:0 with the music folder the picture folder (the
// default), music:1 with the separate music folder.
void BM_ShareShowScan(benchmark::State& state)
{
    const bool separateMusic = state.range(0) != 0;
    size_t pictures = 0, music = 0;
    OnShare(state, [&](const DelayedShare& share) {
        return TimeOf([&] {
            const std::string folder = share.Path("Pictures");
            const kalvio::ShowScanResult r =
                kalvio::ScanShowFolders(folder, separateMusic ? share.Path("Music") : folder);
            pictures = r.pictures.size();
            music = r.music.size();
            return !r.pictureError && !r.musicError;
        });
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
        return TimeOf([&] {
            std::vector<std::string> pictures, music;
            try {
                kalvio::ScanPictureFolder(share.Path("Pictures"), pictures);
                kalvio::ScanMusicFolder(share.Path("Pictures"), music);
            } catch (const kalvio::InOutError&) {
                return false;
            }
            return true;
        });
    });
}
BENCHMARK(BM_ShareSequentialScans)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK(BM_ShareFd)->ArgName("folders")->Arg(1)->Arg(2)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShareFind)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}
