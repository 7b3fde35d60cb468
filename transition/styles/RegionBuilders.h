// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "platform/graphics/Rect.h"
#include "platform/graphics/Region.h"

// The shapes that the bar, lattice, ragged and triangle transitions are made of.
// Each builder returns a new region, or no region at all (std::nullopt) when it
// made no piece: only when both kinds are 0. Empty pieces still count, so a bar
// of length 0 gives an empty region, not std::nullopt.
namespace kalvio {

// Bars 5 lines thick on every 10th line (BuildBarsRegion) or every 25th line
// (BuildSpacedBarsRegion). Row bars grow along x to XExtent, column bars along y
// to YExtent; an extent past the size (a doubled extent in its second half)
// makes those lines whole and grows a second set of bars on the 5 lines after
// each. A first-set bar within SnapMargin of the full size is drawn full.
// Kinds (row pass / column pass; 0 switches the pass off):
//   1  from the right / bottom, second set too
//   2  from the left / top, second set too
//   3  in each period, lines 0-4 from the right / bottom, 5-9 from the left / top
//      (callers keep the extent within the size)
//   4  from the left / top, second set from the right / bottom
//   5  from the right / bottom, second set from the left / top
// Other kinds make empty pieces.
std::optional<Region> BuildBarsRegion(int32_t XExtent, int32_t YExtent, int32_t Width, int32_t Height,
                                      int32_t SnapMargin, uint8_t XKind, uint8_t YKind);
std::optional<Region> BuildSpacedBarsRegion(int32_t XExtent, int32_t YExtent, int32_t Width, int32_t Height,
                                            int32_t SnapMargin, uint8_t XKind, uint8_t YKind);

// Row bars on every 5 rows (overlapping by Height mod 5 rows, so they cover the
// height) and column bars 5 + Width mod 5 wide on every 25th column, whose
// growing ends are jittered by Random(Range) - Random(Range), Range being a
// seventh of the size while the extent is below the size and 0 after.
// Kinds: 1 from the right / bottom, 2 from the left / top, 3 outwards from the
// centre line, any other non-zero value inwards from both edges.
// Draws from the process-wide generator, rows before columns, bar by bar; a bar
// of kind 1 or 2 draws one jitter (two numbers), kinds 3 and 4 two jitters
// (four numbers), the first jitter for the first rectangle.
std::optional<Region> BuildRaggedBarsRegion(int32_t XExtent, int32_t YExtent, int32_t Width, int32_t Height,
                                            int32_t XKind, int32_t YKind);

// The outline (X1, Y1), (X2, Y2), (X3, Y3) closed back to (X1, Y1), for a
// polygon fill by the winding rule.
inline std::array<Point, 4> TriangleOutline(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3)
{
    return { Point { X1, Y1 }, Point { X2, Y2 }, Point { X3, Y3 }, Point { X1, Y1 } };
}

// The filled triangle; coincident points give an empty region.
Region BuildTriangleRegion(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3);

}
