// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRect>
#include <QScreen>
#include <QWidget>

namespace kalvio {

// Centres a window on its screen the first time it is shown; `placed` remembers
// that it was, so a window the user moved stays where it is.
inline void CentreOnFirstShow(QWidget& window, bool& placed)
{
    if (placed || !window.screen())
        return;
    placed = true;
    QRect frame = window.frameGeometry();
    frame.moveCenter(window.screen()->availableGeometry().center());
    window.move(frame.topLeft());
}

}
