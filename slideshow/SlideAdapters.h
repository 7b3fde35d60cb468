// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QTimer>

#include "slideshow/SlideSequencer.h"
#include "slideshow/TransitionSlideView.h"

namespace kalvio {

// A QTimer switched on and off: switching on a running timer keeps its
// interval running instead of restarting it.
class QtSlideTimer : public SlideTimer {
public:
    explicit QtSlideTimer(QTimer& timer) : timer_(timer) { }
    void SetEnabled(bool enabled) override
    {
        if (!enabled)
            timer_.stop();
        else if (!timer_.isActive())
            timer_.start();
    }
    bool Enabled() const override { return timer_.isActive(); }

private:
    QTimer& timer_;
};

}
