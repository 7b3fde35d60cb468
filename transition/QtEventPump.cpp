// SPDX-License-Identifier: GPL-3.0-or-later
#include "transition/QtEventPump.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace kalvio {

void QtEventPump::DispatchEvents(uint32_t waitMs)
{
    if (waitMs == 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        return;
    }
    // The timer wakes the wait at the deadline when no other event comes.
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    deadline.start(int(waitMs));
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

}
