// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/QtTestApp.h"
#include "platform/picture/JpegLoader.h"
#include "platform/picture/JpegRendition.h"
#include "platform/picture/PictureError.h"
#include "slideshow/PicturePrefetcher.h"
#include "slideshow/SlideAdapters.h"
#include "support/SlowDecoder.h"
#include "transition/TransitionView.h"

using namespace kalvio;

namespace {

const std::string Show = std::string(KALVIO_TEST_DATA) + "/show/";

// A decoder that records each call (path, size, thread, the pixels it made);
// paths starting with "bad" fail as a damaged file would. Its record is shared
// with the decoder, which a worker may still run after the test.
struct CountingDecoder {
    struct Call {
        std::string path;
        int32_t width, height;
        std::thread::id thread;
        const Pixel* pixels;
    };
    struct Record {
        std::mutex mutex;
        std::vector<Call> calls;
    };
    std::shared_ptr<Record> record = std::make_shared<Record>();

    PicturePrefetcher::Decoder Decoder() const
    {
        return [record = record](const std::string& path, int32_t width, int32_t height, const CancelFlag*) {
            if (path.starts_with("bad"))
                throw PictureError("damaged picture: " + path);
            Bitmap picture(width, height);
            std::lock_guard lock(record->mutex);
            record->calls.push_back({ path, width, height, std::this_thread::get_id(), picture.bits() });
            return picture;
        };
    }
    std::vector<Call> Calls() const
    {
        std::lock_guard lock(record->mutex);
        return record->calls;
    }
};

double SecondsOf(const std::function<void()>& action)
{
    const auto t0 = std::chrono::steady_clock::now();
    action();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

class PicturePrefetchTest : public ::testing::Test {
protected:
    bool app = (test::TestApplication(), true); // before the view
    CountingDecoder decoder;
    TTransitionView view;
    TransitionSlideView slideView { view, decoder.Decoder() };
    int changes = 0;

    void SetUp() override
    {
        view.SetAutoSize(false);
        view.resize(64, 48);
        view.show();
    }
};

// The entry made ahead is handed to the view at its tick: made once, on
// another thread, at the view's client size, and its pixels are not copied.
TEST_F(PicturePrefetchTest, PreparedEntryIsUsedWithoutLoadingAgain)
{
    view.Picture().OnChange = [this] { ++changes; };
    slideView.PrepareEntry(1, "b.jpg");
    slideView.LoadEntry(1, "b.jpg");
    auto calls = decoder.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_NE(calls[0].thread, std::this_thread::get_id());
    EXPECT_EQ(calls[0].width, view.ClientRect().width());
    EXPECT_EQ(calls[0].height, view.ClientRect().height());
    ASSERT_TRUE(view.Picture().HasGraphic());
    EXPECT_EQ(view.Picture().Graphic()->bits(), calls[0].pixels) << "pixels copied";
    EXPECT_EQ(changes, 1) << "the hand-over notifies like a load";

    // Held once: the same entry again loads it on the spot.
    slideView.LoadEntry(1, "b.jpg");
    calls = decoder.Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].thread, std::this_thread::get_id());
}

// A prepared entry that is not the one loaded (the list or the index changed,
// or the view's client area has another size now) is never shown: the tick
// makes its own entry on the spot, at the size the view has now.
TEST_F(PicturePrefetchTest, StaleEntryFallsBackToLoadingOnTheSpot)
{
    struct Case {
        int preparedIndex;
        std::string preparedPath;
        int index;
        std::string path;
        bool resizedHidden; // the view resized while hidden, so nothing is made again ahead
    };
    const Case cases[] = {
        { 1, "b.jpg", 2, "b.jpg", false },   // same file, other index
        { 1, "b.jpg", 1, "c.jpg", false },   // same index, other file
        { 1, "bad.jpg", 1, "c.jpg", false }, // a failure for another entry is not thrown
        { 1, "b.jpg", 1, "b.jpg", true },    // the same entry, made for another size
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.preparedPath + " -> " + c.path);
        view.resize(64, 48);
        view.show();
        slideView.PrepareEntry(c.preparedIndex, c.preparedPath);
        if (c.resizedHidden) {
            view.hide();
            view.resize(80, 30);
        }
        slideView.LoadEntry(c.index, c.path);
        const auto calls = decoder.Calls();
        ASSERT_FALSE(calls.empty());
        const auto& last = calls.back();
        EXPECT_EQ(last.path, c.path);
        EXPECT_EQ(last.thread, std::this_thread::get_id());
        EXPECT_EQ(last.width, view.ClientRect().width());
        EXPECT_EQ(last.height, view.ClientRect().height());
        EXPECT_EQ(view.Picture().Graphic()->bits(), last.pixels);
    }
}

// The entry is made when the view shows, at its size then, and made again
// when the client area changes size before its tick.
TEST_F(PicturePrefetchTest, EntryIsMadeAtTheSizeTheViewShows)
{
    view.hide();
    view.resize(30, 20);
    slideView.PrepareEntry(0, "a.jpg");
    test::WaitUntil([] { return false; }, 50);
    EXPECT_TRUE(decoder.Calls().empty()) << "nothing is made for a view not shown yet";

    view.resize(64, 48);
    view.show();
    view.resize(100, 70);
    slideView.LoadEntry(0, "a.jpg");
    const auto calls = decoder.Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().width, 100);
    EXPECT_EQ(calls.back().height, 70);
    EXPECT_NE(calls.back().thread, std::this_thread::get_id()) << "made ahead, not at the tick";
    for (const auto& call : calls)
        EXPECT_NE(call.width, 30) << "never made for the size before the view showed";
}

