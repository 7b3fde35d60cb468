// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Rect.h"
#include "platform/graphics/Region.h"

// One-pass frame writes: each pixel of the frame is written once, from the old
// or the new picture, instead of drawing the old picture whole and the new one
// over part of it. All three bitmaps must have the same size.
namespace kalvio {

// `frame` := `picture` at the pixels of `clip`, `old` everywhere else.
void MixThroughRegion(Bitmap& frame, const Bitmap& old, const Bitmap& picture, const Region& clip);

// `frame` := `old` everywhere outside `hole` (which the caller fills next).
void DrawOutside(Bitmap& frame, const Bitmap& old, const Region& hole);
void DrawAround(Bitmap& frame, const Bitmap& old, const Rect& hole);

// The pixels of `dst` that StretchCopy(dst, d, src, s) writes: the destination
// rectangle, ordered for mirrored sizes and clipped to `dst`; empty when the
// copy draws nothing.
Rect StretchCopyCover(const Bitmap& dst, const Rect& d, const Bitmap& src, const Rect& s);

}
