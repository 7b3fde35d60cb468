#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/QtTestApp.h"
#include "platform/JpegLoader.h"
#include "platform/PictureError.h"
#include "slideshow/PicturePrefetcher.h"
#include "slideshow/SlideAdapters.h"
#include "transition/TransitionView.h"

using namespace kalvio;

namespace {

const std::string Show = std::string(KALVIO_TEST_DATA) + "/show/";

// A decoder that records each call, its thread and the pixels it produced;
// paths starting with "bad" fail as a damaged file would.
struct CountingDecoder {
    struct Call {
        std::string path;
        std::thread::id thread;
        const Pixel* pixels;
    };
    std::mutex mutex;
    std::vector<Call> calls;

    PicturePrefetcher::Decoder Decoder()
    {
        return [this](const std::string& path) {
            if (path.starts_with("bad"))
                throw PictureError("damaged picture: " + path);
            Bitmap picture(4 + int(path.size()), 3);
            std::lock_guard lock(mutex);
            calls.push_back({ path, std::this_thread::get_id(), picture.bits() });
            return picture;
        };
    }
};

class PicturePrefetchTest : public ::testing::Test {
protected:
    bool app = (test::TestApplication(), true);   // before the view
    CountingDecoder decoder;
    TTransitionView view;
    TransitionSlideView slideView { view, decoder.Decoder() };
    int changes = 0;
};

// The entry decoded ahead is handed to the view at its tick: decoded once, on
// another thread, and its pixels are not copied.
TEST_F(PicturePrefetchTest, PreparedEntryIsUsedWithoutLoadingAgain)
{
    view.Picture().OnChange = [this] { ++changes; };
    slideView.PrepareEntry(1, "b.jpg");
    slideView.LoadEntry(1, "b.jpg");
    ASSERT_EQ(decoder.calls.size(), 1u);
    EXPECT_NE(decoder.calls[0].thread, std::this_thread::get_id());
    ASSERT_TRUE(view.Picture().HasGraphic());
    EXPECT_EQ(view.Picture().Graphic()->bits(), decoder.calls[0].pixels) << "pixels copied";
    EXPECT_EQ(changes, 1) << "the hand-over notifies like a load";

    // Held once: the same entry again loads it on the spot.
    slideView.LoadEntry(1, "b.jpg");
    ASSERT_EQ(decoder.calls.size(), 2u);
    EXPECT_EQ(decoder.calls[1].thread, std::this_thread::get_id());
}

// A prepared entry that is not the one loaded (the list or the index changed)
// is never shown: the tick loads its own entry on the spot.
TEST_F(PicturePrefetchTest, StaleEntryFallsBackToLoadingOnTheSpot)
{
    struct Case {
        int preparedIndex;
        std::string preparedPath;
        int index;
        std::string path;
    };
    const Case cases[] = {
        { 1, "b.jpg", 2, "b.jpg" },   // same file, other index
        { 1, "b.jpg", 1, "c.jpg" },   // same index, other file
        { 1, "bad.jpg", 1, "c.jpg" }, // a failure for another entry is not thrown
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.preparedPath + " -> " + c.path);
        decoder.calls.clear();
        slideView.PrepareEntry(c.preparedIndex, c.preparedPath);
        slideView.LoadEntry(c.index, c.path);
        ASSERT_FALSE(decoder.calls.empty());
        const auto& last = decoder.calls.back();
        EXPECT_EQ(last.path, c.path);
        EXPECT_EQ(last.thread, std::this_thread::get_id());
        EXPECT_EQ(view.Picture().Graphic()->bits(), last.pixels);
    }
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
    EXPECT_EQ(decoder.calls.back().path, "c.jpg");
}

// Real files: the error of a decode ahead is the error of a load on the spot,
// and a good picture decoded ahead equals one loaded on the spot.
TEST(PicturePrefetcherTest, RealFilesMatchLoadingOnTheSpot)
{
    PicturePrefetcher prefetcher;
    for (const std::string name : { "broken.jpg", "missing.jpg", "notes.txt" }) {
        SCOPED_TRACE(name);
        const std::string path = Show + name;
        std::string expected;
        try {
            LoadPictureFile(path);
        } catch (const PictureError& e) {
            expected = e.what();
        }
        ASSERT_FALSE(expected.empty());
        prefetcher.Start(3, path);
        EXPECT_THROW(
            try { prefetcher.Take(3, path); } catch (const PictureError& e) {
                EXPECT_EQ(e.what(), expected);
                throw;
            },
            PictureError);
        EXPECT_EQ(prefetcher.Take(3, path), nullptr) << "thrown once";
    }

    const std::string good = Show + "testorig.jpg";
    prefetcher.Start(0, good);
    const auto picture = prefetcher.Take(0, good);
    ASSERT_NE(picture, nullptr);
    const Bitmap direct = LoadPictureFile(good);
    ASSERT_EQ(picture->width(), direct.width());
    ASSERT_EQ(picture->height(), direct.height());
    EXPECT_TRUE(std::equal(direct.bits(), direct.bits() + size_t(direct.width()) * size_t(direct.height()),
                           picture->bits()));

    // Cancelled and dropped: nothing is handed over afterwards.
    prefetcher.Start(0, good);
    prefetcher.Cancel();
    EXPECT_EQ(prefetcher.Take(0, good), nullptr);
}

}
