// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QApplication>
#include <QWidget>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <functional>

namespace kalvio::test {

// The one application object of a window test program: a QApplication, or
// the subclass `App` (e.g. KalvioApplication) where the tests need it. A
// program uses one type only.
template <class App = QApplication>
App& TestApplication()
{
    static int argc = 1;
    static char name[] = "kalvio-test";
    static char* argv[] = { name, nullptr };
    static App* app = [] {
        auto* a = new App(argc, argv);
        a->setStyle("Fusion");
        return a;
    }();
    return *app;
}

// The outer limit of a wait for an event: only a hang reaches it, however busy
// the machine (a sanitizer build on a loaded one runs many times slower).
constexpr int kHangMs = 120000;

// Runs the event loop until `done` holds or `timeoutMs` passed; returns `done()`.
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done() && std::chrono::steady_clock::now() < end)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// Runs `then` once, from the event loop, as soon as a modal window of type
// `Window` shows (it may show inside a nested loop, e.g. after a scan).
template <class Window>
void WhenModal(std::function<void(Window&)> then)
{
    auto* poll = new QTimer(QCoreApplication::instance());
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, then = std::move(then)] {
        auto* window = qobject_cast<Window*>(QApplication::activeModalWidget());
        if (!window)
            return;
        poll->stop();
        poll->deleteLater();
        then(*window);
    });
    poll->start();
}

}
