// SPDX-License-Identifier: GPL-3.0-or-later
#include "transition/FrameMix.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/graphics/RowCopy.h"
#include "platform/graphics/RowSelect.h"

namespace kalvio {

namespace {

void CopyRows(Bitmap& frame, const Bitmap& source, int32_t top, int32_t bottom)
{
    if (top < bottom)
        std::memcpy(frame.row(top), source.row(top), size_t(bottom - top) * size_t(frame.width()) * sizeof(Pixel));
}

// A band's spans are drawn by a per-pixel mask once they come this close
// together on average: runs shorter than a cache line read both pictures
// whole anyway, and the mask spares a branch per run.
constexpr int32_t kShortRun = 16;

thread_local std::vector<Region::Span> t_spans;
thread_local std::vector<uint32_t> t_mask;

}

namespace {

// MixThroughRegion; without a picture the pixels of `clip` are left as they are.
void Mix(Bitmap& frame, const Bitmap& old, const Bitmap* picture, const Region& clip)
{
    const int32_t W = frame.width(), H = frame.height();
    int32_t done = 0; // rows above are written
    for (size_t b = 0; b < clip.bandCount(); ++b) {
        const Region::Band band = clip.band(b);
        if (band.top >= H)
            break;
        const int32_t top = std::max(band.top, done), bottom = std::min(band.bottom, H);
        if (top >= bottom)
            continue;
        CopyRows(frame, old, done, top);
        done = bottom;

        // The band's spans clipped to the frame.
        t_spans.clear();
        for (const Region::Span& s : band.spans) {
            const int32_t l = std::max(s.left, 0), r = std::min(s.right, W);
            if (l < r)
                t_spans.push_back({ l, r });
        }
        if (t_spans.empty()) {
            CopyRows(frame, old, top, bottom);
            continue;
        }
        if (t_spans.size() == 1 && t_spans[0].left == 0 && t_spans[0].right == W) {
            if (picture)
                CopyRows(frame, *picture, top, bottom);
            continue;
        }
        const int32_t first = t_spans.front().left, last = t_spans.back().right;
        const int32_t extent = last - first;
        if (picture && int64_t(t_spans.size()) * 2 * kShortRun > extent) {
            // Many short runs: one mask for the band, one select per row.
            t_mask.assign(size_t(extent), 0);
            for (const Region::Span& s : t_spans)
                std::fill(t_mask.begin() + (s.left - first), t_mask.begin() + (s.right - first), ~0u);
            for (int32_t y = top; y < bottom; ++y) {
                Pixel* d = frame.row(y);
                const Pixel* o = old.row(y);
                CopyPixels(d, o, first);
                SelectRow(d + first, o + first, picture->row(y) + first, t_mask.data(), extent);
                CopyPixels(d + last, o + last, W - last);
            }
            continue;
        }
        for (int32_t y = top; y < bottom; ++y) {
            Pixel* d = frame.row(y);
            const Pixel* o = old.row(y);
            const Pixel* n = picture ? picture->row(y) : nullptr;
            int32_t x = 0;
            for (const Region::Span& s : t_spans) {
                CopyPixels(d + x, o + x, s.left - x);
                if (n)
                    CopyPixels(d + s.left, n + s.left, s.right - s.left);
                x = s.right;
            }
            CopyPixels(d + x, o + x, W - x);
        }
    }
    CopyRows(frame, old, done, H);
}

}

void MixThroughRegion(Bitmap& frame, const Bitmap& old, const Bitmap& picture, const Region& clip)
{
    Mix(frame, old, &picture, clip);
}

void DrawOutside(Bitmap& frame, const Bitmap& old, const Region& hole)
{
    Mix(frame, old, nullptr, hole);
}

void DrawAround(Bitmap& frame, const Bitmap& old, const Rect& hole)
{
    const Rect h = hole.intersected(frame.rect());
    if (h.isEmpty()) {
        CopyRows(frame, old, 0, frame.height());
        return;
    }
    CopyRows(frame, old, 0, h.top);
    const int32_t W = frame.width();
    if (h.left > 0 || h.right < W) {
        for (int32_t y = h.top; y < h.bottom; ++y) {
            CopyPixels(frame.row(y), old.row(y), h.left);
            CopyPixels(frame.row(y) + h.right, old.row(y) + h.right, W - h.right);
        }
    }
    CopyRows(frame, old, h.bottom, frame.height());
}

Rect StretchCopyCover(const Bitmap& dst, const Rect& d, const Bitmap& src, const Rect& s)
{
    const int64_t dw = int64_t(d.right) - d.left, dh = int64_t(d.bottom) - d.top;
    const int64_t sw = int64_t(s.right) - s.left, sh = int64_t(s.bottom) - s.top;
    if (dw == 0 || dh == 0 || sw <= 0 || sh <= 0 || src.isEmpty() || dst.isEmpty())
        return {};
    const int64_t x0 = std::min<int64_t>(d.left, d.right), x1 = std::max<int64_t>(d.left, d.right);
    const int64_t y0 = std::min<int64_t>(d.top, d.bottom), y1 = std::max<int64_t>(d.top, d.bottom);
    const Rect r { int32_t(std::max<int64_t>(x0, 0)), int32_t(std::max<int64_t>(y0, 0)),
                   int32_t(std::min<int64_t>(x1, dst.width())), int32_t(std::min<int64_t>(y1, dst.height())) };
    return r.isEmpty() ? Rect {} : r;
}

}
