// SPDX-License-Identifier: GPL-3.0-or-later
#include "transition/styles/StyleTable.h"

namespace kalvio {

StyleRule StyleRuleFor(int style)
{
    if (style >= 1 && style < kFirstRegionStyle)
        return RectStyleRule(style);
    if (style >= kFirstRegionStyle && style <= kLastStyle)
        return RegionStyleRule(style);
    return nullptr;
}

}
