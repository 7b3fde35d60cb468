// SPDX-License-Identifier: GPL-3.0-or-later
#include "transition/AnimationTiming.h"

#include <chrono>

namespace kalvio {

uint32_t SteadyTickClock::Ticks()
{
    using namespace std::chrono;
    return uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

SteadyTickClock& SteadyTickClock::Instance()
{
    static SteadyTickClock clock;
    return clock;
}

}
