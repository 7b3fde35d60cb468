// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

// The clock and the event pump of the transition driver, behind interfaces so
// tests can drive time and events deterministically.
namespace kalvio {

// A monotonic millisecond tick count; wraps around at 2^32.
class TickClock {
public:
    virtual ~TickClock() = default;
    virtual uint32_t Ticks() = 0;
};

// The process's monotonic clock in milliseconds.
class SteadyTickClock final : public TickClock {
public:
    uint32_t Ticks() override;
    static SteadyTickClock& Instance();
};

// Dispatches the application's events between frames of an in-line transition.
class EventPump {
public:
    virtual ~EventPump() = default;
    // Dispatches every pending event. When none is pending and `waitMs` > 0,
    // waits at most `waitMs` milliseconds for one to arrive and dispatches it.
    virtual void DispatchEvents(uint32_t waitMs) = 0;
};

}
