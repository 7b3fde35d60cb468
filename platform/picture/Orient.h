// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/graphics/Bitmap.h"
#include "platform/picture/ExifOrientation.h"

namespace kalvio {

// True for the orientations whose upright picture has width and height
// exchanged: the quarter turns and the two transposes.
bool SwapsAxes(Orientation);

// The picture turned upright. Mirrors and the half turn work in place on the
// given pixels; the axis-swapping orientations write a new bitmap in cache-
// sized tiles, and the stored one is freed when this returns. Throws
// std::bad_alloc when the new bitmap cannot be held.
Bitmap Oriented(Bitmap picture, Orientation);

}
