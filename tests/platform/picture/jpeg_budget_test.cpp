// SPDX-License-Identifier: GPL-3.0-or-later
// What one picture may cost the loader: its work (scans x blocks), its
// decoder's memory, and how fast a cancelled decode ends. The costly inputs
// are tiny files that declare huge pictures (tests/support/CostlyJpeg.h).
#include "platform/picture/JpegLoader.h"
#include "platform/picture/JpegRendition.h"
#include "support/CostlyJpeg.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include <signal.h>
#include <time.h>
#include <unistd.h>

using namespace kalvio;
using namespace kalvio::test;

namespace {

// The full-size loader and the rendition, as one signature.
using Decode = std::function<Bitmap(const std::vector<uint8_t>&, const JpegLimits&, const CancelFlag*, JpegCost*)>;

const Decode kFullSize = [](const std::vector<uint8_t>& f, const JpegLimits& limits, const CancelFlag* cancel, JpegCost* cost) {
    return LoadJpegMemory(f.data(), f.size(), "costly.jpg", nullptr, limits, cancel, cost);
};
const Decode kRendition = [](const std::vector<uint8_t>& f, const JpegLimits& limits, const CancelFlag* cancel, JpegCost* cost) {
    return RenderJpegMemory(f.data(), f.size(), "costly.jpg", 1920, 1080, nullptr, limits, cancel, cost);
};

// Processor time of a thread by its clock; -1 once the thread has ended.
double ThreadSeconds(clockid_t clock = CLOCK_THREAD_CPUTIME_ID)
{
    timespec t {};
    if (clock_gettime(clock, &t) != 0)
        return -1;
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

// Sets a cancel flag from inside the thread that makes it, once that thread
// has spent `seconds` of processor time: a timer on the thread's own clock
// signals the thread itself, however long a busy machine takes to give it
// that time. Records the thread's processor time at that moment. One at a
// time; made and destroyed on the decoding thread.
class CancelAtProcessorTime {
public:
    CancelAtProcessorTime(CancelFlag& flag, double seconds)
    {
        flag_ = &flag;
        when_ = -1;
        struct sigaction action {};
        action.sa_handler = [](int) {
            when_ = ThreadSeconds();
            flag_.load()->store(true);
        };
        action.sa_flags = SA_RESTART;
        sigaction(SIGRTMIN, &action, &previous_);
        sigevent event {};
        event.sigev_notify = SIGEV_THREAD_ID;
        event.sigev_signo = SIGRTMIN;
        event._sigev_un._tid = gettid();
        armed_ = timer_create(CLOCK_THREAD_CPUTIME_ID, &event, &timer_) == 0;
        itimerspec at {};
        at.it_value.tv_sec = time_t(seconds);
        at.it_value.tv_nsec = long((seconds - double(at.it_value.tv_sec)) * 1e9);
        armed_ = armed_ && timer_settime(timer_, 0, &at, nullptr) == 0;
    }
    ~CancelAtProcessorTime()
    {
        if (armed_)
            timer_delete(timer_);
        sigaction(SIGRTMIN, &previous_, nullptr);
    }
    CancelAtProcessorTime(const CancelAtProcessorTime&) = delete;
    CancelAtProcessorTime& operator=(const CancelAtProcessorTime&) = delete;

    bool Armed() const { return armed_; }
    // The thread's processor time when the flag was set; -1 if it never was.
    double When() const { return when_; }

private:
    static inline std::atomic<CancelFlag*> flag_ { nullptr };
    static inline std::atomic<double> when_ { -1 };
    struct sigaction previous_ {};
    timer_t timer_ {};
    bool armed_ = false;
};

std::string ErrorOf(const Decode& decode, const std::vector<uint8_t>& file, const JpegLimits& limits = {},
                    JpegCost* cost = nullptr)
{
    try {
        decode(file, limits, nullptr, cost);
    } catch (const PictureError& e) {
        return e.what();
    }
    return "(no error)";
}

}

TEST(JpegBudget, EmptyScansOverAHugePictureAreRefusedEarly)
{
    // 1 KB declaring 15,800 x 15,800 grey with 100 scans, each of which walks
    // all 3.9 million blocks: unbounded, 390 million block walks (6 s of
    // processor time here, 21 s where the issue measured it) and half a
    // gigabyte of coefficients.
    const std::vector<uint8_t> file = CostlyJpeg(CostlyKind::ProgressiveScans);
    ASSERT_LT(file.size(), 1200u);
    const uint64_t blocksPerScan = uint64_t((15800 + 7) / 8) * uint64_t((15800 + 7) / 8);
    const JpegLimits limits;
    ASSERT_LT(limits.maxBlockScans + blocksPerScan, 100 * blocksPerScan);
    for (const Decode& decode : { kFullSize, kRendition }) {
        JpegCost cost;
        const std::string error = ErrorOf(decode, file, limits, &cost);
        EXPECT_NE(error.find("\"costly.jpg\": too much decoding work"), std::string::npos) << error;
        // The work is counted as each scan starts, so the refusal comes at
        // the first scan past the budget, long before the hundredth: what ran
        // before it stayed within the budget, however fast the machine.
        EXPECT_GT(cost.blockScans, limits.maxBlockScans);
        EXPECT_LE(cost.blockScans, limits.maxBlockScans + blocksPerScan);
    }
}

TEST(JpegBudget, WorkAndMemoryLimitsAreEnforced)
{
    // The work of a real progressive file is its blocks times its scans.
    const std::vector<uint8_t> progressive = CostlyJpeg(CostlyKind::ProgressiveScans, 64, 10); // 8 x 8 blocks, 10 scans
    JpegCost cost;
    kFullSize(progressive, {}, nullptr, &cost);
    EXPECT_EQ(cost.blockScans, 640u);
    for (const Decode& decode : { kFullSize, kRendition }) {
        JpegLimits work;
        work.maxBlockScans = 639;
        EXPECT_NE(ErrorOf(decode, progressive, work).find("too much decoding work (more than 639 blocks"), std::string::npos);
        work.maxBlockScans = 640;
        EXPECT_EQ(ErrorOf(decode, progressive, work), "(no error)");
        // Every allocation of the decoder counts, not only whole-picture
        // buffers: a baseline picture is refused too.
        JpegLimits memory;
        memory.maxDecoderBytes = 16 * 1024;
        EXPECT_NE(ErrorOf(decode, CostlyJpeg(CostlyKind::BaselineColour, 4000), memory).find("not enough memory"),
                  std::string::npos);
    }
}

TEST(JpegBudget, RenditionsOfHugePicturesStayScreenSized)
{
    // 100 to 150 bytes declaring 250 megapixels each: a show of them held
    // 4.5 GB. The decoder of a rendition holds a few rows of the picture.
    for (CostlyKind kind : { CostlyKind::BaselineGrey, CostlyKind::BaselineColour, CostlyKind::ArithmeticGrey }) {
        SCOPED_TRACE(int(kind));
        const std::vector<uint8_t> file = CostlyJpeg(kind);
        ASSERT_LT(file.size(), 160u);
        JpegCost cost;
        const Bitmap shown = kRendition(file, {}, nullptr, &cost);
        EXPECT_EQ(shown.width(), 1920);
        EXPECT_EQ(shown.height(), 1080);
        EXPECT_GT(cost.decoderBytes, 0u);
        EXPECT_LT(cost.decoderBytes, size_t(4) << 20);
    }
}

TEST(JpegBudget, CancelEndsADecodeWithin100Ms)
{
    // Both paths, stopped in the middle of the scans of a costly file of
    // 3,000 x 3,000 pixels (most of a second of work with the budget lifted).
    // What the decoding thread spends after the flag is set, until the call
    // has returned and released its memory, is its processor time: a busy
    // machine may keep it waiting, which no clock on the wall must count.
    const std::vector<uint8_t> file = CostlyJpeg(CostlyKind::ProgressiveScans, 3000);
    JpegLimits unlimited;
    unlimited.maxBlockScans = UINT64_MAX;
    for (const Decode& decode : { kFullSize, kRendition }) {
        CancelFlag cancel { false };
        bool armed = false;
        bool cancelled = false;
        double cancelledAt = -1;
        double cpuAtEnd = 0;
        std::thread worker([&] {
            // In the middle of the scans: after 0.1 s of the worker's own time.
            CancelAtProcessorTime cancelInTheMiddle(cancel, 0.1);
            armed = cancelInTheMiddle.Armed();
            try {
                decode(file, unlimited, &cancel, nullptr);
            } catch (const PictureCancelled&) {
                cancelled = true;
            } catch (const PictureError&) {
            }
            cpuAtEnd = ThreadSeconds();
            cancelledAt = cancelInTheMiddle.When();
        });
        worker.join();
        ASSERT_TRUE(armed) << "no timer on the thread's processor time";
        EXPECT_TRUE(cancelled);
        ASSERT_GE(cancelledAt, 0) << "the decode ended before it was cancelled";
        EXPECT_LT(cpuAtEnd - cancelledAt, 0.1);
    }
    // A flag set before the start stops the decode before it starts.
    CancelFlag set { true };
    EXPECT_THROW(LoadPictureRendition(std::string(KALVIO_TEST_DATA) + "/jpeg/testorig.jpg", 100, 100, &set),
                 PictureCancelled);
}
