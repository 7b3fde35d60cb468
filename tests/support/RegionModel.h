// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "platform/graphics/Rect.h"
#include "platform/graphics/Region.h"

// The slow model of the region shapes that the tests and the fuzzer check the
// band regions against: membership of one pixel straight from the definitions.
namespace kalvio::test {

struct Shape {
    enum Kind : uint8_t { Rectangle, RoundRect, Polygon } kind = Rectangle;
    int32_t v[6] {};
    std::vector<Point> points;
};

inline Region MakeRegion(const Shape& s)
{
    switch (s.kind) {
    case Shape::Rectangle:
        return Region::FromRect(s.v[0], s.v[1], s.v[2], s.v[3]);
    case Shape::RoundRect:
        return Region::FromRoundRect(s.v[0], s.v[1], s.v[2], s.v[3], s.v[4], s.v[5]);
    case Shape::Polygon:
        return Region::FromPolygon(s.points);
    }
    return {};
}

// In doubled coordinates, so that every comparison is exact: a pixel belongs
// when its centre lies inside; polygons by the non-zero winding rule, a centre
// on an edge counting as right of it; rounded corners are quarter ellipses of
// the corner size limited to the rectangle.
inline bool ModelContains(const Shape& s, int64_t x, int64_t y)
{
    const int64_t px = 2 * x + 1, py = 2 * y + 1;
    if (s.kind == Shape::Polygon) {
        int winding = 0;
        const size_t n = s.points.size();
        for (size_t i = 0; i < n; ++i) {
            const int64_t x0 = s.points[i].x, y0 = s.points[i].y;
            const int64_t x1 = s.points[(i + 1) % n].x, y1 = s.points[(i + 1) % n].y;
            if (y0 == y1 || py <= 2 * std::min(y0, y1) || py >= 2 * std::max(y0, y1))
                continue;
            // Does the edge cross the centre's row on or left of the centre?
            const __int128 lhs = __int128(2 * x0) * (y1 - y0) + __int128(py - 2 * y0) * (x1 - x0);
            const __int128 rhs = __int128(px) * (y1 - y0);
            if (y1 > y0 ? lhs <= rhs : lhs >= rhs)
                winding += y1 > y0 ? 1 : -1;
        }
        return winding != 0;
    }
    const int64_t l = std::min(s.v[0], s.v[2]), r = std::max(s.v[0], s.v[2]);
    const int64_t t = std::min(s.v[1], s.v[3]), b = std::max(s.v[1], s.v[3]);
    if (x < l || x >= r || y < t || y >= b)
        return false;
    if (s.kind == Shape::Rectangle)
        return true;
    const int64_t cw = std::min<int64_t>(std::llabs(s.v[4]), r - l);
    const int64_t ch = std::min<int64_t>(std::llabs(s.v[5]), b - t);
    if (cw == 0 || ch == 0)
        return true;
    const int64_t cx = px < 2 * l + cw ? 2 * l + cw : px > 2 * r - cw ? 2 * r - cw : px;
    const int64_t cy = py < 2 * t + ch ? 2 * t + ch : py > 2 * b - ch ? 2 * b - ch : py;
    const __int128 dx = px - cx, dy = py - cy;
    return dx * dx * ch * ch + dy * dy * cw * cw <= __int128(cw) * cw * ch * ch;
}

// Tiling: pixel (x, y) belongs when some copy holds it, that is when the
// cell holds (x - dx, y - dy) for an offset (dx, dy) of the grid.
inline bool TiledContains(const Region& cell, std::span<const int32_t> xs, std::span<const int32_t> ys,
    int32_t x, int32_t y)
{
    auto inRange = [](int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; };
    for (int32_t dx : xs)
        for (int32_t dy : ys) {
            const int64_t cx = int64_t(x) - dx, cy = int64_t(y) - dy;
            if (inRange(cx) && inRange(cy) && cell.contains(int32_t(cx), int32_t(cy)))
                return true;
        }
    return false;
}

// The same tiling united copy by copy through the bulk builder, each copy's
// rectangles cut off at the ends of the coordinate range.
inline Region TiledByCopies(const Region& cell, std::span<const int32_t> xs, std::span<const int32_t> ys)
{
    auto moved = [](int32_t v, int32_t by) {
        return int32_t(std::clamp<int64_t>(int64_t(v) + by, INT32_MIN, INT32_MAX));
    };
    RegionBuilder copies;
    for (int32_t dx : xs)
        for (int32_t dy : ys)
            for (size_t b = 0; b < cell.bandCount(); ++b) {
                const Region::Band band = cell.band(b);
                for (const Region::Span& span : band.spans)
                    copies.addRect(moved(span.left, dx), moved(band.top, dy), moved(span.right, dx), moved(band.bottom, dy));
            }
    return copies.build();
}

}
