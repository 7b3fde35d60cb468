// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <vector>

#include "app/desktop/IdleInhibitServices.h"
#include "slideshow/IdleInhibitor.h"

namespace kalvio {

// Keeps the screen awake through the first session-bus service that grants
// it, tried in order. Every call is asynchronous: the show never waits for
// the bus. Without a session bus, or when no service grants it, nothing
// happens and nothing is reported. A grant that arrives after Release (or
// after this object is gone) is given back at once; if the program dies, the
// bus drops its connection and the desktop ends the inhibition itself.
class BusIdleInhibitor : public IdleInhibitor {
public:
    explicit BusIdleInhibitor(std::vector<std::shared_ptr<const IdleInhibitService>> services
                              = DesktopInhibitServices());
    ~BusIdleInhibitor() override;

    void Inhibit(QWindow* window) override;
    void Release() override;

private:
    struct Hold;
    std::vector<std::shared_ptr<const IdleInhibitService>> services_;
    std::shared_ptr<Hold> hold_;
};

// Why the screen stays awake, as the desktop shows it beside the program's
// name: in Chinese, like every other text of the program.
inline constexpr char InhibitReason[] = "正在播放幻灯片";

}
