// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "transition/AnimationTiming.h"

namespace kalvio {

// Dispatches the application's events; waits for them with a precise timer at
// the deadline instead of polling.
class QtEventPump final : public EventPump {
public:
    void DispatchEvents(uint32_t waitMs) override;
};

}
