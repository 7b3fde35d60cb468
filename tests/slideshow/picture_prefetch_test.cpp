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
#include "slideshow/ShareOutage.h"
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

    // The tick's load: waits (through the event loop) for the news that the
    // entry is made, then takes it.
    void Load(int index, const std::string& path)
    {
        bool told = false;
        const bool ready = slideView.EntryReady(index, path, [&](std::exception_ptr failure) {
            EXPECT_FALSE(failure);
            told = true;
        });
        if (!ready) {
            ASSERT_TRUE(test::WaitUntil([&] { return told; }, 20000)) << "no news of " << path;
        }
        slideView.LoadEntry(index, path);
    }
};

// The entry made ahead is handed to the view at its tick: made once, on
// another thread, at the view's client size, and its pixels are not copied.
TEST_F(PicturePrefetchTest, PreparedEntryIsUsedWithoutLoadingAgain)
{
    view.Picture().OnChange = [this] { ++changes; };
    slideView.PrepareEntry(1, "b.jpg");
    Load(1, "b.jpg");
    auto calls = decoder.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_NE(calls[0].thread, std::this_thread::get_id());
    EXPECT_EQ(calls[0].width, view.ClientRect().width());
    EXPECT_EQ(calls[0].height, view.ClientRect().height());
    ASSERT_TRUE(view.Picture().HasGraphic());
    EXPECT_EQ(view.Picture().Graphic()->bits(), calls[0].pixels) << "pixels copied";
    EXPECT_EQ(changes, 1) << "the hand-over notifies like a load";

    // Held once: the same entry again is made again, on the worker too, and
    // taking it before it is made is refused rather than waited for.
    EXPECT_THROW(slideView.LoadEntry(1, "b.jpg"), std::logic_error);
    Load(1, "b.jpg");
    calls = decoder.Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_NE(calls[1].thread, std::this_thread::get_id());
}

// A prepared entry that is not the one loaded (the list or the index changed,
// or the view's client area has another size now) is never shown: the tick
// has its own entry made, at the size the view has now, never on its thread.
TEST_F(PicturePrefetchTest, StaleEntryIsMadeAgainForTheTick)
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
        Load(c.index, c.path);
        const auto calls = decoder.Calls();
        ASSERT_FALSE(calls.empty());
        const auto& last = calls.back();
        EXPECT_EQ(last.path, c.path);
        EXPECT_NE(last.thread, std::this_thread::get_id());
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
    Load(0, "a.jpg");
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
    Load(0, "a.jpg");
    const Bitmap* before = view.Picture().Graphic();
    view.Picture().OnChange = [this] { ++changes; };
    slideView.PrepareEntry(1, "bad.jpg");
    try {
        Load(1, "bad.jpg");
        ADD_FAILURE() << "no error at the tick";
    } catch (const PictureError& e) {
        EXPECT_STREQ(e.what(), "damaged picture: bad.jpg");
    }
    EXPECT_EQ(view.Picture().Graphic(), before);
    EXPECT_EQ(changes, 0);

    // Nothing held afterwards: a later entry is not disturbed by it.
    Load(2, "c.jpg");
    EXPECT_EQ(decoder.Calls().back().path, "c.jpg");
}

