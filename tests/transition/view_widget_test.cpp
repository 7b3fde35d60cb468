// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <chrono>

#include <QElapsedTimer>
#include <QEnterEvent>
#include <QImage>
#include <QPaintEvent>
#include <QPixmap>
#include <QRegion>
#include <QWindow>

#include "ViewTestSupport.h"
#include "transition/styles/StyleTable.h"

namespace kalvio {
namespace {

using test::CodedPicture;

// Counts the paints that reach the screen.
class CountingView : public TTransitionView {
public:
    int paints = 0;
    QRegion painted; // union of the areas painted

protected:
    void paintEvent(QPaintEvent* e) override
    {
        ++paints;
        painted += e->region();
        TTransitionView::paintEvent(e);
    }
};

void ProcessEventsFor(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

QImage Screen(QWidget& w)
{
    return w.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Every pixel of the grabbed widget against the expected client area.
::testing::AssertionResult ShowsExactly(QWidget& w, const Bitmap& expected)
{
    const QImage image = Screen(w);
    if (image.width() != expected.width() || image.height() != expected.height())
        return ::testing::AssertionFailure() << "size " << image.width() << "x" << image.height();
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) | 0xff000000u) != expected.pixel(x, y))
                return ::testing::AssertionFailure() << "pixel (" << x << "," << y << ") is " << std::hex
                                                     << image.pixel(x, y) << ", expected " << expected.pixel(x, y);
    return ::testing::AssertionSuccess();
}

struct WithApplication {
    WithApplication() { test::EnsureApplication(); }
};

struct WidgetFixture : ::testing::Test, WithApplication {
    CountingView view;
    const Pixel colour = RGB(10, 200, 30);
    const Bitmap picture = CodedPicture(40, 30, 2);

    void SetUp() override
    {
        view.SetThreaded(false);
        view.SetAutoSize(false);
        view.SetColor(colour);
        view.resize(100, 80);
        view.SetDelay(1);
        view.SetStep(25);
        view.SetStyle(0);
        view.OnCustomDraw = test::WipeDrawer();
        test::ShowAndSettle(view);
    }
};

TEST_F(WidgetFixture, ShowsOnlyTheColourUntilTheFirstTransition)
{
    view.Picture().Assign(picture);
    EXPECT_TRUE(ShowsExactly(view, Bitmap(100, 80, colour)));
}

TEST_F(WidgetFixture, StretchedTransitionFillsTheWindow)
{
    view.SetStretch(true);
    view.SetCenter(true);
    view.Picture().Assign(picture);
    std::vector<int> paintsAtProgress;
    view.OnProgress = [&](TTransitionView*) { paintsAtProgress.push_back(view.paints); };
    const int before = view.paints;
    view.Execute();
    ASSERT_EQ(paintsAtProgress.size(), 4u);
    // Each frame is on screen before its OnProgress.
    for (size_t i = 0; i < paintsAtProgress.size(); ++i)
        EXPECT_GE(paintsAtProgress[i], before + int(i) + 1) << "frame " << i;

    ProcessEventsFor(30);
    EXPECT_LE(view.paints - before, 4) << "a frame marked and painted at once is not painted again later";

    Bitmap expected(100, 80);
    StretchCopy(expected, expected.rect(), picture, picture.rect());
    EXPECT_TRUE(ShowsExactly(view, expected));

    view.SetStretchFine(true); // 100 x 75 at (0, 2) over the colour
    ProcessEventsFor(20);
    Bitmap fitted(100, 80, colour);
    StretchCopy(fitted, { 0, 2, 100, 77 }, picture, picture.rect());
    EXPECT_TRUE(ShowsExactly(view, fitted));
}

TEST_F(WidgetFixture, SnapshotOfAStretchedFrame)
{
    view.SetStretch(true);
    view.Picture().Assign(picture);
    view.Execute();
    // A second picture of another size starts from the window content scaled to it.
    const Bitmap second = CodedPicture(20, 10, 3);
    view.Picture().Assign(second);
    Bitmap startFrame;
    view.OnProgress = [&](TTransitionView* v) {
        if (v->Progress() == 0)
            startFrame = v->FrameBitmap();
    };
    view.Execute();
    Bitmap screen(100, 80);
    StretchCopy(screen, screen.rect(), picture, picture.rect());
    Bitmap expected(20, 10);
    StretchCopy(expected, expected.rect(), screen, screen.rect());
    EXPECT_EQ(startFrame, expected);
}

TEST_F(WidgetFixture, AStepBackRepaintsTheWholeFrame)
{
    view.OnCustomDraw = nullptr;
    view.SetStyle(1); // a rectangle style: forward frames repaint only what they change
    view.SetManual(true);
    view.Picture().Assign(picture);
    view.Execute();
    view.SetProgress(60);
    ProcessEventsFor(20);
    const QRect frameArea(0, 0, 40, 30);

    view.painted = QRegion();
    view.SetProgress(30);
    EXPECT_EQ(view.painted.boundingRect(), frameArea);
    EXPECT_EQ(view.painted, QRegion(frameArea));

    view.painted = QRegion();
    view.SetProgress(40);
    if (RectStyleRule(1)) {
        EXPECT_NE(view.painted, QRegion(frameArea)) << "a forward frame repaints its changed rectangle only";
        EXPECT_FALSE(view.painted.isEmpty());
    }
    view.Stop();
}

TEST_F(WidgetFixture, BackgroundWritesRepaintOnlyWhenThereIsABackground)
{
    int paints = view.paints;
    view.SetBgMode(bmCentered); // no background picture: nothing to repaint
    ProcessEventsFor(30);
    EXPECT_EQ(view.paints, paints);
    EXPECT_EQ(view.BgMode(), bmCentered);

    const Bitmap tile = CodedPicture(16, 16, 5);
    view.BgPicture().Assign(tile);
    ProcessEventsFor(30);
    EXPECT_GT(view.paints, paints);
    Bitmap expected(100, 80, colour);
    Draw(expected, 42, 32, tile);
    EXPECT_TRUE(ShowsExactly(view, expected));

    paints = view.paints;
    view.SetBgMode(bmTiled);
    ProcessEventsFor(30);
    EXPECT_GT(view.paints, paints);
    TileDraw(expected, expected.rect(), &tile);
    EXPECT_TRUE(ShowsExactly(view, expected));
}

TEST_F(WidgetFixture, MouseEnterAndLeave)
{
    std::vector<std::string> log;
    view.OnMouseEnter = [&](TTransitionView* s) { log.push_back(s == &view ? "enter" : "?"); };
    view.OnMouseLeave = [&](TTransitionView* s) { log.push_back(s == &view ? "leave" : "?"); };
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QCoreApplication::sendEvent(&view, &enter);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&view, &leave);
    EXPECT_EQ(log, (std::vector<std::string> { "enter", "leave" }));
}

}
}
