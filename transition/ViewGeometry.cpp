// SPDX-License-Identifier: GPL-3.0-or-later
#include "transition/ViewGeometry.h"

#include <algorithm>
#include <cmath>

#include "platform/graphics/Arith.h"

namespace kalvio {

Rect FitRect(const Rect& inner, const Rect& bounds)
{
    const int32_t iw = inner.width(), ih = inner.height();
    const int32_t bw = bounds.width(), bh = bounds.height();
    int32_t w, h;
    if (double(bh) / ih > double(bw) / iw) {
        w = bw;
        h = MulDiv(ih, bw, iw);
    } else {
        w = MulDiv(iw, bh, ih);
        h = bh;
    }
    return Rect { 0, 0, w, h }.translated(bounds.left + (bw - w) / 2, bounds.top + (bh - h) / 2);
}

Rect PictureRectFor(int32_t frameWidth, int32_t frameHeight, int32_t clientWidth, int32_t clientHeight, bool center)
{
    Rect r { 0, 0, frameWidth, frameHeight };
    if (center)
        r = r.translated((clientWidth - frameWidth) / 2, (clientHeight - frameHeight) / 2);
    return r;
}

Rect FrameTarget(const FramePlacement& p)
{
    if (!p.stretch)
        return p.pictureRect;
    if (p.stretchFine)
        return FitRect(p.pictureRect, p.client);
    return p.client;
}

Rect MapFrameRect(const Rect& r, const FramePlacement& p)
{
    const Rect& pic = p.pictureRect;
    if (p.stretch) {
        const Rect t = FrameTarget(p);
        const int32_t fw = pic.width(), fh = pic.height();
        const int32_t tw = t.width(), th = t.height();
        return { t.left + MulDiv(r.left, tw, fw), t.top + MulDiv(r.top, th, fh),
                 t.left + MulDiv(r.right, tw, fw), t.top + MulDiv(r.bottom, th, fh) };
    }
    Rect m = p.center ? r.translated(pic.left, pic.top) : r;
    return { std::max(m.left, pic.left), std::max(m.top, pic.top),
             std::min(m.right, pic.right), std::min(m.bottom, pic.bottom) };
}

namespace {
// Keeps a quotient that is whole but for rounding (1280.0000000001) whole.
constexpr double kSlack = 1e-9;

int32_t RoundedEdge(int32_t edge, double ratio)
{
    return int32_t(std::lround(edge * ratio));
}
}

Rect DeviceRect(const Rect& logical, double ratio)
{
    return { RoundedEdge(logical.left, ratio), RoundedEdge(logical.top, ratio), RoundedEdge(logical.right, ratio),
             RoundedEdge(logical.bottom, ratio) };
}

Rect LogicalCover(const Rect& device, double ratio)
{
    auto down = [ratio](int32_t edge) { return int32_t(std::floor(edge / ratio + kSlack)); };
    auto up = [ratio](int32_t edge) { return int32_t(std::ceil(edge / ratio - kSlack)); };
    return { down(device.left), down(device.top), up(device.right), up(device.bottom) };
}

}
