// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QWindow>

#include "platform/graphics/BitmapDraw.h"
#include "transition/TransitionView.h"

namespace kalvio::test {

// The one application object of a widget test program.
inline void EnsureApplication()
{
    static int argc = 1;
    static char name[] = "transition_view_test";
    static char* argv[] = { name, nullptr };
    static QApplication* app = QApplication::instance() ? nullptr : new QApplication(argc, argv);
    (void)app;
}

// Shows a top-level widget and waits until its window is exposed (a limit only
// a hang reaches), then lets the first paints settle.
inline void ShowAndSettle(QWidget& w)
{
    w.show();
    QElapsedTimer t;
    t.start();
    while (!(w.windowHandle() && w.windowHandle()->isExposed()) && t.elapsed() < 120000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    t.start();
    while (t.elapsed() < 30)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// A picture whose pixels encode a tag and their own coordinates.
inline Bitmap CodedPicture(int32_t w, int32_t h, uint32_t tag)
{
    Bitmap b(w, h);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            b.setPixel(x, y, 0xff000000u | tag << 20 | uint32_t(x & 0x3ff) << 10 | uint32_t(y & 0x3ff));
    return b;
}

// Time that moves only when the test (or the pump) moves it.
struct FakeClock final : TickClock {
    uint32_t now = 0xfffff000u; // wraps during a long test: elapsed time must not care
    uint32_t Ticks() override { return now; }
};

// Pretends to wait the whole time it is offered, and runs a test action at
// chosen dispatches.
struct FakePump final : EventPump {
    explicit FakePump(FakeClock& c) : clock(c) { }
    FakeClock& clock;
    std::vector<uint32_t> waits;
    std::function<void(size_t dispatch)> onDispatch;

    void DispatchEvents(uint32_t waitMs) override
    {
        waits.push_back(waitMs);
        clock.now += waitMs;
        if (onDispatch)
            onDispatch(waits.size());
    }
};

// A style-0 frame drawer: the new picture over the left Progress percent of the columns.
inline TCustomDrawEvent WipeDrawer()
{
    return [](TTransitionView* view, const Bitmap& picture, Bitmap& screen) {
        const int32_t right = picture.width() * view->Progress() / 100;
        StretchCopy(screen, { 0, 0, right, picture.height() }, picture, { 0, 0, right, picture.height() });
    };
}

}
