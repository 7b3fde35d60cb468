// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Rect.h"
#include "platform/graphics/Region.h"

namespace kalvio {

enum class Mirror : uint8_t { None, LeftRight, TopBottom };

// The frame rectangles a frame marks for repainting, in order. A frame marks at
// most four: three pieces and the final copy of the four-piece styles.
struct FrameRects {
    std::array<Rect, 4> rects {};
    int count = 0;

    void add(const Rect& r)
    {
        if (count < int(rects.size()))
            rects[size_t(count++)] = r;
    }
    const Rect* begin() const { return rects.data(); }
    const Rect* end() const { return rects.data() + count; }
};

// What a style rule sees and sets for one frame. A rectangle style sets DstRect
// and SrcRect for the final copy, and may copy intermediate phases first; a
// region style sets ClipRegion. The names are the frame quantities of the
// transition rules.
struct StyleFrame {
    // W, H: the frame size. PX, PY: how far the transition has come along x and y
    // (0..W, 0..H). Band: the snap margin of the bar styles.
    int32_t W = 0;
    int32_t H = 0;
    int32_t PX = 0;
    int32_t PY = 0;
    int32_t Band = 0;

    Rect DstRect;
    Rect SrcRect;
    std::optional<Region> ClipRegion;

    const Bitmap& NewBitmap;
    Bitmap& FrameBitmap;
    FrameRects& Invalidated;

    // Set while FrameBitmap does not hold the old picture yet: phase copies
    // are then recorded in DeferredPhases, and the composer draws the old
    // picture only where no copy lands before making the copies in order.
    const Bitmap* PendingOldBitmap = nullptr;
    struct Phase {
        Rect DstRect;
        Rect SrcRect;
        Mirror mirror;
    };
    std::array<Phase, 3> DeferredPhases {};
    int DeferredCount = 0;
    // Set when the whole new picture is drawn over the frame at its end: phase
    // copies would be covered, so they only mark their rectangles.
    bool PhasesCovered = false;

    // An intermediate phase of a rectangle style: copies SrcRect of NewBitmap onto
    // DstRect of FrameBitmap now, stretched (or mirrored through FlipStretchCopy),
    // and marks the pixels it wrote for repainting: DstRect, as set by the
    // rule, and for a mirrored copy also the column or row on each side of it.
    void CopyPhase(Mirror mirror = Mirror::None);
    // One phase's copy: a stretch copy, or FlipStretchCopy when mirrored.
    static void CopyRect(Bitmap& frame, const Rect& d, const Bitmap& picture, const Rect& s, Mirror mirror);
};

using StyleRule = void (*)(StyleFrame&);

}
