// SPDX-License-Identifier: GPL-3.0-or-later
// The general error report for the kinds of handler that error_report_test
// does not cover: menu commands, painting, handlers run by a nested event loop
// in the middle of an in-line transition, queued calls, and a transition whose
// frame fails inside a timer tick or for the animation thread. Each failure is
// reported once (a thread's frame not at all), nothing escapes into the event
// loop, and the window that failed goes on working.
#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QTimer>
#include <QWidget>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/ErrorReport.h"
#include "app/QtTestApp.h"
#include "platform/picture/JpegLoader.h"
#include "transition/TransitionView.h"

using kalvio::KalvioApplication;
using kalvio::TTransitionView;

namespace {

KalvioApplication& App()
{
    return kalvio::test::TestApplication<KalvioApplication>();
}

class ErrorReportHandlers : public ::testing::Test {
protected:
    void SetUp() override
    {
        App().SetReportHook([this](const QString& text, const QString&) { reports.push_back(text.toStdString()); });
    }
    void TearDown() override { App().SetReportHook({}); }

    template <class F>
    bool RunUntil(F done, int ms = kalvio::test::kHangMs)
    {
        return kalvio::test::WaitUntil(done, ms);
    }

    std::vector<std::string> reports;
};

void Key(QWidget* w, int key)
{
    QCoreApplication::postEvent(w, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier));
}

enum class Stepping { Inline, Threaded };

// A transition view in `window` at `place`, stepping `step` percent a frame
// every `delay` milliseconds, in-line or for the animation thread.
TTransitionView* AddView(QWidget& window, QRect place, Stepping stepping, int delay, int step)
{
    auto* view = new TTransitionView(&window);
    view->SetAutoSize(false);
    view->SetThreaded(stepping == Stepping::Threaded);
    view->SetDelay(delay);
    view->SetStep(step);
    view->setGeometry(place);
    return view;
}

// Paints a grey square; the first `failures` paints throw.
class FailingPaintWidget : public QWidget {
public:
    int paints = 0;
    int failures = 1;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        ++paints;
        if (paints <= failures)
            throw std::runtime_error("Out of system resources");
        painter.fillRect(rect(), Qt::gray);
    }
};

class ThrowingKeyWidget : public QWidget {
public:
    int keys = 0;

protected:
    void keyPressEvent(QKeyEvent*) override
    {
        ++keys;
        throw std::runtime_error("Key handler failed");
    }
};

TEST_F(ErrorReportHandlers, AFailingMenuCommandIsReportedAndTheMenuWorksAgain)
{
    QWidget window;
    window.resize(200, 100);
    window.show();
    QMenu menu(&window);
    QAction* failing = menu.addAction("Pause");
    QAction* working = menu.addAction("Exit");
    int failed = 0, worked = 0;
    QObject::connect(failing, &QAction::triggered, [&] {
        ++failed;
        throw std::runtime_error("Cannot pause");
    });
    QObject::connect(working, &QAction::triggered, [&] { ++worked; });

    // Choose an item with the keyboard, as a person would: open, arrows, Enter.
    auto choose = [&](int downs) {
        menu.popup(window.mapToGlobal(QPoint(10, 10)));
        RunUntil([&] { return menu.isVisible(); });
        for (int i = 0; i < downs; ++i)
            Key(&menu, Qt::Key_Down);
        Key(&menu, Qt::Key_Return);
        return RunUntil([&] { return !menu.isVisible(); });
    };
    ASSERT_TRUE(choose(1));
    EXPECT_EQ(failed, 1);
    RunUntil([&] { return !reports.empty(); });
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], "Cannot pause.");

    ASSERT_TRUE(choose(2));
    EXPECT_EQ(worked, 1) << "the menu still works after a failed command";
    EXPECT_EQ(reports.size(), 1u);
}

TEST_F(ErrorReportHandlers, AFailingPaintIsReportedOnceAndTheNextPaintWorks)
{
    FailingPaintWidget w;
    w.resize(64, 48);
    w.show();
    ASSERT_TRUE(RunUntil([&] { return w.paints >= 1 && !reports.empty(); }));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], "Out of system resources.");
    w.repaint();
    EXPECT_GE(w.paints, 2);
    EXPECT_EQ(reports.size(), 1u);
    const QImage shot = w.grab().toImage();
    EXPECT_EQ(shot.pixelColor(32, 24), QColor(Qt::gray)) << "the painter of the failed paint was released";
}

