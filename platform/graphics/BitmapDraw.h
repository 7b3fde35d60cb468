// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Rect.h"

namespace kalvio {

class Region;

// Draws `src` unscaled with its top-left corner at (x, y), clipped to `dst`.
void Draw(Bitmap& dst, int32_t x, int32_t y, const Bitmap& src);

// Fills the part of `r` inside `dst`.
void FillRect(Bitmap& dst, const Rect& r, Pixel colour);

// The platform's stretch copy (a source copy, no blending), clipped to `dst`.
// Destination pixel (dx + i, dy + j) of a copy of destination size (dw, dh) > 0
// takes source pixel (sx + floor(i * sw / dw), sy + floor(j * sh / dh)).
// A negative dw covers the |dw| columns dx + dw .. dx - 1 in mirrored order:
// column dx - 1 - i takes source column sx + floor(i * sw / |dw|); dh likewise.
// Source pixels outside `src` are never read: such coordinates are clamped to
// the nearest edge pixel. An empty source (sw or sh 0) draws nothing.
// `dst` and `src` are different bitmaps.
void StretchCopy(Bitmap& dst, int32_t dx, int32_t dy, int32_t dw, int32_t dh,
                 const Bitmap& src, int32_t sx, int32_t sy, int32_t sw, int32_t sh);

// StretchCopy of rectangle `s` of `src` onto rectangle `d` of `dst`.
inline void StretchCopy(Bitmap& dst, const Rect& d, const Bitmap& src, const Rect& s)
{
    StretchCopy(dst, d.left, d.top, d.width(), d.height(), src, s.left, s.top, s.width(), s.height());
}

// Draws `src` at (0, 0) onto `dst` only at the pixels of `clip`.
void DrawThroughRegion(Bitmap& dst, const Bitmap& src, const Region& clip);

}
