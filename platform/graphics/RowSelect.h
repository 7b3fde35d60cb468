// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "platform/graphics/Bitmap.h"

namespace kalvio {

// d[k] := (o[k] & ~m[k]) | (n[k] & m[k]) for k < count: with masks of all ones
// or all zeros, the pixel of `n` where the mask is set and of `o` elsewhere.
// `d` overlaps neither source. Runs the vector code of the dispatch's target,
// or the plain code.
void SelectRow(Pixel* d, const Pixel* o, const Pixel* n, const uint32_t* m, int32_t count);

// The plain code: the reference every target must equal.
void SelectRowPlain(Pixel* d, const Pixel* o, const Pixel* n, const uint32_t* m, int32_t count);

}