TEST_F(ErrorReportHandlers, QueuedCallsAndSingleShotsAreCovered)
{
    QObject target;
    int runs = 0;
    QMetaObject::invokeMethod(&target, [&] {
        ++runs;
        throw std::runtime_error("Queued call failed");
    }, Qt::QueuedConnection);
    QTimer::singleShot(0, &target, [&] {
        ++runs;
        throw std::out_of_range("List index out of bounds (3)");
    });
    ASSERT_TRUE(RunUntil([&] { return runs == 2 && reports.size() == 2; }));
    EXPECT_EQ(reports[0], "Queued call failed.");
    EXPECT_EQ(reports[1], "List index out of bounds (3)");
}

// The slideshow's transitions run in-line and dispatch events between frames:
// a handler failing there is reported by the nested loop and the transition
// runs on to its end.
TEST_F(ErrorReportHandlers, AFailureInsideAnInlineTransitionLeavesTheTransitionRunning)
{
    QWidget window;
    window.resize(240, 160);
    auto* view = AddView(window, { 0, 0, 120, 160 }, Stepping::Inline, 5, 10);
    auto* keys = new ThrowingKeyWidget;
    keys->setParent(&window);
    keys->setGeometry(120, 0, 120, 160);
    window.show();

    view->Picture().LoadFromFile(std::string(KALVIO_TEST_DATA) + "/show/testorig.jpg");
    view->SetStyle(60);
    Key(keys, Qt::Key_A);
    Key(keys, Qt::Key_B);
    view->Execute();
    EXPECT_EQ(keys->keys, 2);
    EXPECT_EQ(reports.size(), 2u);
    EXPECT_FALSE(view->Busy());
    EXPECT_EQ(view->Progress(), 100) << "the transition went on to its end";
}

// A frame that fails inside a timer tick's transition: reported once by the
// tick, the view idle again, and the timer's next tick runs a whole transition.
TEST_F(ErrorReportHandlers, AFrameThatFailsInATickIsReportedAndTheNextTickWorks)
{
    QWidget window;
    window.resize(160, 120);
    auto* view = AddView(window, { 0, 0, 160, 120 }, Stepping::Inline, 2, 20);
    window.show();
    const std::string picture = std::string(KALVIO_TEST_DATA) + "/show/testimggray.jpg";

    int frames = 0;
    view->OnProgress = [&](QObject*) {
        if (++frames == 3)
            throw std::runtime_error("Canvas does not allow drawing");
    };
    QTimer timer;
    timer.setInterval(20);
    int ticks = 0;
    bool completed = false;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (view->Busy())
            return;
        ++ticks;
        view->Picture().LoadFromFile(picture);
        view->SetStyle(ticks == 1 ? 1 : 100);
        view->Execute();
        completed = view->Progress() == 100;
        if (completed)
            timer.stop();
    });
    timer.start();
    ASSERT_TRUE(RunUntil([&] { return completed; }));
    EXPECT_EQ(ticks, 2);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], "Canvas does not allow drawing.");
    EXPECT_FALSE(view->Busy());
    EXPECT_EQ(view->FrameBitmap(), kalvio::LoadPictureFile(picture));
}

// Threaded transitions hand each frame to the main thread as a queued call. A
// frame that fails there ends the thread's loop, and the transition finishes
// as at its end; the failure goes to no report, now or later.
TEST_F(ErrorReportHandlers, AFrameThatFailsForTheAnimationThreadEndsItsTransitionUnreported)
{
    QWidget window;
    window.resize(160, 120);
    auto* view = AddView(window, { 0, 0, 160, 120 }, Stepping::Threaded, 2, 10);
    window.show();
    view->Picture().LoadFromFile(std::string(KALVIO_TEST_DATA) + "/show/testimggray.jpg");

    int frames = 0, completions = 0;
    view->OnProgress = [&](QObject*) {
        if (++frames == 3)
            throw std::runtime_error("Canvas does not allow drawing");
    };
    view->OnComplete = [&](QObject*) { ++completions; };
    view->SetStyle(1);
    view->Execute();
    ASSERT_TRUE(RunUntil([&] { return !view->Busy(); }));
    RunUntil([] { return false; }, 200); // time for a report that should not come
    EXPECT_EQ(frames, 3) << "the failed frame was the last";
    EXPECT_EQ(view->Progress(), 30);
    EXPECT_EQ(completions, 1);
    EXPECT_TRUE(reports.empty());
}

}
