// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QWindow;

namespace kalvio {

// Keeps the desktop from idling (screen saver, blanking, display power saving,
// locking) while held. The slideshow holds one from the moment its window
// shows until the show ends.
class IdleInhibitor {
public:
    virtual ~IdleInhibitor() = default;
    // Asks for the screen to stay awake on behalf of `window`; returns at once,
    // also when the desktop offers no way to do so. Nothing while held.
    virtual void Inhibit(QWindow* window) = 0;
    // Gives back everything Inhibit took; nothing when not held.
    virtual void Release() = 0;
};

}
