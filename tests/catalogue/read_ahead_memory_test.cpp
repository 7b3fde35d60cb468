// SPDX-License-Identifier: GPL-3.0-or-later
// The read-ahead of the show scan when memory runs out: every allocation of
// its threads, or of every thread, is made to fail in turn, once or for good.
// The scan must still end: with the sequential scans' lists when only the
// read-ahead's threads lack memory (they give up what they cannot do and the
// scan does it itself), else with those lists or std::bad_alloc. Never a
// folder left marked as being read (the scan would wait for it for ever),
// never an exception out of a thread (the program would end).
#include "catalogue/FolderScan.h"
#include "catalogue/ShowScan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <new>
#include <optional>
#include <string>
#include <thread>

#include "support/TempFolder.h"

namespace {

// Allocations of every thread but the exempt ones are counted while armed;
// the one numbered `failAt`, or every one from it on, fails.
std::atomic<bool> gArmed = false;
std::atomic<long> gCounted = 0;
std::atomic<long> gFailAt = 0; // 0: none fails
std::atomic<bool> gForGood = false;
thread_local bool tExempt = false;

void* Allocate(std::size_t size)
{
    if (gArmed.load(std::memory_order_relaxed) && !tExempt) {
        const long n = gCounted.fetch_add(1, std::memory_order_relaxed) + 1;
        const long at = gFailAt.load(std::memory_order_relaxed);
        if (at != 0 && (n == at || (n > at && gForGood.load(std::memory_order_relaxed))))
            throw std::bad_alloc();
    }
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

}

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

namespace fs = std::filesystem;
using kalvio::InOutError;
using kalvio::ShowScanResult;

// The outer limit of a scan: only a scan waiting for ever reaches it.
constexpr auto kHang = std::chrono::seconds(120);

// Folders three deep, one of them with more entries than a thread looks up
// in one go, pictures and music throughout.
void MakeTree(const fs::path& root)
{
    auto file = [](const fs::path& path) { std::ofstream(path) << "x"; };
    for (int a = 0; a < 3; ++a) {
        const fs::path pa = root / ("a" + std::to_string(a));
        for (int b = 0; b < 3; ++b) {
            const fs::path pb = pa / ("b" + std::to_string(b));
            fs::create_directories(pb / "c");
            file(pb / "p.jpg");
            file(pb / "c" / "q.JPEG");
            file(pb / "t.mp3");
        }
        file(pa / "r.jpg");
    }
    for (int i = 0; i < 40; ++i)
        fs::create_directories(root / "wide" / ("f" + std::to_string(i)));
    for (int i = 0; i < 40; ++i)
        file(root / "wide" / ("f" + std::to_string(i)) / "w.jpg");
    file(root / "s.wav");
}

ShowScanResult Sequential(const std::string& pictures, const std::string& music)
{
    ShowScanResult r;
    kalvio::ScanPictureFolder(pictures, r.pictures);
    kalvio::ScanMusicFolder(music, r.music);
    return r;
}

// The show scan on a thread of its own (its allocations fail too unless
// `exempt`), bounded by the hang limit: a scan that waits for ever ends the
// test program with a message. Nothing when it ran out of memory.
std::optional<ShowScanResult> ScanBounded(const std::string& pictures, const std::string& music, bool exempt)
{
    std::packaged_task<std::optional<ShowScanResult>()> task([&]() -> std::optional<ShowScanResult> {
        tExempt = exempt;
        try {
            return kalvio::ScanShowFolders(pictures, music);
        } catch (const std::bad_alloc&) {
            return std::nullopt;
        }
    });
    std::future<std::optional<ShowScanResult>> result = task.get_future();
    std::thread scan(std::move(task));
    if (result.wait_for(kHang) != std::future_status::ready) {
        std::fprintf(stderr, "the scan waits for ever (allocation %ld failed%s)\n", gFailAt.load(),
                     gForGood ? " and every one after it" : "");
        std::_Exit(1);
    }
    scan.join();
    return result.get();
}

TEST(ReadAheadOutOfMemory, ScanEndsWithTheSequentialListsWhateverAllocationFails)
{
    tExempt = true;
    kalvio::test::TempFolder folder("read-ahead-memory");
    MakeTree(folder.path());
    const std::string root = folder.path().string();
    struct Walk {
        const char* name;
        std::string pictures, music;
    };
    // Runs in which an allocation of a read-ahead thread failed.
    int failedOnReadAhead = 0;
    // One walk for both lists, and a music folder inside the picture tree.
    for (const Walk& walk : { Walk { "same folder", root, root }, Walk { "music inside", root, root + "/a1" } }) {
        SCOPED_TRACE(walk.name);
        const ShowScanResult expected = Sequential(walk.pictures, walk.music);
        ASSERT_GT(expected.pictures.size(), 40u);

        // Only the read-ahead's threads lack memory, or the scan's too.
        for (const bool scanToo : { false, true }) {
            SCOPED_TRACE(scanToo ? "every thread" : "the read-ahead's threads");
            // How many allocations there are in one scan. The read-ahead's
            // share varies from run to run: on a busy machine the scan may
            // have done all before its threads even started.
            long made = 0;
            gFailAt = 0;
            for (int run = 0; run < 20 && made < 20; ++run) {
                gCounted = 0;
                gArmed = true;
                ScanBounded(walk.pictures, walk.music, !scanToo);
                gArmed = false;
                made = std::max(made, gCounted.load());
            }

            const long step = std::max(1L, made / 250);
            for (const bool forGood : { false, true }) {
                for (long at = 1; at <= made + step; at += step) {
                    gCounted = 0;
                    gFailAt = at;
                    gForGood = forGood;
                    gArmed = true;
                    const std::optional<ShowScanResult> got = ScanBounded(walk.pictures, walk.music, !scanToo);
                    gArmed = false;
                    failedOnReadAhead += !scanToo && gCounted >= at;
                    const std::string what = "allocation " + std::to_string(at) + (forGood ? " on" : "");
                    if (!got) {
                        EXPECT_TRUE(scanToo) << what << ": only the scan's own allocations may end it";
                        continue;
                    }
                    ASSERT_EQ(got->pictures, expected.pictures) << what;
                    ASSERT_EQ(got->music, expected.music) << what;
                    ASSERT_FALSE(got->pictureError || got->musicError) << what;
                }
            }
        }
    }
    if (failedOnReadAhead == 0)
        GTEST_SKIP() << "the read-ahead's threads never ran before the scan was done (a busy machine)";
}

}