// After its transition the view shows its frame; the picture is let go.
TEST_F(PicturePrefetchTest, PictureIsLetGoAfterItsTransition)
{
    view.SetThreaded(false);
    view.SetStep(100);
    Load(0, "a.jpg");
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
    ASSERT_TRUE(test::WaitUntil([&] { return slow.seen->started == 1; }, test::kHangMs));

    EXPECT_LT(SecondsOf([&] { prefetcher.Start({ 1, "b.jpg", 40, 30 }); }), slow.UnwaitedSeconds());
    ASSERT_TRUE(test::WaitUntil([&] { return slow.seen->cancelled == 1 && slow.seen->started == 2; }, test::kHangMs));

    EXPECT_LT(SecondsOf([&] { prefetcher.Cancel(); }), slow.UnwaitedSeconds());
    EXPECT_TRUE(test::WaitUntil([&] { return slow.seen->cancelled == 2; }, test::kHangMs));
    EXPECT_EQ(prefetcher.Take({ 1, "b.jpg", 40, 30 }), nullptr) << "nothing held after a cancel";

    // Destroyed with a decode in flight that pays no heed to its flag: the
    // destructor returns at once, and the worker ends by itself later.
    test::SlowDecoder stubborn;
    stubborn.heedsCancel = false;
    auto busy = std::make_unique<PicturePrefetcher>(stubborn.Decoder());
    busy->Start({ 0, "a.jpg", 40, 30 });
    ASSERT_TRUE(test::WaitUntil([&] { return stubborn.seen->started == 1; }, test::kHangMs));
    EXPECT_LT(SecondsOf([&] { busy.reset(); }), stubborn.UnwaitedSeconds());
    EXPECT_TRUE(test::WaitUntil([&] { return stubborn.seen->cancelled > 0; }, test::kHangMs)) << "the flag was set";
    stubborn.seen->released = true;
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
        ASSERT_TRUE(test::WaitUntil([&] { return prefetcher.Ready({ 3, path, 64, 48 }); }, 20000));
        EXPECT_THROW(
            try { prefetcher.Take({ 3, path, 64, 48 }); } catch (const PictureError& e) {
                EXPECT_EQ(e.what(), expected);
                throw;
            },
            PictureError);
        EXPECT_EQ(prefetcher.Take({ 3, path, 64, 48 }), nullptr) << "thrown once";
    }

    const std::string good = Show + "testorig.jpg";
    ASSERT_TRUE(test::WaitUntil([&] { return prefetcher.Ready({ 0, good, 64, 48 }); }, 20000));
    const auto picture = prefetcher.Take({ 0, good, 64, 48 });
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(*picture, LoadPictureRendition(good, 64, 48));
}

// Nothing waits for a decode: taking an entry still being made gives
// nothing, the news comes once it is made. An entry whose file does not
// answer within the limit is told once as not answering and still waited for
// on the same worker, however many limits pass: no second read is started.
// It comes when its read returns.
TEST(TransitionSlideViewWait, AnEntryThatDoesNotAnswerIsToldOnceAndComesWhenItsReadReturns)
{
    test::TestApplication();
    test::SlowDecoder stuck;
    stuck.heedsCancel = false;
    stuck.limit = std::chrono::milliseconds(test::kHangMs);
    TTransitionView view;
    view.SetAutoSize(false);
    view.resize(64, 48);
    view.show();
    constexpr std::chrono::milliseconds limit { 100 };
    TransitionSlideView slideView(view, stuck.Decoder(), limit);

    std::vector<std::exception_ptr> news;
    auto listener = [&](std::exception_ptr failure) { news.push_back(failure); };
    EXPECT_LT(SecondsOf([&] { EXPECT_FALSE(slideView.EntryReady(0, "stuck.jpg", listener)); }), 1.0);
    ASSERT_TRUE(test::WaitUntil([&] { return stuck.seen->started == 1; }, 5000));
    EXPECT_THROW(slideView.LoadEntry(0, "stuck.jpg"), std::logic_error) << "taken before it was made";

    ASSERT_TRUE(test::WaitUntil([&] { return !news.empty(); }, test::kHangMs));
    ASSERT_TRUE(news[0]);
    try {
        std::rethrow_exception(news[0]);
    } catch (const FileNotAnswering& e) {
        EXPECT_EQ(e.Path(), "stuck.jpg");
    } catch (...) {
        ADD_FAILURE() << "not told as a file that does not answer";
    }
    // Ten limits more: nothing more is told and no other read starts.
    EXPECT_FALSE(test::WaitUntil([&] { return news.size() > 1; }, int(limit.count()) * 10));
    EXPECT_EQ(stuck.seen->started, 1);

    stuck.seen->released = true;
    ASSERT_TRUE(test::WaitUntil([&] { return news.size() == 2; }, test::kHangMs));
    EXPECT_FALSE(news[1]) << "made";
    slideView.LoadEntry(0, "stuck.jpg");
    EXPECT_TRUE(view.Picture().HasGraphic());
    EXPECT_EQ(stuck.seen->started, 1);
}

}
