// SPDX-License-Identifier: GPL-3.0-or-later
// The view on a scaled screen. CTest runs this program at the scale factors
// 1, 1.25, 1.5 and 2 (QT_SCALE_FACTOR); what reaches the screen is read back
// from the window's backing store, device pixel by device pixel.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include <QImage>
#include <QPixmap>
#include <QScreen>

#include "ViewTestSupport.h"

namespace kalvio {
namespace {

using test::CodedPicture;

// The window's pixels as the screen shows them, at the screen's own resolution.
QImage OnScreen(QWidget& w)
{
    return w.screen()->grabWindow(w.winId()).toImage().convertToFormat(QImage::Format_RGB32);
}

// The first pixel where the screen differs from `expected`, or success.
::testing::AssertionResult ScreenShows(QWidget& w, const Bitmap& expected)
{
    const QImage image = OnScreen(w);
    if (image.width() < expected.width() || image.height() < expected.height())
        return ::testing::AssertionFailure() << "screen " << image.width() << "x" << image.height() << ", expected "
                                             << expected.width() << "x" << expected.height();
    for (int y = 0; y < expected.height(); ++y) {
        const auto* row = reinterpret_cast<const Pixel*>(image.constScanLine(y));
        for (int x = 0; x < expected.width(); ++x)
            if ((row[x] | 0xff000000u) != expected.pixel(x, y))
                return ::testing::AssertionFailure() << "device pixel (" << x << "," << y << ") is " << std::hex
                                                     << row[x] << ", expected " << expected.pixel(x, y);
    }
    return ::testing::AssertionSuccess();
}

struct HiDpiFixture : ::testing::Test {
    std::unique_ptr<TTransitionView> view;
    double ratio = 1;
    Rect client;

    void SetUp() override
    {
        test::EnsureApplication();
        view = std::make_unique<TTransitionView>();
        view->setWindowFlags(Qt::FramelessWindowHint);
        view->SetThreaded(false);
        view->SetAutoSize(false);
        view->SetDelay(0);
        view->SetStretch(true); // as the slideshow sets it up
        view->SetCenter(true);
        view->SetColor(RGB(10, 200, 30));
        view->resize(173, 101); // odd sizes: fractional factors round at the edges
        test::ShowAndSettle(*view);
        ratio = view->devicePixelRatioF();
        client = view->ClientRect();
    }

    // A transition run to its end, leaving `picture` on screen.
    void ShowPicture(const Bitmap& picture, int style = 60)
    {
        view->Picture().Assign(picture);
        view->SetStyle(TShowStyle(style));
        view->SetStep(50);
        view->Execute();
    }
};

TEST_F(HiDpiFixture, ClientAreaCountsDevicePixels)
{
    EXPECT_EQ(client, (Rect { 0, 0, int32_t(std::lround(173 * ratio)), int32_t(std::lround(101 * ratio)) }));

    // Fitted to a picture, the client area holds all of its pixels.
    TTransitionView fitted;
    fitted.Picture().Assign(CodedPicture(101, 37, 1));
    const Rect fit = fitted.ClientRect();
    EXPECT_GE(fit.width(), 101);
    EXPECT_GE(fit.height(), 37);
    EXPECT_LT(fit.width(), 101 + ratio);
    EXPECT_LT(fit.height(), 37 + ratio);

    // A centred unstretched frame sits in the middle of the device pixels.
    view->SetStretch(false);
    ShowPicture(CodedPicture(40, 30, 2));
    EXPECT_EQ(view->PictureRect(), (Rect { 0, 0, 40, 30 }.translated((client.width() - 40) / 2, (client.height() - 30) / 2)));
    Bitmap expected(client.width(), client.height(), view->Color());
    Draw(expected, view->PictureRect().left, view->PictureRect().top, CodedPicture(40, 30, 2));
    EXPECT_TRUE(ScreenShows(*view, expected));
}

// A picture of the client area's size goes to the screen pixel for pixel, and
// every frame of a transition reaches every device pixel it changed: a style
// that repaints only what it changes leaves nothing stale at any factor.
TEST_F(HiDpiFixture, EveryFrameReachesEveryDevicePixel)
{
    const Bitmap first = CodedPicture(client.width(), client.height(), 1);
    const Bitmap second = CodedPicture(client.width(), client.height(), 2);
    ShowPicture(first);
    ASSERT_TRUE(ScreenShows(*view, first));
    EXPECT_TRUE(view->PaintBuffer().isEmpty()) << "a frame that is the client area needs no copy of it";

    // Rectangle styles that move, fold and split; region styles of bars, an iris and triangles.
    for (int style : { 1, 9, 14, 23, 31, 46, 57, 60, 75, 84, 100, 117 }) {
        SCOPED_TRACE("style " + std::to_string(style));
        view->Picture().Assign(style % 2 ? second : first);
        view->SetStyle(TShowStyle(style));
        view->SetManual(true);
        view->Execute();
        for (int progress : { 3, 10, 17, 29, 38, 51, 64, 77, 90, 99, 42, 100 }) {
            view->SetProgress(progress);
            ASSERT_TRUE(ScreenShows(*view, view->FrameBitmap())) << "at progress " << progress;
        }
        view->Stop();
        view->SetManual(false);
    }
}

// A frame smaller than the client area is stretched over all of its device
// pixels by the view, not enlarged afterwards by the window system.
TEST_F(HiDpiFixture, SmallerFrameIsStretchedOverDevicePixels)
{
    const Bitmap picture = CodedPicture(client.width() / 2 + 1, client.height() / 3 + 1, 3);
    ShowPicture(picture);
    Bitmap expected(client.width(), client.height());
    StretchCopy(expected, expected.rect(), picture, picture.rect());
    EXPECT_TRUE(ScreenShows(*view, expected));
}

// The next transition starts from what the screen shows, in device pixels:
// unchanged for a picture of the same size, scaled to the size of another.
TEST_F(HiDpiFixture, SnapshotTakesTheDevicePixels)
{
    const Bitmap first = CodedPicture(client.width(), client.height(), 1);
    ShowPicture(first);
    Bitmap startFrame;
    view->OnProgress = [&](TTransitionView* v) {
        if (v->Progress() == 0)
            startFrame = v->FrameBitmap();
    };
    ShowPicture(CodedPicture(client.width(), client.height(), 2));
    EXPECT_EQ(startFrame, first);

    const Bitmap shown = view->FrameBitmap();
    ShowPicture(CodedPicture(client.width() / 2, client.height() / 2, 3));
    Bitmap expected(client.width() / 2, client.height() / 2);
    StretchCopy(expected, expected.rect(), shown, shown.rect());
    EXPECT_EQ(startFrame, expected);
}

}
}
