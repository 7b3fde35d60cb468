// SPDX-License-Identifier: GPL-3.0-or-later
#include "slideshow/PointerHider.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

namespace kalvio {

PointerHider::PointerHider(QWidget& window, std::chrono::milliseconds rest)
    : window_(window)
{
    timer_.setSingleShot(true);
    timer_.setInterval(rest);
    connect(&timer_, &QTimer::timeout, this, &PointerHider::Hide);
    // Moves reach the window's native window first, whichever of its child
    // widgets is under the pointer and whether or not that one tracks the
    // mouse; the application's filter sees them there.
    qApp->installEventFilter(this);
}

PointerHider::~PointerHider()
{
    qApp->removeEventFilter(this);
}

void PointerHider::Start()
{
    if (!held_)
        timer_.start();
}

void PointerHider::Hold()
{
    held_ = true;
    timer_.stop();
    Show();
}

void PointerHider::Release()
{
    held_ = false;
    timer_.start();
}

bool PointerHider::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseMove && !held_ && watched == window_.windowHandle()) {
        // Some window systems repeat the last position when windows change
        // under a still pointer: only a real move counts.
        const QPointF position = static_cast<QMouseEvent*>(event)->globalPosition();
        if (position != lastPosition_) {
            lastPosition_ = position;
            Show();
            timer_.start();
        }
    }
    return false;
}

void PointerHider::Hide()
{
    hidden_ = true;
    window_.setCursor(Qt::BlankCursor);
}

void PointerHider::Show()
{
    if (!hidden_)
        return;
    hidden_ = false;
    window_.unsetCursor();
}

}
