// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "transition/StyleFrame.h"

namespace kalvio {

constexpr int kLastStyle = 117;
constexpr int kFirstRegionStyle = 58;

// The rule of style 1..117, or nullptr for a style without a rule of its own
// (style 0 and values past the last style are handled by the composer).
StyleRule StyleRuleFor(int style);

// The two halves of the table, defined next to their rules.
StyleRule RectStyleRule(int style);   // 1..57
StyleRule RegionStyleRule(int style); // 58..117

}
