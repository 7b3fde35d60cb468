// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "platform/graphics/Bitmap.h"
#include "transition/ViewGeometry.h"

// Composition of the view's whole client area: colour, background picture and
// frame. Pure, so painting can be tested and measured without a window.
namespace kalvio {

enum TBackgroundMode : uint8_t { bmNone, bmTiled, bmStretched, bmCentered };

// Covers `r` with unscaled copies of `graphic`, row by row, starting at r's
// top-left corner. Tiles sticking out of `r` are cut by the surface only.
void TileDraw(Bitmap& surface, const Rect& r, const Bitmap* graphic);

struct ClientPaint {
    Pixel color = RGB(255, 255, 255);
    const Bitmap* background = nullptr; // none or empty: no background
    TBackgroundMode bgMode = bmTiled;
    const Bitmap* frame = nullptr;      // none or empty: no frame
    FramePlacement placement;           // placement.client is the whole client area
};

// Sizes `buffer` to the client area and composes it whole: the colour, the
// background by its mode, then the frame where FrameTarget puts it.
void PaintClientArea(Bitmap& buffer, const ClientPaint&);

}
