// SPDX-License-Identifier: GPL-3.0-or-later
#include <array>
#include <utility>

#include "platform/graphics/Arith.h"
#include "transition/styles/RegionBuilders.h"
#include "transition/styles/StyleTable.h"

// The region styles 58..117: each sets ClipRegion, the frame pixels where the
// new picture shows, from the frame size W x H, the progress extents PX, PY and
// the snap margin Band. Drawing is limited to the frame, so shapes may reach
// outside it.
namespace kalvio {

namespace {

using Clip = std::optional<Region>;

Region RoundRect(int32_t l, int32_t t, int32_t r, int32_t b, int32_t cw, int32_t ch)
{
    return Region::FromRoundRect(l, t, r, b, cw, ch);
}

// a := a combined with b; without both regions there is nothing to combine and
// a stays as it is.
Clip Combined(Clip a, const Clip& b, CombineMode mode)
{
    if (a && b)
        a->combine(*b, mode);
    return a;
}

Clip TriangleGrid(int32_t W, int32_t H, int32_t PX);

Clip RegionFor(int style, int32_t W, int32_t H, int32_t PX, int32_t PY, int32_t Band)
{
    switch (style) {
    // Curved wipes: one rounded rectangle whose rounded end crosses the frame.
    case 58: return RoundRect(-2 * W, -5, 2 * PX, H + 5, 2 * W, 2 * W);                 // from the left
    case 59: return RoundRect(W - 2 * PX, -5, 3 * W, H + 5, 2 * W, 2 * W);              // from the right
    case 69: return RoundRect(-5, -2 * H, W + 5, 2 * PY, 2 * H, 2 * H);                 // from the top
    case 70: return RoundRect(-5, H - 2 * PY, W + 5, 3 * H, 2 * H, 2 * H);              // from the bottom
    case 80: return RoundRect(-2 * W, -2 * H, 2 * PX, 2 * PY, 2 * W, 2 * H);            // from the top-left
    case 81: return RoundRect(W - 2 * PX, -2 * H, 3 * W, 2 * PY, 2 * W, 2 * H);         // from the top-right
    case 82: return RoundRect(-2 * W, H - 2 * PY, 2 * PX, 3 * H, 2 * W, 2 * H);         // from the bottom-left
    case 83: return RoundRect(W - 2 * PX, H - 2 * PY, 3 * W, 3 * H, 2 * H, 2 * H);      // from the bottom-right, circular

    // Interlaced bars and columns: the doubled extent grows a second set in the second half.
    case 60: return BuildBarsRegion(2 * PX, 0, W, H, Band, 1, 0); // bars from the right
    case 61: return BuildBarsRegion(2 * PX, 0, W, H, Band, 2, 0); // bars from the left
    case 62: return BuildBarsRegion(2 * PX, 0, W, H, Band, 4, 0); // left, then right
    case 63: return BuildBarsRegion(2 * PX, 0, W, H, Band, 5, 0); // right, then left
    case 71: return BuildBarsRegion(0, 2 * PY, W, H, Band, 0, 1); // columns from the bottom
    case 72: return BuildBarsRegion(0, 2 * PY, W, H, Band, 0, 2); // columns from the top
    case 73: return BuildBarsRegion(0, 2 * PY, W, H, Band, 0, 4); // top, then bottom
    case 74: return BuildBarsRegion(0, 2 * PY, W, H, Band, 0, 5); // bottom, then top

    // Combs: pairs of bars from opposite edges, never snapping.
    case 64: return BuildBarsRegion(PX, 0, W, H, 0, 3, 0);
    case 75: return BuildBarsRegion(0, PY, W, H, 0, 0, 3);

    // Ragged wipes (rows) and ragged stripes (a column every 25 pixels).
    case 65: return BuildRaggedBarsRegion(PX, 0, W, H, 1, 0); // from the right
    case 66: return BuildRaggedBarsRegion(PX, 0, W, H, 2, 0); // from the left
    case 67: return BuildRaggedBarsRegion(PX, 0, W, H, 3, 0); // out from the vertical centre line
    case 68: return BuildRaggedBarsRegion(PX, 0, W, H, 4, 0); // in from both sides
    case 76: return BuildRaggedBarsRegion(0, PY, W, H, 0, 1); // from the bottom
    case 77: return BuildRaggedBarsRegion(0, PY, W, H, 0, 2); // from the top
    case 78: return BuildRaggedBarsRegion(0, PY, W, H, 0, 3); // out from the horizontal centre line
    case 79: return BuildRaggedBarsRegion(0, PY, W, H, 0, 4); // in from top and bottom

    // Rounded irises, corner ellipses 9/10 of the shape.
    case 84: // opening
        return RoundRect(W / 2 - PX, H / 2 - PY, W / 2 + PX, H / 2 + PY, (9 * PX) / 5, (9 * PY) / 5);
    case 85: { // closing: the frame minus a shrinking hole
        Region full = Region::FromRect(0, 0, W, H);
        Clip clip = RoundRect(PX - W / 2, PY - H / 2, (3 * W) / 2 - PX, (3 * H) / 2 - PY,
                              (9 * (W - PX)) / 5, (9 * (H - PY)) / 5);
        return Combined(std::move(clip), full, CombineMode::Xor);
    }

    // Lattices: lines 5 thick every 25, rows and columns together.
    case 86: return BuildSpacedBarsRegion(2 * PX, 2 * PY, W, H, Band, 1, 1); // right and bottom
    case 87: return BuildSpacedBarsRegion(2 * PX, 2 * PY, W, H, Band, 1, 2); // right and top
    case 88: return BuildSpacedBarsRegion(2 * PX, 2 * PY, W, H, Band, 2, 1); // left and bottom
    case 89: return BuildSpacedBarsRegion(2 * PX, 2 * PY, W, H, Band, 2, 2); // left and top
    case 90: return BuildSpacedBarsRegion(2 * PX, 2 * PY, W, H, Band, 4, 4); // left/top, then right/bottom
    case 91: return BuildSpacedBarsRegion(2 * PX, 2 * PY, W, H, Band, 4, 5); // rows left then right, columns bottom then top
    case 92: return BuildSpacedBarsRegion(2 * PX, 2 * PY, W, H, Band, 5, 4); // rows right then left, columns top then bottom
    case 93: return BuildSpacedBarsRegion(2 * PX, 2 * PY, W, H, Band, 5, 5); // right/bottom, then left/top
    case 94: return BuildSpacedBarsRegion(PX, PY, W, H, Band, 1, 3);         // sparse rows from the right, comb columns
    case 95: return BuildSpacedBarsRegion(PX, PY, W, H, Band, 2, 3);         // sparse rows from the left, comb columns
    case 96: return BuildSpacedBarsRegion(PX, PY, W, H, Band, 3, 1);         // comb rows, sparse columns from the bottom
    case 97: return BuildSpacedBarsRegion(PX, PY, W, H, Band, 3, 2);         // comb rows, sparse columns from the top
    case 98: return BuildSpacedBarsRegion(PX, PY, W, H, 0, 3, 3);            // comb lattice, never snapping
    case 99: { // meeting lattice: what the lattices of 86 and 89 have in common
        Clip a = BuildSpacedBarsRegion(2 * PX, 2 * PY, W, H, Band, 1, 1);
        Clip clip = BuildSpacedBarsRegion(2 * PX, 2 * PY, W, H, Band, 2, 2);
        return Combined(std::move(clip), a, CombineMode::And);
    }

    // Ragged grids: ragged row fronts and ragged columns together.
    case 100: return BuildRaggedBarsRegion(PX, PY, W, H, 1, 1);
    case 101: return BuildRaggedBarsRegion(PX, PY, W, H, 1, 2);
    case 102: return BuildRaggedBarsRegion(PX, PY, W, H, 2, 1);
    case 103: return BuildRaggedBarsRegion(PX, PY, W, H, 2, 2);
    case 104: return BuildRaggedBarsRegion(PX, PY, W, H, 1, 3);
    case 105: return BuildRaggedBarsRegion(PX, PY, W, H, 2, 3);
    case 106: return BuildRaggedBarsRegion(PX, PY, W, H, 3, 1);
    case 107: return BuildRaggedBarsRegion(PX, PY, W, H, 3, 2);
    case 108: return BuildRaggedBarsRegion(PX, PY, W, H, 3, 3);
    case 109: return BuildRaggedBarsRegion(PX, PY, W, H, 4, 4);

    // Corner triangles, legs twice the extents.
    case 110: return BuildTriangleRegion(0, 0, 2 * PX, 0, 0, 2 * PY);         // top-left
    case 111: return BuildTriangleRegion(W, 0, W - 2 * PX, 0, W, 2 * PY);     // top-right
    case 112: return BuildTriangleRegion(0, H, 2 * PX, H, 0, H - 2 * PY);     // bottom-left
    case 113: return BuildTriangleRegion(W, H, W - 2 * PX, H, W, H - 2 * PY); // bottom-right

    // Twin triangles closing on the diagonal, and the pinwheel.
    case 114: { // from the left and right edges
        Region a = BuildTriangleRegion(0, H, 0, 0, PX, H);
        Clip clip = BuildTriangleRegion(W, H, W, 0, W - PX, 0);
        return Combined(std::move(clip), a, CombineMode::Or);
    }
    case 115: { // from the top and bottom edges
        Region a = BuildTriangleRegion(W, 0, 0, 0, W, PY);
        Clip clip = BuildTriangleRegion(W, H, 0, H, 0, H - PY);
        return Combined(std::move(clip), a, CombineMode::Or);
    }
    case 116: { // four blades hinged at the centre
        Clip clip = BuildTriangleRegion(W / 2, H / 2, 0, H, 0, H - PY);
        clip = Combined(std::move(clip), BuildTriangleRegion(0, 0, PX, 0, W / 2, H / 2), CombineMode::Or);
        clip = Combined(std::move(clip), BuildTriangleRegion(W - PX, H, W / 2, H / 2, W, H), CombineMode::Or);
        return Combined(std::move(clip), BuildTriangleRegion(W / 2, H / 2, W, 0, W, PY), CombineMode::Or);
    }
    case 117:
        return TriangleGrid(W, H, PX);
    }
    return std::nullopt;
}

// A 10 x 10 grid of cells, each filling from its top-left corner with a right
// triangle whose legs keep the frame's proportions.
Clip TriangleGrid(int32_t W, int32_t H, int32_t PX)
{
    const int32_t E = PX / 5;
    const int32_t PY = MulDiv(E, H, W);
    // The hundred triangles are one shape moved by whole pixels, and a pixel
    // belongs to a shape by its centre, so moving the shape moves its pixels:
    // fill the shape once and tile it.
    std::array<int32_t, 10> xs, ys;
    for (int32_t i = 0; i <= 9; ++i) {
        xs[size_t(i)] = (W * i) / 10;
        ys[size_t(i)] = (H * i) / 10;
    }
    return Region::Tiled(BuildTriangleRegion(0, 0, E, 0, 0, PY), xs, ys);
}

template <int Style>
void RegionRule(StyleFrame& f)
{
    f.ClipRegion = RegionFor(Style, f.W, f.H, f.PX, f.PY, f.Band);
}

template <size_t... I>
constexpr std::array<StyleRule, sizeof...(I)> MakeRules(std::index_sequence<I...>)
{
    return { &RegionRule<kFirstRegionStyle + int(I)>... };
}

// Indexed by style - kFirstRegionStyle.
constexpr auto kRegionRules = MakeRules(std::make_index_sequence<kLastStyle - kFirstRegionStyle + 1>());

}

StyleRule RegionStyleRule(int style)
{
    if (style < kFirstRegionStyle || style > kLastStyle)
        return nullptr;
    return kRegionRules[size_t(style - kFirstRegionStyle)];
}

}
