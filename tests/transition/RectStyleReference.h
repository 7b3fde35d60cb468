// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A slow, literal model of the rectangle styles 1..57 for tests: every copy of a
// frame written out as its rectangles, row by row, and a per-pixel
// nearest-pixel copy that applies them. Independent of the style code.

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Rect.h"
#include "transition/StyleFrame.h"

namespace kalvio::reference {

struct Copy {
    Rect dst;
    Rect src;
    Mirror mirror = Mirror::None;
};

inline int32_t Fold(int32_t L, int32_t P)
{
    if (P < L / 5)
        return P / 2;
    if (L - P < L / 5)
        return (L - P) / 2;
    return L / 10;
}

// Every copy of one frame in drawing order; the last is the final copy.
inline std::vector<Copy> Copies(int style, int32_t W, int32_t H, int32_t PX, int32_t PY)
{
    const Rect all { 0, 0, W, H };
    const int32_t FX = Fold(W, PX), FY = Fold(H, PY);
    using M = Mirror;
    switch (style) {
    case 1: return { { { W - PX, 0, W, H }, all } };
    case 2: return { { { 0, 0, PX, H }, all } };
    case 3: return { { { W - PX, 0, 2 * W - PX, H }, all } };
    case 4: return { { { PX - W, 0, PX, H }, all } };
    case 5: return { { { 0, 0, PX, H }, { 0, 0, PX, H } } };
    case 6: return { { { W - PX, 0, W, H }, { W - PX, 0, W, H } } };
    case 7: return { { { 0, 0, 2 * W - PX, H }, { 0, 0, PX, H } } };
    case 8: return { { { PX - W, 0, W, H }, { W - PX, 0, W, H } } };
    case 9: return { { { PX - W, 0, 2 * W - PX, H }, { (W - PX) / 2, 0, (W + PX) / 2, H } } };
    case 10: return { { { (W - PX) / 2, 0, (W + PX) / 2, H }, all } };
    case 11: return { { { (W - PX) / 2, 0, (W + PX) / 2, H }, { (W - PX) / 2, 0, (W + PX) / 2, H } } };
    case 12: return { { { 0, 0, PX / 2 + 1, H }, { 0, 0, PX / 2 + 1, H } },
                      { { W - PX / 2 - 1, 0, W, H }, { W - PX / 2 - 1, 0, W, H } } };
    case 13: return { { { 0, 0, PX / 2 + 1, H }, { 0, 0, W / 2 + 1, H } },
                      { { W - PX / 2 - 1, 0, W, H }, { W / 2, 0, W, H } } };
    case 14: return { { { PX, 0, PX + FX, H }, { PX + FX, 0, PX + 2 * FX, H }, M::LeftRight },
                      { { 0, 0, PX, H }, { 0, 0, PX, H } } };
    case 15: return { { { W - PX - FX, 0, W - PX, H }, { W - PX - 2 * FX, 0, W - PX - FX, H }, M::LeftRight },
                      { { W - PX, 0, W, H }, { W - PX, 0, W, H } } };
    case 16: return { { { 0, 0, PX, H }, { 0, 0, PX, H } },
                      { { PX, 0, W, H }, { PX, 0, PX + W / 20, H } } };
    case 17: return { { { W - PX, 0, W, H }, { W - PX, 0, W, H } },
                      { { 0, 0, W - PX, H }, { W - PX - W / 20, 0, W - PX, H } } };
    case 18: return { { { 0, H - PY, W, H }, all } };
    case 19: return { { { 0, 0, W, PY }, all } };
    case 20: return { { { 0, H - PY, W, 2 * H - PY }, all } };
    case 21: return { { { 0, PY - H, W, PY }, all } };
    case 22: return { { { 0, 0, W, PY }, { 0, 0, W, PY } } };
    case 23: return { { { 0, H - PY, W, H }, { 0, H - PY, W, H } } };
    case 24: return { { { 0, 0, W, 2 * H - PY }, { 0, 0, W, PY } } };
    case 25: return { { { 0, PY - H, W, H }, { 0, H - PY, W, H } } };
    case 26: return { { { 0, PY - H, W, 2 * H - PY }, { 0, (H - PY) / 2, W, (H + PY) / 2 } } };
    case 27: return { { { 0, (H - PY) / 2, W, (H + PY) / 2 }, all } };
    case 28: return { { { 0, (H - PY) / 2, W, (H + PY) / 2 }, { 0, (H - PY) / 2, W, (H + PY) / 2 } } };
    case 29: return { { { 0, 0, W, PY / 2 + 1 }, { 0, 0, W, PY / 2 + 1 } },
                      { { 0, H - PY / 2 - 1, W, H }, { 0, H - PY / 2 - 1, W, H } } };
    case 30: return { { { 0, 0, W, PY / 2 + 1 }, { 0, 0, W, H / 2 + 1 } },
                      { { 0, H - PY / 2 - 1, W, H }, { 0, H / 2, W, H } } };
    case 31: return { { { 0, PY, W, PY + FY }, { 0, PY + FY, W, PY + 2 * FY }, M::TopBottom },
                      { { 0, 0, W, PY }, { 0, 0, W, PY } } };
    case 32: return { { { 0, H - PY - FY, W, H - PY }, { 0, H - PY - 2 * FY, W, H - PY - FY }, M::TopBottom },
                      { { 0, H - PY, W, H }, { 0, H - PY, W, H } } };
    case 33: return { { { 0, 0, W, PY }, { 0, 0, W, PY } },
                      { { 0, PY, W, H }, { 0, PY, W, PY + H / 20 } } };
    case 34: return { { { 0, H - PY, W, H }, { 0, H - PY, W, H } },
                      { { 0, 0, W, H - PY }, { 0, H - PY - H / 20, W, H - PY } } };
    case 35: return { { { W - PX, H - PY, W, H }, all } };
    case 36: return { { { W - PX, 0, W, PY }, all } };
    case 37: return { { { 0, 0, PX, PY }, all } };
    case 38: return { { { 0, H - PY, PX, H }, all } };
    case 39: return { { { W - PX, H - PY, 2 * W - PX, 2 * H - PY }, all } };
    case 40: return { { { W - PX, PY - H, 2 * W - PX, PY }, all } };
    case 41: return { { { PX - W, PY - H, PX, PY }, all } };
    case 42: return { { { PX - W, H - PY, PX, 2 * H - PY }, all } };
    case 43: return { { { 0, 0, PX, PY }, { 0, 0, PX, PY } } };
    case 44: return { { { 0, H - PY, PX, H }, { 0, H - PY, PX, H } } };
    case 45: return { { { W - PX, H - PY, W, H }, { W - PX, H - PY, W, H } } };
    case 46: return { { { W - PX, 0, W, PY }, { W - PX, 0, W, PY } } };
    case 47: return { { { 0, 0, 2 * W - PX, 2 * H - PY }, { 0, 0, PX, PY } } };
    case 48: return { { { 0, PY - H, 2 * W - PX, H }, { 0, H - PY, PX, H } } };
    case 49: return { { { PX - W, PY - H, W, H }, { W - PX, H - PY, W, H } } };
    case 50: return { { { PX - W, 0, W, 2 * H - PY }, { W - PX, 0, W, PY } } };
    case 51: return { { { PX - W, PY - H, 2 * W - PX, 2 * H - PY },
                        { (W - PX) / 2, (H - PY) / 2, (W + PX) / 2, (H + PY) / 2 } } };
    case 52: return { { { (W - PX) / 2, (H - PY) / 2, (W + PX) / 2, (H + PY) / 2 }, all } };
    case 53: return { { { (W - PX) / 2, (H - PY) / 2, (W + PX) / 2, (H + PY) / 2 },
                        { (W - PX) / 2, (H - PY) / 2, (W + PX) / 2, (H + PY) / 2 } } };
    case 54: return { { { 0, 0, W, PY / 2 }, { 0, 0, W, PY / 2 } },
                      { { 0, H - PY / 2, W, H }, { 0, H - PY / 2, W, H } },
                      { { 0, 0, PX / 2, H }, { 0, 0, PX / 2, H } },
                      { { W - PX / 2, 0, W, H }, { W - PX / 2, 0, W, H } } };
    case 55: return { { { 0, 0, PX / 2 + 1, PY / 2 + 1 }, { 0, 0, PX / 2 + 1, PY / 2 + 1 } },
                      { { 0, H - PY / 2 - 1, PX / 2 + 1, H }, { 0, H - PY / 2 - 1, PX / 2 + 1, H } },
                      { { W - PX / 2 - 1, H - PY / 2 - 1, W, H }, { W - PX / 2 - 1, H - PY / 2 - 1, W, H } },
                      { { W - PX / 2 - 1, 0, W, PY / 2 + 1 }, { W - PX / 2 - 1, 0, W, PY / 2 + 1 } } };
    case 56: return { { { 0, 0, PX / 2 + 1, PY / 2 + 1 }, { 0, 0, W / 2 + 1, H / 2 + 1 } },
                      { { 0, H - PY / 2, PX / 2 + 1, H }, { 0, H / 2 + 1, W / 2 + 1, H } },
                      { { W - PX / 2, H - PY / 2, W, H }, { W / 2 + 1, H / 2 + 1, W, H } },
                      { { W - PX / 2, 0, W, PY / 2 + 1 }, { W / 2 + 1, 0, W, H / 2 + 1 } } };
    case 57: return { { { (PX - W) / 2, 0, PX / 2 + 1, H / 2 + 1 }, { 0, 0, W / 2 + 1, H / 2 + 1 } },
                      { { W / 2 - 1, (PY - H) / 2, W, PY / 2 + 1 }, { W / 2 - 1, 0, W, H / 2 + 1 } },
                      { { W - PX / 2, H / 2 - 1, W + (W - PX) / 2, H }, { W / 2 + 1, H / 2 - 1, W, H } },
                      { { 0, H - PY / 2, W / 2 + 1, H + (H - PY) / 2 }, { 0, H / 2 + 1, W / 2 + 1, H } } };
    default: return {};
    }
}

// One copy, pixel by pixel: destination pixel i of a span n long takes source
// pixel floor(i * sourceLength / n), read from the nearest edge pixel where it
// falls outside the picture. A mirrored copy covers the destination widened by
// one pixel on each side, walked from the far end, from the source cut to the
// picture. Nothing is drawn from an empty source.
inline void Apply(Bitmap& frame, const Bitmap& picture, const Copy& c)
{
    Rect d = c.dst;
    Rect s = c.src;
    const bool flipX = c.mirror == Mirror::LeftRight, flipY = c.mirror == Mirror::TopBottom;
    if (c.mirror != Mirror::None) {
        s = s.intersected(picture.rect());
        if (flipX)
            d = { d.left - 1, d.top, d.right + 1, d.bottom };
        else
            d = { d.left, d.top - 1, d.right, d.bottom + 1 };
    }
    if (s.width() <= 0 || s.height() <= 0 || d.width() <= 0 || d.height() <= 0)
        return;
    const int64_t dw = d.width(), dh = d.height(), sw = s.width(), sh = s.height();
    for (int32_t y = 0; y < frame.height(); ++y)
        for (int32_t x = 0; x < frame.width(); ++x) {
            if (!d.contains(x, y))
                continue;
            const int64_t i = flipX ? d.right - 1 - x : x - d.left;
            const int64_t j = flipY ? d.bottom - 1 - y : y - d.top;
            const int64_t sx = std::clamp<int64_t>(s.left + i * sw / dw, 0, picture.width() - 1);
            const int64_t sy = std::clamp<int64_t>(s.top + j * sh / dh, 0, picture.height() - 1);
            frame.setPixel(x, y, picture.pixel(int32_t(sx), int32_t(sy)));
        }
}

}
