// SPDX-License-Identifier: GPL-3.0-or-later
// Memory held by picture reads that wait on a share which opens files but
// never sends their data (a server stopped in the middle): 60 pictures of
// 4 MiB, each read on a thread of its own, as when a show gives up on one
// picture after another. Reported: resident memory added while all of them
// wait (rss_added_MiB). Needs root and /dev/fuse; skipped otherwise.
#include <benchmark/benchmark.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/picture/JpegLoader.h"
#include "support/DelayedShare.h"

namespace {

using kalvio::test::DelayedShare;

constexpr int kPictures = 60;
constexpr size_t kPictureBytes = 4 << 20;

// Resident memory of this process, in KiB.
long ResidentKiB()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

void BM_WithheldReads(benchmark::State& state)
{
    for (auto _ : state) {
        DelayedShare::Tree tree;
        const auto content = std::make_shared<const std::string>(kPictureBytes, '\xff');
        for (int i = 0; i < kPictures; ++i)
            tree.AddFile("p" + std::to_string(i) + ".jpg", content);
        auto share = std::make_unique<DelayedShare>(std::move(tree), std::chrono::microseconds(0));
        if (!share->Usable()) {
            state.SkipWithError(share->Why().c_str());
            return;
        }
        share->WithholdReads();
        const long before = ResidentKiB();
        std::vector<std::thread> readers;
        for (int i = 0; i < kPictures; ++i)
            readers.emplace_back([path = share->Path("p" + std::to_string(i) + ".jpg")] {
                try {
                    kalvio::ReadPictureBytes(path);
                } catch (const std::exception&) {
                    // the share went: expected
                }
            });
        share->AwaitWithheld(size_t(kPictures), std::chrono::minutes(10));
        const long waiting = ResidentKiB();
        share.reset();
        for (std::thread& t : readers)
            t.join();
        state.counters["rss_added_MiB"] = double(waiting - before) / 1024.0;
    }
}

}

BENCHMARK(BM_WithheldReads)->Iterations(1)->Unit(benchmark::kMillisecond);
