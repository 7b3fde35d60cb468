// SPDX-License-Identifier: GPL-3.0-or-later
#include "transition/StyleFrame.h"

#include "platform/graphics/BitmapDraw.h"
#include "transition/FlipStretchCopy.h"

namespace kalvio {

namespace {
// The frame pixels a phase's copy writes: a mirrored copy runs from one pixel
// before DstRect to one pixel past it.
Rect Written(const Rect& d, Mirror mirror)
{
    return mirror == Mirror::None ? d : MirroredTarget(d, mirror).normalized();
}
}

void StyleFrame::CopyPhase(Mirror mirror)
{
    if (PhasesCovered) {
        Invalidated.add(Written(DstRect, mirror));
        return;
    }
    if (PendingOldBitmap && DeferredCount < int(DeferredPhases.size())) {
        DeferredPhases[size_t(DeferredCount++)] = { DstRect, SrcRect, mirror };
        Invalidated.add(Written(DstRect, mirror));
        return;
    }
    if (PendingOldBitmap) {
        Draw(FrameBitmap, 0, 0, *PendingOldBitmap);
        PendingOldBitmap = nullptr;
        for (int i = 0; i < DeferredCount; ++i)
            CopyRect(FrameBitmap, DeferredPhases[size_t(i)].DstRect, NewBitmap, DeferredPhases[size_t(i)].SrcRect,
                     DeferredPhases[size_t(i)].mirror);
        DeferredCount = 0;
    }
    CopyRect(FrameBitmap, DstRect, NewBitmap, SrcRect, mirror);
    Invalidated.add(Written(DstRect, mirror));
}

void StyleFrame::CopyRect(Bitmap& frame, const Rect& d, const Bitmap& picture, const Rect& s, Mirror mirror)
{
    if (mirror == Mirror::None)
        StretchCopy(frame, d, picture, s);
    else
        FlipStretchCopy(frame, d, picture, s, mirror);
}

}
