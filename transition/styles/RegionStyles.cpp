#include "transition/styles/StyleTable.h"

namespace kalvio {

// Placeholder until the region styles land: no rule, so the composer jumps
// straight to the new picture.
StyleRule RegionStyleRule(int)
{
    return nullptr;
}

}
