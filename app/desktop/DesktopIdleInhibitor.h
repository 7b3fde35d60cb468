// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/desktop/BusIdleInhibitor.h"
#include "app/desktop/XScreenSaverSuspension.h"

namespace kalvio {

// Everything the desktop offers to keep the screen awake: a session-bus
// service, and on X11 also the X server's own screen saver.
class DesktopIdleInhibitor : public IdleInhibitor {
public:
    void Inhibit(QWindow* window) override
    {
        bus_.Inhibit(window);
        x11_.Inhibit(window);
    }
    void Release() override
    {
        bus_.Release();
        x11_.Release();
    }

private:
    BusIdleInhibitor bus_;
    XScreenSaverSuspension x11_;
};

}
