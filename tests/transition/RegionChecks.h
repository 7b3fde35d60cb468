// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Per-pixel checks of regions against slow models, shared by the builder and
// style tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/graphics/Rect.h"
#include "platform/graphics/Region.h"

namespace kalvio::test {

inline std::string Describe(const Rect& r)
{
    std::ostringstream s;
    s << "{" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << "}";
    return s.str();
}

// The pixels of `rects` (reversed ones ordered): the union, tested per pixel.
inline bool InAnyRect(const std::vector<Rect>& rects, int32_t x, int32_t y)
{
    return std::any_of(rects.begin(), rects.end(), [&](const Rect& r) { return r.normalized().contains(x, y); });
}

// The smallest rectangle holding all of `rects` and `extra`, grown by one pixel.
inline Rect Window(const std::vector<Rect>& rects, const Rect& extra)
{
    Rect w = extra.isEmpty() ? Rect { 0, 0, 1, 1 } : extra;
    for (const Rect& raw : rects) {
        Rect r = raw.normalized();
        if (r.isEmpty())
            continue;
        w = { std::min(w.left, r.left), std::min(w.top, r.top), std::max(w.right, r.right), std::max(w.bottom, r.bottom) };
    }
    return { w.left - 1, w.top - 1, w.right + 1, w.bottom + 1 };
}

// True when `region` holds exactly the pixels for which `model` holds, over
// `window`, and no pixel outside it. Names the first differing pixel otherwise.
inline testing::AssertionResult SamePixels(const Region& region, const std::function<bool(int32_t, int32_t)>& model,
                                           const Rect& window)
{
    uint64_t count = 0;
    for (int32_t y = window.top; y < window.bottom; ++y) {
        for (int32_t x = window.left; x < window.right; ++x) {
            bool want = model(x, y);
            count += want;
            if (region.contains(x, y) != want)
                return testing::AssertionFailure() << "pixel (" << x << ", " << y << ") should be "
                                                   << (want ? "in" : "out");
        }
    }
    if (region.area() != count)
        return testing::AssertionFailure() << "region has " << region.area() << " pixels, " << count
                                           << " of them in " << Describe(window) << "; bounds "
                                           << Describe(region.bounds());
    return testing::AssertionSuccess();
}

// The region is the union of `rects`.
inline testing::AssertionResult IsUnionOf(const Region& region, const std::vector<Rect>& rects)
{
    return SamePixels(region, [&](int32_t x, int32_t y) { return InAnyRect(rects, x, y); },
                      Window(rects, region.bounds()));
}

// As IsUnionOf, for a builder result; `none` is expected as std::nullopt.
inline testing::AssertionResult IsUnionOf(const std::optional<Region>& region,
                                          const std::optional<std::vector<Rect>>& rects)
{
    if (!region && !rects)
        return testing::AssertionSuccess();
    if (!region)
        return testing::AssertionFailure() << "no region, expected one";
    if (!rects)
        return testing::AssertionFailure() << "a region of " << region->area() << " pixels, expected none";
    return IsUnionOf(*region, *rects);
}

// The jittered pieces of one ragged bar along its growth axis, reversed
// intervals ordered: kinds 1 and 2 use j1 only; 3 and 4 one interval per jitter.
struct Interval {
    int32_t lo;
    int32_t hi;
};
inline std::vector<Interval> RaggedPiece(int32_t kind, int32_t extent, int32_t length, int32_t j1, int32_t j2)
{
    auto ordered = [](int32_t a, int32_t b) { return Interval { std::min(a, b), std::max(a, b) }; };
    switch (kind) {
    case 1: return { ordered(length - extent + j1, length) };
    case 2: return { ordered(0, extent + j1) };
    case 3: return { ordered((length - extent + j1) / 2, length / 2), ordered(length / 2, (length + extent + j2) / 2) };
    default: return { ordered(length - (extent + j1) / 2, length), ordered(0, (extent + j2) / 2) };
    }
}

// Checks a region made by one ragged pass alone, inside the frame: row bars
// (columns false) 5 rows high, which needs `lines` (the height) a multiple of 5,
// or column bars 5 + lines mod 5 wide every 25 columns with nothing between
// them. Every bar must be the same on all its lines and be a piece whose
// jitters lie in -(Range - 1) .. Range - 1, Range = length div 7 while the
// extent is below the length, else 0.
inline testing::AssertionResult RaggedPassWithinJitter(const Region& region, bool columns, int32_t extent,
                                                       int32_t length, int32_t lines, int32_t kind)
{
    if (!columns && lines % 5 != 0)
        return testing::AssertionFailure() << "row bars overlap when the height is not a multiple of 5";
    auto covered = [&](int32_t a, int32_t c) { return columns ? region.contains(c, a) : region.contains(a, c); };
    auto lineAt = [&](int32_t c) {
        std::vector<bool> line(static_cast<size_t>(length));
        for (int32_t a = 0; a < length; ++a)
            line[size_t(a)] = covered(a, c);
        return line;
    };
    const int32_t range = extent < length ? length / 7 : 0;
    const int32_t maxJitter = std::max(range - 1, 0);
    const int32_t step = columns ? 25 : 5;
    const int32_t thickness = 5 + lines % 5;
    const bool twoJitters = kind != 1 && kind != 2;

    for (int32_t c0 = 0; c0 < lines; c0 += step) {
        const std::vector<bool> first = lineAt(c0);
        for (int32_t c = c0 + 1; c < std::min(c0 + thickness, lines); ++c)
            if (lineAt(c) != first)
                return testing::AssertionFailure() << "bar at " << c0 << " differs on line " << c;
        for (int32_t c = c0 + thickness; c < std::min(c0 + step, lines); ++c)
            if (lineAt(c) != std::vector<bool>(static_cast<size_t>(length)))
                return testing::AssertionFailure() << "line " << c << " between bars is covered";
        bool found = false;
        for (int32_t j1 = -maxJitter; j1 <= maxJitter && !found; ++j1) {
            for (int32_t j2 = twoJitters ? -maxJitter : 0; j2 <= (twoJitters ? maxJitter : 0) && !found; ++j2) {
                std::vector<Interval> piece = RaggedPiece(kind, extent, length, j1, j2);
                std::vector<bool> line(static_cast<size_t>(length));
                for (int32_t a = 0; a < length; ++a)
                    line[size_t(a)] = std::any_of(piece.begin(), piece.end(),
                                                  [&](const Interval& i) { return a >= i.lo && a < i.hi; });
                found = line == first;
            }
        }
        if (!found) {
            std::ostringstream s;
            for (bool b : first)
                s << (b ? '#' : '.');
            return testing::AssertionFailure() << "bar at " << c0 << " is no piece within jitter " << maxJitter
                                               << ": " << s.str();
        }
    }
    return testing::AssertionSuccess();
}

// Whether the centre of pixel (x, y) lies inside the closed polygon by the
// winding rule; nullopt when it lies on an edge, where either answer is right.
// Works in half-pixel units so that every test is exact.
inline std::optional<bool> CentreInside(const std::vector<Point>& outline, int32_t x, int32_t y)
{
    const int64_t px = 2 * int64_t(x) + 1, py = 2 * int64_t(y) + 1;
    int winding = 0;
    for (size_t k = 0; k + 1 < outline.size(); ++k) {
        const int64_t ax = 2 * int64_t(outline[k].x), ay = 2 * int64_t(outline[k].y);
        const int64_t bx = 2 * int64_t(outline[k + 1].x), by = 2 * int64_t(outline[k + 1].y);
        const int64_t side = (bx - ax) * (py - ay) - (px - ax) * (by - ay);
        if (side == 0 && px >= std::min(ax, bx) && px <= std::max(ax, bx) && py >= std::min(ay, by)
            && py <= std::max(ay, by))
            return std::nullopt;
        // py is odd and vertex coordinates even, so no vertex lies on the scan line.
        if (ay < py && by > py && side > 0)
            ++winding;
        else if (ay > py && by < py && side < 0)
            --winding;
    }
    return winding != 0;
}

}