// A failed decode ahead surfaces at the entry's tick, once, with the loader's
// own error; the view keeps its picture.
TEST_F(PicturePrefetchTest, FailureSurfacesAtItsTickOnce)
{
    slideView.LoadEntry(0, "a.jpg");
    const Bitmap* before = view.Picture().Graphic();
    view.Picture().OnChange = [this] { ++changes; };
    slideView.PrepareEntry(1, "bad.jpg");
    try {
        slideView.LoadEntry(1, "bad.jpg");
        ADD_FAILURE() << "no error at the tick";
    } catch (const PictureError& e) {
        EXPECT_STREQ(e.what(), "damaged picture: bad.jpg");
    }
    EXPECT_EQ(view.Picture().Graphic(), before);
    EXPECT_EQ(changes, 0);

    // Nothing held afterwards: a later entry is not disturbed by it.
    slideView.LoadEntry(2, "c.jpg");
    EXPECT_EQ(decoder.Calls().back().path, "c.jpg");
}

// After its transition the view shows its frame; the picture is let go.
TEST_F(PicturePrefetchTest, PictureIsLetGoAfterItsTransition)
{
    view.SetThreaded(false);
    view.SetStep(100);
    slideView.LoadEntry(0, "a.jpg");
    slideView.Execute();
    EXPECT_FALSE(view.Picture().HasGraphic());
    EXPECT_EQ(view.FrameBitmap().width(), view.ClientRect().width());
}

// Dropping what was prepared, or preparing another entry, cancels the decode
// in flight through its flag and never waits for it; the next entry is made
// once the cancelled decode has ended.
TEST(PicturePrefetcherTest, ADecodeInFlightIsCancelledNotWaitedFor)
{
    test::SlowDecoder slow;
    PicturePrefetcher prefetcher(slow.Decoder());
    prefetcher.Start({ 0, "a.jpg", 40, 30 });
    ASSERT_TRUE(test::WaitUntil([&] { return slow.seen->started == 1; }, 5000));

    EXPECT_LT(SecondsOf([&] { prefetcher.Start({ 1, "b.jpg", 40, 30 }); }), 1.0);
    ASSERT_TRUE(test::WaitUntil([&] { return slow.seen->cancelled == 1 && slow.seen->started == 2; }, 5000));

    EXPECT_LT(SecondsOf([&] { prefetcher.Cancel(); }), 1.0);
    EXPECT_TRUE(test::WaitUntil([&] { return slow.seen->cancelled == 2; }, 5000));
    EXPECT_EQ(prefetcher.Take({ 1, "b.jpg", 40, 30 }), nullptr) << "nothing held after a cancel";

    // Destroyed with a decode in flight that pays no heed to its flag: the
    // destructor returns at once, and the worker ends by itself later.
    test::SlowDecoder stubborn;
    stubborn.heedsCancel = false;
    stubborn.limit = std::chrono::milliseconds(1500);
    auto busy = std::make_unique<PicturePrefetcher>(stubborn.Decoder());
    busy->Start({ 0, "a.jpg", 40, 30 });
    ASSERT_TRUE(test::WaitUntil([&] { return stubborn.seen->started == 1; }, 5000));
    EXPECT_LT(SecondsOf([&] { busy.reset(); }), 1.0);
    EXPECT_TRUE(test::WaitUntil([&] { return stubborn.seen->cancelled > 0; }, 5000)) << "the flag was set";
}

// Real files: the error of a decode ahead is the error of a load on the spot,
// and a good picture made ahead equals one made on the spot.
TEST(PicturePrefetcherTest, RealFilesMatchLoadingOnTheSpot)
{
    PicturePrefetcher prefetcher;
    for (const std::string name : { "broken.jpg", "missing.jpg", "notes.txt" }) {
        SCOPED_TRACE(name);
        const std::string path = Show + name;
        std::string expected;
        try {
            LoadPictureRendition(path, 64, 48);
        } catch (const PictureError& e) {
            expected = e.what();
        }
        ASSERT_FALSE(expected.empty());
        prefetcher.Start({ 3, path, 64, 48 });
        EXPECT_THROW(
            try { prefetcher.Take({ 3, path, 64, 48 }); } catch (const PictureError& e) {
                EXPECT_EQ(e.what(), expected);
                throw;
            },
            PictureError);
        EXPECT_EQ(prefetcher.Take({ 3, path, 64, 48 }), nullptr) << "thrown once";
    }

    const std::string good = Show + "testorig.jpg";
    prefetcher.Start({ 0, good, 64, 48 });
    const auto picture = prefetcher.Take({ 0, good, 64, 48 });
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(*picture, LoadPictureRendition(good, 64, 48));
    EXPECT_EQ(*picture, prefetcher.Decode(good, 64, 48));
}

}
