#include "transition/styles/StyleTable.h"

namespace kalvio {

// Placeholder until the rectangle styles land: no rule, so the composer jumps
// straight to the new picture.
StyleRule RectStyleRule(int)
{
    return nullptr;
}

}
