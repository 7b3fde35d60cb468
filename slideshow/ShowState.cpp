#include "slideshow/ShowState.h"

namespace kalvio {

ShowState& TheShowState()
{
    static ShowState state;
    return state;
}

}
