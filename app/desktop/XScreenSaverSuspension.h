// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "slideshow/IdleInhibitor.h"

namespace kalvio {

// On X11, suspends the X server's own screen saver and display power saving
// (the screen saver extension's suspend) while held. The X server lifts it by
// itself when the program's connection closes. Elsewhere, or without the
// extension, nothing happens.
class XScreenSaverSuspension : public IdleInhibitor {
public:
    ~XScreenSaverSuspension() override;

    void Inhibit(QWindow* window) override;
    void Release() override;

private:
    bool suspended_ = false;
};

}
