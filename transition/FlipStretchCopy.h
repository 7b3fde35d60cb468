// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Rect.h"
#include "transition/StyleFrame.h"

namespace kalvio {

// Stretch copy of rectangle `s` of `src` onto rectangle `d` of `dst`, mirrored
// left-right or top-bottom. The source is first cut to the bitmap; the mirrored
// destination runs from the old far edge + 1 back to the old near edge - 1, so
// (10, 0, 20, 5) mirrored left-right is copied to origin x 21 with width -12.
void FlipStretchCopy(Bitmap& dst, const Rect& d, const Bitmap& src, const Rect& s, Mirror mirror);

// The signed target rectangle of that copy: `d` with the mirrored pair of edges
// swapped to far edge + 1 and near edge - 1; `d` itself for Mirror::None.
Rect MirroredTarget(const Rect& d, Mirror mirror);

}
