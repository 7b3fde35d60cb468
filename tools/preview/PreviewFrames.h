// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "platform/graphics/Bitmap.h"

namespace kalvio::preview {

// One frame of `style` at `progress`, composed as the view composes it: the old
// picture, stretched to the new picture's size when they differ, and the new one.
Bitmap ComposeFrame(const Bitmap& oldPicture, const Bitmap& newPicture, int style, int progress, int step);

// A labelled thumbnail of every style 0..117 at progress 25, 50 and 75, made
// from the pictures scaled down to `thumbWidth` pixels wide.
Bitmap ComposeSheet(const Bitmap& oldPicture, const Bitmap& newPicture, int step, int32_t thumbWidth = 240);

// Writes `text` (digits, space, '%' and ':') in a 5 x 7 pixel font scaled by `scale`.
void DrawLabel(Bitmap& dst, int32_t x, int32_t y, const char* text, Pixel colour, int32_t scale = 2);

}
