// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <cstdint>

namespace kalvio {

struct Point {
    int32_t x = 0;
    int32_t y = 0;
    friend constexpr bool operator==(const Point&, const Point&) = default;
};

// A rectangle of pixels: left <= x < right, top <= y < bottom.
// A rectangle whose right is not above its left (or bottom not below top) holds no pixel.
struct Rect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;

    constexpr int32_t width() const { return right - left; }
    constexpr int32_t height() const { return bottom - top; }
    constexpr bool isEmpty() const { return right <= left || bottom <= top; }
    constexpr bool contains(int32_t x, int32_t y) const { return x >= left && x < right && y >= top && y < bottom; }

    // The common pixels; an empty intersection is (0, 0, 0, 0).
    [[nodiscard]] constexpr Rect intersected(const Rect& o) const
    {
        Rect r { std::max(left, o.left), std::max(top, o.top), std::min(right, o.right), std::min(bottom, o.bottom) };
        return r.isEmpty() ? Rect {} : r;
    }
    [[nodiscard]] constexpr Rect translated(int32_t dx, int32_t dy) const
    {
        return { left + dx, top + dy, right + dx, bottom + dy };
    }
    // The same pixels with left <= right and top <= bottom.
    [[nodiscard]] constexpr Rect normalized() const
    {
        return { std::min(left, right), std::min(top, bottom), std::max(left, right), std::max(top, bottom) };
    }

    friend constexpr bool operator==(const Rect&, const Rect&) = default;
};

}
