// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QApplication>
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

// Runs the event loop until `done` holds or `timeoutMs` passed; returns `done()`.
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done() && std::chrono::steady_clock::now() < end)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

}
