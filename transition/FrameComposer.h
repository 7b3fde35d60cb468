// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>

#include "platform/graphics/Bitmap.h"
#include "transition/StyleFrame.h"

namespace kalvio {

// Draws the frames of style 0: `picture` is the incoming picture, `screen` the
// frame, which already holds the old picture when the hook runs.
using CustomDrawHook = std::function<void(const Bitmap& picture, Bitmap& screen)>;

struct FrameRequest {
    const Bitmap& OldBitmap;
    const Bitmap& NewBitmap;
    Bitmap& FrameBitmap; // same size as both pictures
    int Style = 0;       // 0..117
    uint8_t Progress = 0;
    uint16_t Step = 4;
    const CustomDrawHook* OnCustomDraw = nullptr;
};

struct FrameResult {
    // False only for a style past the last one: nothing finished, nothing marked.
    bool composed = false;
    // Progress after the frame; style 0 without a hook jumps to 100.
    uint8_t Progress = 0;
    // Frame rectangles to repaint, in the order they were marked.
    FrameRects Invalidated;
};

// The progress extents of a W x H frame: the longer side is scaled by progress,
// the shorter follows it in proportion.
struct Extents {
    int32_t PX;
    int32_t PY;
};
Extents ProgressExtents(int32_t W, int32_t H, int32_t progress);
int32_t BandFor(int32_t W, int32_t H, int32_t step);

// Composes one transition frame in FrameBitmap: the whole old picture, then the
// part of the new one that the style reveals at this progress. A pure function of
// its inputs (the ragged styles also draw from the process-wide generator).
FrameResult RenderFrame(const FrameRequest&);

}
