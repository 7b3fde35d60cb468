// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QApplication>
#include <QWidget>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <functional>
#include <utility>

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
// Between checks the thread sleeps until an event comes (a short wake stands
// in for one when another thread changes what `done` reads): spinning would
// take a core from the threads it waits for.
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    QTimer wake;
    wake.start(20);
    while (!done() && std::chrono::steady_clock::now() < end)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    return done();
}

// Runs `then` once, from the event loop, as soon as a modal window of type
// `Window` shows (it may show inside a nested loop, e.g. after a scan).
template <class Window>
void WhenModal(std::function<void(Window&)> then)
{
    // Each window of that type that shows is looked at once the show is
    // over, when a modal one is the active modal window.
    class Watch : public QObject {
    public:
        explicit Watch(std::function<void(Window&)> f) : QObject(QCoreApplication::instance()), then_(std::move(f))
        {
            QCoreApplication::instance()->installEventFilter(this);
        }

    protected:
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            if (event->type() == QEvent::Show && qobject_cast<Window*>(watched))
                QTimer::singleShot(0, this, [this] { Check(); });
            return false;
        }

    private:
        void Check()
        {
            auto* window = qobject_cast<Window*>(QApplication::activeModalWidget());
            if (!window || !then_)
                return;
            QCoreApplication::instance()->removeEventFilter(this);
            deleteLater();
            std::exchange(then_, nullptr)(*window);
        }

        std::function<void(Window&)> then_;
    };
    new Watch(std::move(then));
}

}
