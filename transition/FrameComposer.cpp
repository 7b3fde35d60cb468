// SPDX-License-Identifier: GPL-3.0-or-later
#include "transition/FrameComposer.h"

#include "platform/graphics/Arith.h"
#include "platform/graphics/BitmapDraw.h"
#include "transition/FlipStretchCopy.h"
#include "transition/FrameMix.h"
#include "transition/styles/StyleTable.h"

namespace kalvio {

Extents ProgressExtents(int32_t W, int32_t H, int32_t progress)
{
    if (H > W) {
        int32_t PY = MulDiv(H, progress, 100);
        return { MulDiv(PY, W, H), PY };
    }
    int32_t PX = MulDiv(W, progress, 100);
    return { PX, MulDiv(PX, H, W) };
}

int32_t BandFor(int32_t W, int32_t H, int32_t step)
{
    return MulDiv(H > W ? H : W, step, 90);
}

namespace {

// The pixels of `frame` that a phase's copy writes (see FlipStretchCopy).
Rect PhaseCover(const Bitmap& frame, const StyleFrame::Phase& phase, const Bitmap& picture)
{
    if (phase.mirror == Mirror::None)
        return StretchCopyCover(frame, phase.DstRect, picture, phase.SrcRect);
    return StretchCopyCover(frame, MirroredTarget(phase.DstRect, phase.mirror), picture,
                            phase.SrcRect.intersected(picture.rect()));
}

}

FrameResult RenderFrame(const FrameRequest& request)
{
    FrameResult result;
    result.Progress = request.Progress;
    if (request.Style < 0 || request.Style > kLastStyle) {
        Draw(request.FrameBitmap, 0, 0, request.OldBitmap);
        return result;
    }

    const int32_t W = request.NewBitmap.width();
    const int32_t H = request.NewBitmap.height();
    const bool customHook = request.Style == 0 && request.OnCustomDraw && *request.OnCustomDraw;
    // With three bitmaps of one size, the old picture is written in the same
    // pass as the new one: every frame pixel once. The custom hook expects the
    // old picture in place.
    const Rect whole { 0, 0, W, H };
    const bool fused = !customHook && request.OldBitmap.rect() == whole && request.FrameBitmap.rect() == whole;
    if (!fused)
        Draw(request.FrameBitmap, 0, 0, request.OldBitmap);

    const Extents extents = ProgressExtents(W, H, request.Progress);
    StyleFrame frame {
        .W = W,
        .H = H,
        .PX = extents.PX,
        .PY = extents.PY,
        .Band = BandFor(W, H, request.Step),
        .DstRect = { 0, 0, W, H },
        .SrcRect = { 0, 0, W, H },
        .ClipRegion = std::nullopt,
        .NewBitmap = request.NewBitmap,
        .FrameBitmap = request.FrameBitmap,
        .Invalidated = result.Invalidated,
        .PendingOldBitmap = fused ? &request.OldBitmap : nullptr,
        .PhasesCovered = fused && request.Progress == 100,
    };

    StyleRule rule = StyleRuleFor(request.Style);
    bool regionPath = request.Style == 0 || request.Style >= kFirstRegionStyle;
    if (customHook) {
        (*request.OnCustomDraw)(request.NewBitmap, request.FrameBitmap);
    } else if (rule) {
        rule(frame);
    } else {
        // Style 0 without a hook: the transition jumps to its end in one frame.
        // The finish draws the new picture whole.
        frame.ClipRegion = Region::FromRect(0, 0, W, H);
        result.Progress = 100;
    }

    // The finish. While the old picture is pending, it is written only where
    // the new one does not go.
    const Bitmap* pendingOld = frame.PendingOldBitmap;
    if (pendingOld && frame.DeferredCount > 0 && result.Progress != 100) {
        // The old picture where no copy lands, then the phases' copies in order.
        RegionBuilder& covers = RegionBuilder::ForThisThread();
        for (int i = 0; i < frame.DeferredCount; ++i) {
            const StyleFrame::Phase& phase = frame.DeferredPhases[size_t(i)];
            covers.addRect(PhaseCover(request.FrameBitmap, phase, request.NewBitmap));
        }
        if (result.Progress != 0 && !regionPath)
            covers.addRect(StretchCopyCover(request.FrameBitmap, frame.DstRect, request.NewBitmap, frame.SrcRect));
        DrawOutside(request.FrameBitmap, *pendingOld, covers.build());
        for (int i = 0; i < frame.DeferredCount; ++i) {
            const StyleFrame::Phase& phase = frame.DeferredPhases[size_t(i)];
            StyleFrame::CopyRect(request.FrameBitmap, phase.DstRect, request.NewBitmap, phase.SrcRect, phase.mirror);
        }
        pendingOld = nullptr;
    }
    if (result.Progress == 100) {
        Draw(request.FrameBitmap, 0, 0, request.NewBitmap);
    } else if (result.Progress == 0) {
        if (pendingOld)
            Draw(request.FrameBitmap, 0, 0, *pendingOld);
    } else if (regionPath) {
        if (frame.ClipRegion && pendingOld)
            MixThroughRegion(request.FrameBitmap, *pendingOld, request.NewBitmap, *frame.ClipRegion);
        else if (frame.ClipRegion)
            DrawThroughRegion(request.FrameBitmap, request.NewBitmap, *frame.ClipRegion);
        else if (pendingOld)
            Draw(request.FrameBitmap, 0, 0, *pendingOld);
    } else {
        if (pendingOld)
            DrawAround(request.FrameBitmap, *pendingOld,
                       StretchCopyCover(request.FrameBitmap, frame.DstRect, request.NewBitmap, frame.SrcRect));
        StretchCopy(request.FrameBitmap, frame.DstRect, request.NewBitmap, frame.SrcRect);
    }
    result.Invalidated.add(frame.DstRect);
    result.composed = true;
    return result;
}

}
