// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/graphics/BitmapDraw.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/graphics/GatherRow.h"
#include "platform/graphics/Region.h"
#include "platform/graphics/RowCopy.h"

namespace kalvio {

namespace {

// Source index of each destination offset of one axis of a stretch copy,
// clamped into the source. `first` .. `last` - 1 are the destination
// coordinates to fill; the copy covers `origin` .. `origin` + `length` - 1,
// mirrored when `mirror`. Steps the quotient floor(i * srcLength / length)
// instead of dividing for every entry.
void MapAxis(std::vector<int32_t>& out, int64_t first, int64_t last, int64_t origin, int64_t length, bool mirror,
             int64_t srcOrigin, int64_t srcLength, int32_t srcLimit)
{
    size_t n = size_t(last - first);
    out.resize(n);
    if (n == 0)
        return;
    // Offsets i in the copy: first maps to i = first - origin (or the mirror of it).
    int64_t iFirst = mirror ? origin + length - 1 - (last - 1) : first - origin;
    int64_t whole = srcLength / length, part = srcLength % length;
    int64_t q = iFirst * srcLength / length, r = iFirst * srcLength % length;
    for (size_t k = 0; k < n; ++k) {
        int64_t v = std::clamp<int64_t>(srcOrigin + q, 0, srcLimit - 1);
        out[mirror ? n - 1 - k : k] = int32_t(v);
        q += whole;
        r += part;
        if (r >= length) {
            r -= length;
            ++q;
        }
    }
}

// Scratch tables of the stretch copy, kept between calls so that a frame
// allocates nothing once the tables have grown to the frame size.
thread_local std::vector<int32_t> t_columns;
thread_local std::vector<int32_t> t_rows;
thread_local std::vector<Region::Span> t_spans;

}

void Draw(Bitmap& dst, int32_t x, int32_t y, const Bitmap& src)
{
    auto end = [](int32_t origin, int32_t size) { return int32_t(std::min<int64_t>(int64_t(origin) + size, INT32_MAX)); };
    Rect target = Rect { x, y, end(x, src.width()), end(y, src.height()) }.intersected(dst.rect());
    if (target.isEmpty())
        return;
    if (target.left == 0 && target.width() == dst.width() && src.width() == dst.width()) {
        // Whole rows on both sides are contiguous: one copy.
        std::memcpy(dst.row(target.top), src.row(target.top - y), size_t(target.height()) * size_t(dst.width()) * sizeof(Pixel));
        return;
    }
    for (int32_t ty = target.top; ty < target.bottom; ++ty)
        std::memcpy(dst.row(ty) + target.left, src.row(ty - y) + (target.left - x), size_t(target.width()) * sizeof(Pixel));
}

void FillRect(Bitmap& dst, const Rect& r, Pixel colour)
{
    Rect target = r.intersected(dst.rect());
    for (int32_t y = target.top; y < target.bottom; ++y)
        std::fill_n(dst.row(y) + target.left, target.width(), colour);
}

void StretchCopy(Bitmap& dst, int32_t dx, int32_t dy, int32_t dw, int32_t dh,
                 const Bitmap& src, int32_t sx, int32_t sy, int32_t sw, int32_t sh)
{
    if (dw == 0 || dh == 0 || sw <= 0 || sh <= 0 || src.isEmpty() || dst.isEmpty())
        return;
    // A negative size covers the |size| pixels before the origin, mirrored.
    const bool mirrorX = dw < 0, mirrorY = dh < 0;
    const int64_t aw = mirrorX ? -int64_t(dw) : dw, ah = mirrorY ? -int64_t(dh) : dh;
    const int64_t x0 = mirrorX ? int64_t(dx) + dw : dx, y0 = mirrorY ? int64_t(dy) + dh : dy;
    const int64_t cx0 = std::max<int64_t>(x0, 0), cx1 = std::min<int64_t>(x0 + aw, dst.width());
    const int64_t cy0 = std::max<int64_t>(y0, 0), cy1 = std::min<int64_t>(y0 + ah, dst.height());
    if (cx0 >= cx1 || cy0 >= cy1)
        return;

    const int32_t count = int32_t(cx1 - cx0);
    MapAxis(t_rows, cy0, cy1, y0, ah, mirrorY, sy, sh, src.height());
    // Same width, not mirrored and wholly inside the source: rows are plain copies.
    const int64_t firstColumn = sx + (cx0 - x0);
    const bool unscaledX = !mirrorX && sw == aw && firstColumn >= 0 && firstColumn + count <= src.width();
    if (!unscaledX)
        MapAxis(t_columns, cx0, cx1, x0, aw, mirrorX, sx, sw, src.width());

    const int32_t* columns = t_columns.data();
    const GatherRowKernel gatherRow = unscaledX ? nullptr : ChosenGatherRow();
    for (int64_t y = cy0; y < cy1; ++y) {
        Pixel* d = dst.row(int32_t(y)) + cx0;
        int32_t sourceRow = t_rows[size_t(y - cy0)];
        if (y > cy0 && sourceRow == t_rows[size_t(y - cy0 - 1)]) {
            // Enlarged vertically: this row repeats the one above.
            std::memcpy(d, d - dst.width(), size_t(count) * sizeof(Pixel));
            continue;
        }
        const Pixel* s = src.row(sourceRow);
        if (unscaledX) {
            std::memcpy(d, s + firstColumn, size_t(count) * sizeof(Pixel));
        } else {
            // Rows of a large source are far apart: fetch the row two steps
            // ahead while gathering this one.
            size_t ahead = std::min(size_t(y - cy0) + 2, t_rows.size() - 1);
            gatherRow(d, s, src.row(t_rows[ahead]), columns, count, src.width());
        }
    }
}

void DrawThroughRegion(Bitmap& dst, const Bitmap& src, const Region& clip)
{
    const Rect limit = dst.rect().intersected(src.rect());
    if (limit.isEmpty())
        return;
    // Bands above the bitmaps are skipped by a binary search.
    size_t lo = 0, hi = clip.bandCount();
    while (lo < hi) {
        size_t mid = (lo + hi) / 2;
        if (clip.band(mid).bottom <= limit.top)
            lo = mid + 1;
        else
            hi = mid;
    }
    for (size_t b = lo; b < clip.bandCount(); ++b) {
        Region::Band band = clip.band(b);
        const int32_t top = std::max(band.top, limit.top), bottom = std::min(band.bottom, limit.bottom);
        if (top >= bottom) {
            if (band.top >= limit.bottom)
                break;
            continue;
        }
        // The band's spans clipped to the bitmaps once, then every row runs the list.
        t_spans.clear();
        auto span = std::upper_bound(band.spans.begin(), band.spans.end(), limit.left,
            [](int32_t v, const Region::Span& s) { return v < s.right; });
        for (; span != band.spans.end() && span->left < limit.right; ++span)
            t_spans.push_back({ std::max(span->left, limit.left), std::min(span->right, limit.right) });
        if (t_spans.empty())
            continue;
        if (t_spans.size() == 1 && t_spans[0].left == 0 && t_spans[0].right == dst.width() && src.width() == dst.width()) {
            // Full rows: one copy for the whole band.
            std::memcpy(dst.row(top), src.row(top), size_t(bottom - top) * size_t(dst.width()) * sizeof(Pixel));
            continue;
        }
        for (int32_t y = top; y < bottom; ++y) {
            Pixel* d = dst.row(y);
            const Pixel* s = src.row(y);
            for (const Region::Span& sp : t_spans)
                CopyPixels(d + sp.left, s + sp.left, sp.right - sp.left);
        }
    }
}

}
