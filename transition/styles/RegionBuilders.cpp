// SPDX-License-Identifier: GPL-3.0-or-later
#include "transition/styles/RegionBuilders.h"

#include "platform/system/Random.h"

namespace kalvio {

namespace {

// One pass of a builder, written for the row bars: "along" is the axis the bars
// grow on (x for rows), "across" the axis they are stacked on. The column pass
// is the same pass with the axes exchanged.
class Pass {
public:
    Pass(RegionBuilder& out, bool columns)
        : m_out(out)
        , m_columns(columns)
    {
    }

    // Adds the bar from a0 to a1 along, c0 to c1 across (reversed bounds allowed).
    void bar(int32_t a0, int32_t c0, int32_t a1, int32_t c1)
    {
        if (m_columns)
            m_out.addRect(c0, a0, c1, a1);
        else
            m_out.addRect(a0, c0, a1, c1);
    }

private:
    RegionBuilder& m_out;
    bool m_columns;
};

constexpr int32_t kBarThickness = 5;

// Bars on lines [i, i + 5) for i stepping by `period`; see BuildBarsRegion.
// Returns whether it made a piece.
bool AddBarsPass(RegionBuilder& out, bool columns, int32_t period, int32_t extent, int32_t length,
                 int32_t lines, int32_t snapMargin, uint8_t kind)
{
    if (kind == 0)
        return false;
    Pass pass(out, columns);
    const bool overshoot = extent > length;
    // The snap is tested before every piece, but once taken the extent equals
    // the length and the test holds again, so it is the same as testing once.
    if (!overshoot && int64_t(extent) + snapMargin > length)
        extent = length;

    bool made = false;
    const int32_t t = kBarThickness;
    for (int64_t i64 = overshoot ? t : 0; i64 < int64_t(lines) + t; i64 += period) {
        const int32_t i = int32_t(i64);
        made = true;
        if (overshoot) {
            pass.bar(0, i - t, length, i);
            if (kind == 1 || kind == 4)
                pass.bar(2 * length - extent, i, length, i + t);
            else if (kind == 2 || kind == 5)
                pass.bar(0, i, extent - length, i + t);
            continue;
        }
        switch (kind) {
        case 1:
        case 5:
            pass.bar(length - extent, i, length, i + t);
            break;
        case 2:
        case 4:
            pass.bar(0, i, extent, i + t);
            break;
        case 3:
            pass.bar(length - extent, i, length, i + t);
            pass.bar(0, i + t, extent, i + 2 * t);
            break;
        default:
            break; // an unknown kind makes an empty piece
        }
    }
    return made;
}

std::optional<Region> BuildPeriodicBarsRegion(int32_t period, int32_t XExtent, int32_t YExtent, int32_t Width,
                                              int32_t Height, int32_t SnapMargin, uint8_t XKind, uint8_t YKind)
{
    RegionBuilder& out = RegionBuilder::ForThisThread();
    bool made = AddBarsPass(out, false, period, XExtent, Width, Height, SnapMargin, XKind);
    made = AddBarsPass(out, true, period, YExtent, Height, Width, SnapMargin, YKind) || made;
    if (!made)
        return std::nullopt;
    return out.build();
}

// Random(range) - Random(range), the number added drawn first.
int32_t Jitter(int32_t range)
{
    const int32_t plus = Random(range);
    const int32_t minus = Random(range);
    return plus - minus;
}

// Ragged bars stepping by `step` across; see BuildRaggedBarsRegion.
bool AddRaggedPass(RegionBuilder& out, bool columns, int32_t step, int32_t extent, int32_t length, int32_t lines,
                   int32_t kind)
{
    if (kind == 0)
        return false;
    Pass pass(out, columns);
    const int32_t range = extent < length ? length / 7 : 0;
    const int32_t thickness = kBarThickness + lines % kBarThickness;
    bool made = false;
    for (int64_t c64 = 0; c64 < lines; c64 += step) {
        const int32_t c = int32_t(c64);
        const int32_t end = c + thickness;
        made = true;
        if (kind == 1) {
            pass.bar(length - extent + Jitter(range), c, length, end);
        } else if (kind == 2) {
            pass.bar(0, c, extent + Jitter(range), end);
        } else if (kind == 3) {
            const int32_t j1 = Jitter(range);
            const int32_t j2 = Jitter(range);
            pass.bar((length - extent + j1) / 2, c, length / 2, end);
            pass.bar(length / 2, c, (length + extent + j2) / 2, end);
        } else {
            const int32_t j1 = Jitter(range);
            const int32_t j2 = Jitter(range);
            pass.bar(length - (extent + j1) / 2, c, length, end);
            pass.bar(0, c, (extent + j2) / 2, end);
        }
    }
    return made;
}

}

std::optional<Region> BuildBarsRegion(int32_t XExtent, int32_t YExtent, int32_t Width, int32_t Height,
                                      int32_t SnapMargin, uint8_t XKind, uint8_t YKind)
{
    return BuildPeriodicBarsRegion(10, XExtent, YExtent, Width, Height, SnapMargin, XKind, YKind);
}

std::optional<Region> BuildSpacedBarsRegion(int32_t XExtent, int32_t YExtent, int32_t Width, int32_t Height,
                                            int32_t SnapMargin, uint8_t XKind, uint8_t YKind)
{
    return BuildPeriodicBarsRegion(25, XExtent, YExtent, Width, Height, SnapMargin, XKind, YKind);
}

std::optional<Region> BuildRaggedBarsRegion(int32_t XExtent, int32_t YExtent, int32_t Width, int32_t Height,
                                            int32_t XKind, int32_t YKind)
{
    RegionBuilder& out = RegionBuilder::ForThisThread();
    bool made = AddRaggedPass(out, false, 5, XExtent, Width, Height, XKind);
    made = AddRaggedPass(out, true, 25, YExtent, Height, Width, YKind) || made;
    if (!made)
        return std::nullopt;
    return out.build();
}

Region BuildTriangleRegion(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3)
{
    const std::array<Point, 4> outline = TriangleOutline(X1, Y1, X2, Y2, X3, Y3);
    return Region::FromPolygon(outline);
}

}
