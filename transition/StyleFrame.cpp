#include "transition/StyleFrame.h"

#include "platform/BitmapDraw.h"
#include "transition/FlipStretchCopy.h"

namespace kalvio {

void StyleFrame::CopyPhase(Mirror mirror)
{
    if (PhasesCovered) {
        Invalidated.add(DstRect);
        return;
    }
    if (PendingOldBitmap) {
        Draw(FrameBitmap, 0, 0, *PendingOldBitmap);
        PendingOldBitmap = nullptr;
    }
    if (mirror == Mirror::None)
        StretchCopy(FrameBitmap, DstRect, NewBitmap, SrcRect);
    else
        FlipStretchCopy(FrameBitmap, DstRect, NewBitmap, SrcRect, mirror);
    Invalidated.add(DstRect);
}

}
