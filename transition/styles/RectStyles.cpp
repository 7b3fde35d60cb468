// SPDX-License-Identifier: GPL-3.0-or-later
#include <iterator>

#include "transition/styles/AxisRules.h"
#include "transition/styles/StyleTable.h"

// The rectangle styles 1..57. Styles 1..53 are one single-axis rule along x and
// one along y (AxisRules.h); the four-piece styles 54..57 copy three pieces of
// their own before they set the final rectangles.
namespace kalvio {
namespace {

using namespace axis;

void SetRects(StyleFrame& f, const Copy& x, const Copy& y)
{
    f.DstRect = { x.dst.lo, y.dst.lo, x.dst.hi, y.dst.hi };
    f.SrcRect = { x.src.lo, y.src.lo, x.src.hi, y.src.hi };
}

// Rule X along x (W, PX) and rule Y along y (H, PY). A two-phase rule copies its
// first phase, with the other axis at its final span, before the final rectangles
// are set; its fold mirrors along its own axis.
template <Rule X, Rule Y>
void AlongAxes(StyleFrame& f)
{
    static_assert(!(X(100, 50).twoPhase && Y(100, 50).twoPhase), "one axis at most has a first phase");
    const Plan x = X(f.W, f.PX);
    const Plan y = Y(f.H, f.PY);
    if (x.twoPhase || y.twoPhase) {
        SetRects(f, x.twoPhase ? x.first : x.final, y.twoPhase ? y.first : y.final);
        f.CopyPhase(x.mirrorFirst ? Mirror::LeftRight : y.mirrorFirst ? Mirror::TopBottom : Mirror::None);
    }
    SetRects(f, x.final, y.final);
}

template <Rule R>
constexpr StyleRule Horizontal = AlongAxes<R, Whole>;
template <Rule R>
constexpr StyleRule Vertical = AlongAxes<Whole, R>;

struct Piece {
    Rect dst;
    Rect src;
};

// Copies the first three pieces in order, then leaves the fourth for the final copy.
void CopyPieces(StyleFrame& f, const Piece (&pieces)[4])
{
    for (int i = 0; i < 3; ++i) {
        f.DstRect = pieces[i].dst;
        f.SrcRect = pieces[i].src;
        f.CopyPhase();
    }
    f.DstRect = pieces[3].dst;
    f.SrcRect = pieces[3].src;
}

// 54: bands in place from the top, bottom, left and right edges.
void WipeInFromAllEdges(StyleFrame& f)
{
    const int32_t W = f.W, H = f.H, PX = f.PX, PY = f.PY;
    CopyPieces(f, {
        { { 0, 0, W, PY / 2 }, { 0, 0, W, PY / 2 } },
        { { 0, H - PY / 2, W, H }, { 0, H - PY / 2, W, H } },
        { { 0, 0, PX / 2, H }, { 0, 0, PX / 2, H } },
        { { W - PX / 2, 0, W, H }, { W - PX / 2, 0, W, H } },
    });
}

// 55: rectangles in place from the top-left, bottom-left, bottom-right and top-right corners.
void WipeInFromCorners(StyleFrame& f)
{
    const int32_t W = f.W, H = f.H, PX = f.PX, PY = f.PY;
    const Rect topLeft { 0, 0, PX / 2 + 1, PY / 2 + 1 };
    const Rect bottomLeft { 0, H - PY / 2 - 1, PX / 2 + 1, H };
    const Rect bottomRight { W - PX / 2 - 1, H - PY / 2 - 1, W, H };
    const Rect topRight { W - PX / 2 - 1, 0, W, PY / 2 + 1 };
    CopyPieces(f, {
        { topLeft, topLeft },
        { bottomLeft, bottomLeft },
        { bottomRight, bottomRight },
        { topRight, topRight },
    });
}

// 56: each quarter, scaled down, grows from its own corner.
void GrowFromCorners(StyleFrame& f)
{
    const int32_t W = f.W, H = f.H, PX = f.PX, PY = f.PY;
    CopyPieces(f, {
        { { 0, 0, PX / 2 + 1, PY / 2 + 1 }, { 0, 0, W / 2 + 1, H / 2 + 1 } },
        { { 0, H - PY / 2, PX / 2 + 1, H }, { 0, H / 2 + 1, W / 2 + 1, H } },
        { { W - PX / 2, H - PY / 2, W, H }, { W / 2 + 1, H / 2 + 1, W, H } },
        { { W - PX / 2, 0, W, PY / 2 + 1 }, { W / 2 + 1, 0, W, H / 2 + 1 } },
    });
}

// 57: the quarters slide in from the left, top, right and bottom in turn. PX - W
// and PY - H are 0 or less and divide toward zero.
void Pinwheel(StyleFrame& f)
{
    const int32_t W = f.W, H = f.H, PX = f.PX, PY = f.PY;
    CopyPieces(f, {
        { { (PX - W) / 2, 0, PX / 2 + 1, H / 2 + 1 }, { 0, 0, W / 2 + 1, H / 2 + 1 } },
        { { W / 2 - 1, (PY - H) / 2, W, PY / 2 + 1 }, { W / 2 - 1, 0, W, H / 2 + 1 } },
        { { W - PX / 2, H / 2 - 1, W + (W - PX) / 2, H }, { W / 2 + 1, H / 2 - 1, W, H } },
        { { 0, H - PY / 2, W / 2 + 1, H + (H - PY) / 2 }, { 0, H / 2 + 1, W / 2 + 1, H } },
    });
}

// Indexed by style number. Corner and centre rows name their rule along x, then y.
constexpr StyleRule kRectStyles[] = {
    nullptr,
    Horizontal<StretchInFromFar>,       // 1 stretch in from the right
    Horizontal<StretchInFromNear>,      // 2 stretch in from the left
    Horizontal<SlideInFromFar>,         // 3 slide in from the right
    Horizontal<SlideInFromNear>,        // 4 slide in from the left
    Horizontal<WipeFromNear>,           // 5 wipe from the left
    Horizontal<WipeFromFar>,            // 6 wipe from the right
    Horizontal<ZoomOutFromNear>,        // 7 zoom out from the left edge
    Horizontal<ZoomOutFromFar>,         // 8 zoom out from the right edge
    Horizontal<ZoomOutFromCentre>,      // 9 zoom out from the vertical centre line
    Horizontal<StretchOutFromCentre>,   // 10 stretch out from the vertical centre line
    Horizontal<WipeOutFromCentre>,      // 11 wipe out from the vertical centre line
    Horizontal<WipeInFromBothEdges>,    // 12 wipe in from left and right
    Horizontal<StretchInFromBothEdges>, // 13 stretch in from left and right
    Horizontal<FoldedWipeFromNear>,     // 14 folded wipe from the left
    Horizontal<FoldedWipeFromFar>,      // 15 folded wipe from the right
    Horizontal<SmearedWipeFromNear>,    // 16 smeared wipe from the left
    Horizontal<SmearedWipeFromFar>,     // 17 smeared wipe from the right

    Vertical<StretchInFromFar>,       // 18 stretch in from the bottom
    Vertical<StretchInFromNear>,      // 19 stretch in from the top
    Vertical<SlideInFromFar>,         // 20 slide in from the bottom
    Vertical<SlideInFromNear>,        // 21 slide in from the top
    Vertical<WipeFromNear>,           // 22 wipe from the top
    Vertical<WipeFromFar>,            // 23 wipe from the bottom
    Vertical<ZoomOutFromNear>,        // 24 zoom out from the top edge
    Vertical<ZoomOutFromFar>,         // 25 zoom out from the bottom edge
    Vertical<ZoomOutFromCentre>,      // 26 zoom out from the horizontal centre line
    Vertical<StretchOutFromCentre>,   // 27 stretch out from the horizontal centre line
    Vertical<WipeOutFromCentre>,      // 28 wipe out from the horizontal centre line
    Vertical<WipeInFromBothEdges>,    // 29 wipe in from top and bottom
    Vertical<StretchInFromBothEdges>, // 30 stretch in from top and bottom
    Vertical<FoldedWipeFromNear>,     // 31 folded wipe from the top
    Vertical<FoldedWipeFromFar>,      // 32 folded wipe from the bottom
    Vertical<SmearedWipeFromNear>,    // 33 smeared wipe from the top
    Vertical<SmearedWipeFromFar>,     // 34 smeared wipe from the bottom

    AlongAxes<StretchInFromFar, StretchInFromFar>,   // 35 grow from the bottom-right corner
    AlongAxes<StretchInFromFar, StretchInFromNear>,  // 36 grow from the top-right corner
    AlongAxes<StretchInFromNear, StretchInFromNear>, // 37 grow from the top-left corner
    AlongAxes<StretchInFromNear, StretchInFromFar>,  // 38 grow from the bottom-left corner
    AlongAxes<SlideInFromFar, SlideInFromFar>,       // 39 slide in from the bottom-right corner
    AlongAxes<SlideInFromFar, SlideInFromNear>,      // 40 slide in from the top-right corner
    AlongAxes<SlideInFromNear, SlideInFromNear>,     // 41 slide in from the top-left corner
    AlongAxes<SlideInFromNear, SlideInFromFar>,      // 42 slide in from the bottom-left corner
    AlongAxes<WipeFromNear, WipeFromNear>,           // 43 wipe from the top-left corner
    AlongAxes<WipeFromNear, WipeFromFar>,            // 44 wipe from the bottom-left corner
    AlongAxes<WipeFromFar, WipeFromFar>,             // 45 wipe from the bottom-right corner
    AlongAxes<WipeFromFar, WipeFromNear>,            // 46 wipe from the top-right corner
    AlongAxes<ZoomOutFromNear, ZoomOutFromNear>,     // 47 zoom out from the top-left corner
    AlongAxes<ZoomOutFromNear, ZoomOutFromFar>,      // 48 zoom out from the bottom-left corner
    AlongAxes<ZoomOutFromFar, ZoomOutFromFar>,       // 49 zoom out from the bottom-right corner
    AlongAxes<ZoomOutFromFar, ZoomOutFromNear>,      // 50 zoom out from the top-right corner

    AlongAxes<ZoomOutFromCentre, ZoomOutFromCentre>,       // 51 zoom out from the centre
    AlongAxes<StretchOutFromCentre, StretchOutFromCentre>, // 52 grow from the centre
    AlongAxes<WipeOutFromCentre, WipeOutFromCentre>,       // 53 wipe out from the centre

    WipeInFromAllEdges, // 54 wipe in from all four edges
    WipeInFromCorners,  // 55 wipe in from the four corners
    GrowFromCorners,    // 56 grow from the four corners
    Pinwheel,           // 57 pinwheel of quadrants
};
static_assert(std::size(kRectStyles) == kFirstRegionStyle);

}

StyleRule RectStyleRule(int style)
{
    if (style < 1 || style >= kFirstRegionStyle)
        return nullptr;
    return kRectStyles[style];
}

}
