// SPDX-License-Identifier: GPL-3.0-or-later
#include "slideshow/ShowState.h"

namespace kalvio {

ShowState& TheShowState()
{
    static ShowState state;
    return state;
}

}
