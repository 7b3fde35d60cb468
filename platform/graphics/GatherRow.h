// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "platform/graphics/Bitmap.h"

namespace kalvio {

// One row of a stretch copy: d[k] = s[columns[k]] for k < count, where
// `columns` is monotonic (rising, or falling for a mirrored copy) and every
// entry lies in [0, sourceWidth). Touches the same columns of `next` (a row
// read soon after) for the cache.
using GatherRowKernel = void (*)(Pixel* d, const Pixel* s, const Pixel* next, const int32_t* columns, int32_t count,
                                 int32_t sourceWidth);

// The kernel of the dispatch's target, or the plain code; taken once per copy
// rather than once per row.
GatherRowKernel ChosenGatherRow();

// The plain code: the reference every target must equal.
void GatherRowPlain(Pixel* d, const Pixel* s, const Pixel* next, const int32_t* columns, int32_t count,
                    int32_t sourceWidth);

}
