// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

// The single-axis rules of the rectangle styles. Each rule is written for the
// horizontal axis, in W (the frame width) and PX (the progress extent along x);
// the vertical styles evaluate the same rule with H and PY passed in their
// place, and the corner and centre styles evaluate one rule along each axis.
// "Near" is the left (or top) edge, "far" the right (or bottom) edge.
namespace kalvio::axis {

// Columns lo .. hi - 1 (or rows, along the vertical axis).
struct Span {
    int32_t lo = 0;
    int32_t hi = 0;
    friend constexpr bool operator==(const Span&, const Span&) = default;
};

// One copy along the axis: the destination span of the frame and the source
// span of the new picture.
struct Copy {
    Span dst;
    Span src;
};

// What a rule does along its axis in one frame: an optional first phase, copied
// straight away (mirrored along this axis for the folds), and the final copy.
struct Plan {
    Copy final;
    bool twoPhase = false;
    bool mirrorFirst = false;
    Copy first {};
};

using Rule = Plan (*)(int32_t W, int32_t PX);

constexpr Plan Single(Span dst, Span src) { return { { dst, src } }; }
constexpr Plan TwoPhase(Copy first, Copy final, bool mirrorFirst = false)
{
    return { final, true, mirrorFirst, first };
}

// The axis untouched: the whole width, from the whole width.
constexpr Plan Whole(int32_t W, int32_t) { return Single({ 0, W }, { 0, W }); }

// The fold width of the folded wipes: narrow at both ends, W div 10 between.
constexpr int32_t FoldWidth(int32_t W, int32_t PX)
{
    if (PX < W / 5)
        return PX / 2;
    if (W - PX < W / 5)
        return (W - PX) / 2;
    return W / 10;
}

// 1: the whole picture squeezed into a strip at the far edge that widens.
constexpr Plan StretchInFromFar(int32_t W, int32_t PX) { return Single({ W - PX, W }, { 0, W }); }
// 2: as 1, from the near edge.
constexpr Plan StretchInFromNear(int32_t W, int32_t PX) { return Single({ 0, PX }, { 0, W }); }
// 3: the picture at its true size slides in from the far edge.
constexpr Plan SlideInFromFar(int32_t W, int32_t PX) { return Single({ W - PX, 2 * W - PX }, { 0, W }); }
// 4: as 3, from the near edge.
constexpr Plan SlideInFromNear(int32_t W, int32_t PX) { return Single({ PX - W, PX }, { 0, W }); }
// 5: uncovered in place from the near edge.
constexpr Plan WipeFromNear(int32_t, int32_t PX) { return Single({ 0, PX }, { 0, PX }); }
// 6: uncovered in place from the far edge.
constexpr Plan WipeFromFar(int32_t W, int32_t PX) { return Single({ W - PX, W }, { W - PX, W }); }
// 7: fills the frame, enlarged and pinned at the near edge.
constexpr Plan ZoomOutFromNear(int32_t W, int32_t PX) { return Single({ 0, 2 * W - PX }, { 0, PX }); }
// 8: as 7, pinned at the far edge.
constexpr Plan ZoomOutFromFar(int32_t W, int32_t PX) { return Single({ PX - W, W }, { W - PX, W }); }
// 9: as 7, enlarged about the centre line.
constexpr Plan ZoomOutFromCentre(int32_t W, int32_t PX)
{
    return Single({ PX - W, 2 * W - PX }, { (W - PX) / 2, (W + PX) / 2 });
}
// 10: the whole picture squeezed into a central band that widens.
constexpr Plan StretchOutFromCentre(int32_t W, int32_t PX)
{
    return Single({ (W - PX) / 2, (W + PX) / 2 }, { 0, W });
}
// 11: a central band uncovered in place.
constexpr Plan WipeOutFromCentre(int32_t W, int32_t PX)
{
    return Single({ (W - PX) / 2, (W + PX) / 2 }, { (W - PX) / 2, (W + PX) / 2 });
}
// 12: uncovered in place from both edges; the strips meet in the middle.
constexpr Plan WipeInFromBothEdges(int32_t W, int32_t PX)
{
    return TwoPhase({ { 0, PX / 2 + 1 }, { 0, PX / 2 + 1 } },
                    { { W - PX / 2 - 1, W }, { W - PX / 2 - 1, W } });
}
// 13: each half squeezed into a strip at its own edge.
constexpr Plan StretchInFromBothEdges(int32_t W, int32_t PX)
{
    return TwoPhase({ { 0, PX / 2 + 1 }, { 0, W / 2 + 1 } },
                    { { W - PX / 2 - 1, W }, { W / 2, W } });
}
// 14: uncovered from the near edge, with the columns ahead folded back over it.
constexpr Plan FoldedWipeFromNear(int32_t W, int32_t PX)
{
    const int32_t FX = FoldWidth(W, PX);
    return TwoPhase({ { PX, PX + FX }, { PX + FX, PX + 2 * FX } },
                    { { 0, PX }, { 0, PX } }, true);
}
// 15: as 14, from the far edge.
constexpr Plan FoldedWipeFromFar(int32_t W, int32_t PX)
{
    const int32_t FX = FoldWidth(W, PX);
    return TwoPhase({ { W - PX - FX, W - PX }, { W - PX - 2 * FX, W - PX - FX } },
                    { { W - PX, W }, { W - PX, W } }, true);
}
// 16: uncovered from the near edge; the next W div 20 columns smeared over the rest.
constexpr Plan SmearedWipeFromNear(int32_t W, int32_t PX)
{
    return TwoPhase({ { 0, PX }, { 0, PX } },
                    { { PX, W }, { PX, PX + W / 20 } });
}
// 17: as 16, from the far edge.
constexpr Plan SmearedWipeFromFar(int32_t W, int32_t PX)
{
    return TwoPhase({ { W - PX, W }, { W - PX, W } },
                    { { 0, W - PX }, { W - PX - W / 20, W - PX } });
}

}
