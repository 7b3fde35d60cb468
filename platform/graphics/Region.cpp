// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/graphics/Region.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdlib>
#include <limits>

// Every constructor emits its shape band by band (one band per row where the
// outline is slanted or curved) through appendSpan/endBand, which keep the
// unique form: no empty band, no touching spans, equal touching bands merged.
namespace kalvio {

namespace {

using Int128 = __int128;
using UInt128 = unsigned __int128;

// Which counts of "inside a, inside b" (0, 1 or 2) a mode keeps: one sweep,
// the operation as data.
struct InsideRange {
    int lo;
    int hi;
};
constexpr InsideRange kInside[] = {
    { 3, 0 }, // unused
    { 2, 2 }, // And
    { 1, 2 }, // Or
    { 1, 1 }, // Xor
};
static_assert(static_cast<int>(CombineMode::And) == 1 && static_cast<int>(CombineMode::Or) == 2
    && static_cast<int>(CombineMode::Xor) == 3);

constexpr int64_t FloorHalf(int64_t v) { return v >> 1; }
constexpr int64_t CeilHalf(int64_t v) { return -((-v) >> 1); }

}

// ---- writing in band order ----

void Region::appendSpan(size_t first, int32_t left, int32_t right)
{
    if (left >= right)
        return;
    if (m_spans.size() > first && m_spans.back().right >= left) {
        m_spans.back().right = std::max(m_spans.back().right, right);
        return;
    }
    m_spans.push_back({ left, right });
}

void Region::endBand(int32_t top, int32_t bottom, size_t first)
{
    size_t count = m_spans.size() - first;
    if (count == 0 || top >= bottom) {
        m_spans.resize(first);
        return;
    }
    if (!m_bands.empty()) {
        BandRecord& above = m_bands.back();
        if (above.bottom == top && above.spanCount == count
            && std::equal(m_spans.begin() + above.firstSpan, m_spans.begin() + above.firstSpan + count, m_spans.begin() + first)) {
            above.bottom = bottom;
            m_spans.resize(first);
            return;
        }
    }
    m_bands.push_back({ top, bottom, uint32_t(first), uint32_t(count) });
}

bool Region::isValid() const
{
    size_t next = 0;
    for (size_t i = 0; i < m_bands.size(); ++i) {
        const BandRecord& b = m_bands[i];
        if (b.top >= b.bottom || b.spanCount == 0 || b.firstSpan != next)
            return false;
        next += b.spanCount;
        if (next > m_spans.size())
            return false;
        for (size_t s = b.firstSpan; s < next; ++s) {
            if (m_spans[s].left >= m_spans[s].right)
                return false;
            if (s > b.firstSpan && m_spans[s - 1].right >= m_spans[s].left)
                return false;
        }
        if (i > 0) {
            const BandRecord& a = m_bands[i - 1];
            if (a.bottom > b.top)
                return false;
            if (a.bottom == b.top && a.spanCount == b.spanCount
                && std::equal(m_spans.begin() + a.firstSpan, m_spans.begin() + a.firstSpan + a.spanCount, m_spans.begin() + b.firstSpan))
                return false;
        }
    }
    return next == m_spans.size();
}

void Region::checkAfterOperation() const
{
    assert(isValid());
}

Region& Region::WorkRegion()
{
    thread_local Region work;
    work.m_bands.clear();
    work.m_spans.clear();
    return work;
}

Region Region::exactCopy() const
{
    Region copy;
    copy.m_bands.assign(m_bands.begin(), m_bands.end());
    copy.m_spans.assign(m_spans.begin(), m_spans.end());
    copy.checkAfterOperation();
    return copy;
}

// ---- constructors ----

Region Region::FromRect(int32_t l, int32_t t, int32_t r, int32_t b)
{
    Region out;
    if (l > r)
        std::swap(l, r);
    if (t > b)
        std::swap(t, b);
    if (l == r || t == b)
        return out;
    out.m_spans.push_back({ l, r });
    out.m_bands.push_back({ t, b, 0, 1 });
    return out;
}

Region Region::FromRoundRect(int32_t l, int32_t t, int32_t r, int32_t b, int32_t cornerWidth, int32_t cornerHeight)
{
    if (l > r)
        std::swap(l, r);
    if (t > b)
        std::swap(t, b);
    int64_t width = int64_t(r) - l, height = int64_t(b) - t;
    // Negative corner sizes count by their magnitude (at most 2^31, so the
    // 128-bit products below are exact).
    int64_t cw = std::min<int64_t>(std::llabs(cornerWidth), width);
    int64_t ch = std::min<int64_t>(std::llabs(cornerHeight), height);
    if (cw == 0 || ch == 0 || width == 0 || height == 0)
        return FromRect(l, t, r, b);

    // In doubled coordinates the top-left corner ellipse has its centre at
    // (2l + cw, 2t + ch) and radii cw, ch; pixel (x, y) has its centre at
    // (2x + 1, 2y + 1). A row whose centre lies above the top centre line (or
    // below the bottom one) keeps the columns with |X| <= xMax, X measured
    // from the nearer corner centre, where xMax^2 ch^2 <= cw^2 (ch^2 - Y^2).
    Region& out = WorkRegion();
    const int64_t topLine = 2 * int64_t(t) + ch, bottomLine = 2 * int64_t(b) - ch;
    const int64_t leftCentre = 2 * int64_t(l) + cw, rightCentre = 2 * int64_t(r) - cw;
    const UInt128 ch2 = UInt128(ch) * UInt128(ch);
    auto emitRow = [&](int32_t y, int64_t yDoubled) {
        int64_t dy = yDoubled < topLine ? topLine - yDoubled : yDoubled - bottomLine;
        UInt128 limit = UInt128(cw) * UInt128(cw) * (ch2 - UInt128(dy) * UInt128(dy));
        double estimate = double(cw) * std::sqrt(std::max(0.0, 1.0 - double(dy) * double(dy) / (double(ch) * double(ch))));
        int64_t xMax = std::clamp<int64_t>(int64_t(estimate), 0, cw);
        while (xMax > 0 && UInt128(xMax) * UInt128(xMax) * ch2 > limit)
            --xMax;
        while (xMax < cw && UInt128(xMax + 1) * UInt128(xMax + 1) * ch2 <= limit)
            ++xMax;
        int64_t left = std::max<int64_t>(l, CeilHalf(leftCentre - xMax - 1));
        int64_t right = std::min<int64_t>(r, FloorHalf(rightCentre + xMax - 1) + 1);
        size_t first = out.m_spans.size();
        if (left < right)
            out.appendSpan(first, int32_t(left), int32_t(right));
        out.endBand(y, y + 1, first);
    };
    // Top corner rows: 2y + 1 < topLine. Rows beyond the row limit are left out.
    const int64_t rowEnd = std::min<int64_t>(b, kPolygonRowLimit);
    int64_t y = std::max<int64_t>(t, -kPolygonRowLimit);
    for (; y < rowEnd && 2 * y + 1 < topLine; ++y)
        emitRow(int32_t(y), 2 * y + 1);
    // Middle rows: the full width.
    int64_t middleEnd = std::min<int64_t>(rowEnd, FloorHalf(bottomLine - 1) + 1);
    if (middleEnd > y) {
        size_t first = out.m_spans.size();
        out.appendSpan(first, l, r);
        out.endBand(int32_t(y), int32_t(middleEnd), first);
        y = middleEnd;
    }
    for (; y < rowEnd; ++y)
        emitRow(int32_t(y), 2 * y + 1);
    return out.exactCopy();
}

namespace {

// One polygon edge that crosses pixel-centre rows. Its crossing column at the
// current row is q = ceil(N / D) with N = 2 x0 dy + (2y + 1 - 2 y0) dx - dy and
// D = 2 dy, kept as N = q D - r (0 <= r < D) and stepped row by row without
// dividing: N grows by 2 dx = stepQ D + stepR per row.
struct PolyEdge {
    int64_t x0, y0; // upper end
    int64_t dx, dy; // dy > 0
    int32_t top, bottom; // rows whose centre lies strictly between the ends
    int32_t winding;
    int64_t q, r, stepQ, stepR;

    template <typename T>
    void start(int32_t y)
    {
        T n = T(2) * T(x0) * T(dy) + (T(2) * T(y) + 1 - T(2) * T(y0)) * T(dx) - T(dy);
        T d = T(2) * T(dy);
        T quotient = n / d;
        if (n % d != 0 && n > 0)
            ++quotient;
        q = int64_t(quotient);
        r = int64_t(quotient * d - n);
        int64_t step = 2 * dx, d64 = 2 * dy;
        stepQ = step / d64;
        if (step % d64 != 0 && step < 0)
            --stepQ;
        stepR = step - stepQ * d64;
    }
    void advance()
    {
        q += stepQ;
        r -= stepR;
        if (r < 0) {
            r += 2 * dy;
            ++q;
        }
    }
};

struct Crossing {
    int32_t x;
    int32_t winding;
};

struct PolygonScratch {
    std::vector<PolyEdge> edges;
    std::vector<int32_t> rows;
    std::vector<PolyEdge*> active;
    std::vector<Crossing> crossings;
};
thread_local PolygonScratch t_polygon;

}

void Region::ScanPolygon(Region& out, std::span<const Point> points)
{
    PolygonScratch& scratch = t_polygon;
    std::vector<PolyEdge>& edges = scratch.edges;
    edges.clear();
    int64_t largest = 0;
    for (size_t i = 0; i < points.size(); ++i) {
        Point a = points[i], b = points[(i + 1) % points.size()];
        largest = std::max<int64_t>({ largest, std::llabs(a.x), std::llabs(a.y) });
        if (a.y == b.y)
            continue;
        int32_t winding = 1;
        if (a.y > b.y) {
            std::swap(a, b);
            winding = -1;
        }
        int32_t top = std::clamp(a.y, -kPolygonRowLimit, kPolygonRowLimit);
        int32_t bottom = std::clamp(b.y, -kPolygonRowLimit, kPolygonRowLimit);
        if (top < bottom)
            edges.push_back({ a.x, a.y, int64_t(b.x) - a.x, int64_t(b.y) - a.y, top, bottom, winding, 0, 0, 0, 0 });
    }
    if (edges.empty())
        return;
    // 64-bit products suffice while every coordinate stays below 2^28.
    const bool wide = largest >= (int64_t(1) << 28);

    std::sort(edges.begin(), edges.end(), [](const PolyEdge& a, const PolyEdge& b) { return a.top < b.top; });
    std::vector<int32_t>& rows = scratch.rows;
    rows.clear();
    for (const PolyEdge& e : edges) {
        rows.push_back(e.top);
        rows.push_back(e.bottom);
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());

    std::vector<PolyEdge*>& active = scratch.active;
    std::vector<Crossing>& crossings = scratch.crossings;
    active.clear();
    size_t nextEdge = 0;
    auto emitRows = [&](int32_t y, int32_t yEnd) {
        if (active.size() == 2) {
            // Two edges of a closed outline cross a row with opposite windings:
            // the inside lies between them (the common case of convex shapes).
            int32_t a = int32_t(active[0]->q), b = int32_t(active[1]->q);
            size_t first = out.m_spans.size();
            out.appendSpan(first, std::min(a, b), std::max(a, b));
            out.endBand(y, yEnd, first);
            return;
        }
        crossings.clear();
        for (const PolyEdge* e : active) {
            Crossing c { int32_t(e->q), e->winding };
            size_t k = crossings.size();
            crossings.push_back(c);
            for (; k > 0 && crossings[k - 1].x > c.x; --k)
                crossings[k] = crossings[k - 1];
            crossings[k] = c;
        }
        size_t first = out.m_spans.size();
        int32_t winding = 0;
        int32_t start = 0;
        for (size_t i = 0; i < crossings.size();) {
            int32_t x = crossings[i].x;
            bool wasInside = winding != 0;
            for (; i < crossings.size() && crossings[i].x == x; ++i)
                winding += crossings[i].winding;
            bool inside = winding != 0;
            if (inside && !wasInside)
                start = x;
            else if (!inside && wasInside)
                out.appendSpan(first, start, x);
        }
        out.endBand(y, yEnd, first);
    };
    for (size_t k = 0; k + 1 < rows.size(); ++k) {
        const int32_t y = rows[k], yEnd = rows[k + 1];
        std::erase_if(active, [y](const PolyEdge* e) { return e->bottom <= y; });
        for (; nextEdge < edges.size() && edges[nextEdge].top == y; ++nextEdge) {
            PolyEdge& e = edges[nextEdge];
            if (wide)
                e.start<Int128>(y);
            else
                e.start<int64_t>(y);
            active.push_back(&e);
        }
        if (active.empty())
            continue;
        // Between two edge ends, vertical edges keep every row alike: one band.
        bool vertical = std::all_of(active.begin(), active.end(), [](const PolyEdge* e) { return e->dx == 0; });
        if (vertical) {
            emitRows(y, yEnd);
            continue;
        }
        for (int32_t row = y; row < yEnd; ++row) {
            emitRows(row, row + 1);
            for (PolyEdge* e : active)
                e->advance();
        }
    }
}

Region Region::FromPolygon(std::span<const Point> points)
{
    Region& out = WorkRegion();
    ScanPolygon(out, points);
    return out.exactCopy();
}

// ---- boolean operations ----

Region Region::Combine(const Region& a, const Region& b, CombineMode mode)
{
    // Trivial cases first: they are common (the first pieces of a union, equal
    // operands) and need no sweep.
    if (a.isEmpty() || b.isEmpty()) {
        if (mode == CombineMode::And)
            return Region();
        return a.isEmpty() ? b : a;
    }
    if (&a == &b || a == b)
        return mode == CombineMode::Xor ? Region() : a;
    const Rect boundsA = a.bounds(), boundsB = b.bounds();
    if (mode == CombineMode::And && boundsA.intersected(boundsB).isEmpty())
        return Region();
    // One rectangle holding the other operand: AND gives the other, OR the rectangle.
    if (mode != CombineMode::Xor) {
        auto holds = [](const Region& r, const Rect& bounds, const Rect& other) {
            return r.m_spans.size() == 1 && bounds.intersected(other) == other;
        };
        if (holds(a, boundsA, boundsB))
            return mode == CombineMode::And ? b : a;
        if (holds(b, boundsB, boundsA))
            return mode == CombineMode::And ? a : b;
    }

    const InsideRange range = kInside[static_cast<int>(mode)];
    auto keeps = [range](int count) { return count >= range.lo && count <= range.hi; };
    // The sweep writes into working arrays kept between calls; the result then
    // gets arrays of its exact size, allocated once.
    Region& out = WorkRegion();

    // Combines the spans of one band of a (or none) with one band of b (or none).
    auto emitBand = [&](int32_t top, int32_t bottom, std::span<const Span> sa, std::span<const Span> sb) {
        size_t first = out.m_spans.size();
        if (sa.empty() || sb.empty()) {
            std::span<const Span> only = sa.empty() ? sb : sa;
            if (keeps(1))
                for (const Span& s : only)
                    out.m_spans.push_back(s);
            out.endBand(top, bottom, first);
            return;
        }
        // Walk the edges of both span lists in x order; every edge toggles one
        // operand, and all edges at one x are taken together.
        size_t ia = 0, ib = 0;
        const size_t na = sa.size() * 2, nb = sb.size() * 2;
        auto edgeA = [&](size_t k) { return (k & 1) ? sa[k >> 1].right : sa[k >> 1].left; };
        auto edgeB = [&](size_t k) { return (k & 1) ? sb[k >> 1].right : sb[k >> 1].left; };
        int count = 0;
        int32_t start = 0;
        bool inside = false;
        while (ia < na || ib < nb) {
            int32_t x = std::numeric_limits<int32_t>::max();
            if (ia < na)
                x = edgeA(ia);
            if (ib < nb)
                x = std::min(x, edgeB(ib));
            if (ia < na && edgeA(ia) == x) {
                count += (ia & 1) ? -1 : 1;
                ++ia;
            }
            if (ib < nb && edgeB(ib) == x) {
                count += (ib & 1) ? -1 : 1;
                ++ib;
            }
            bool now = keeps(count);
            if (now && !inside)
                start = x;
            else if (!now && inside)
                out.m_spans.push_back({ start, x });
            inside = now;
        }
        out.endBand(top, bottom, first);
    };

    const size_t na = a.m_bands.size(), nb = b.m_bands.size();
    size_t ia = 0, ib = 0;
    int32_t y = std::min(a.m_bands[0].top, b.m_bands[0].top);
    constexpr int32_t kEnd = std::numeric_limits<int32_t>::max();
    while (ia < na || ib < nb) {
        if (mode == CombineMode::And && (ia == na || ib == nb))
            break;
        const BandRecord* ba = ia < na ? &a.m_bands[ia] : nullptr;
        const BandRecord* bb = ib < nb ? &b.m_bands[ib] : nullptr;
        bool inA = ba && ba->top <= y, inB = bb && bb->top <= y;
        if (!inA && !inB) {
            y = std::min(ba ? ba->top : kEnd, bb ? bb->top : kEnd);
            continue;
        }
        int32_t next = kEnd;
        if (ba)
            next = std::min(next, inA ? ba->bottom : ba->top);
        if (bb)
            next = std::min(next, inB ? bb->bottom : bb->top);
        std::span<const Span> sa, sb;
        if (inA)
            sa = { a.m_spans.data() + ba->firstSpan, ba->spanCount };
        if (inB)
            sb = { b.m_spans.data() + bb->firstSpan, bb->spanCount };
        if (mode != CombineMode::And || (inA && inB))
            emitBand(y, next, sa, sb);
        y = next;
        if (inA && ba->bottom == y)
            ++ia;
        if (inB && bb->bottom == y)
            ++ib;
    }
    return out.exactCopy();
}

// ---- tiling ----

namespace {

int32_t Moved(int32_t v, int32_t by)
{
    return int32_t(std::clamp<int64_t>(int64_t(v) + by, INT32_MIN, INT32_MAX));
}

}

Region Region::Tiled(const Region& cell, std::span<const int32_t> xs, std::span<const int32_t> ys)
{
    Region& out = WorkRegion();
    if (cell.isEmpty() || xs.empty() || ys.empty())
        return out.exactCopy();
    auto byLeft = [](const Span& a, const Span& b) { return a.left < b.left; };
    thread_local std::vector<Span> spans;

    // One row of cells: each band of the cell with its spans repeated at every x.
    thread_local Region strip;
    strip.m_bands.clear();
    strip.m_spans.clear();
    for (const BandRecord& band : cell.m_bands) {
        spans.clear();
        for (int32_t x : xs)
            for (uint32_t i = band.firstSpan; i < band.firstSpan + band.spanCount; ++i)
                spans.push_back({ Moved(cell.m_spans[i].left, x), Moved(cell.m_spans[i].right, x) });
        if (!std::is_sorted(spans.begin(), spans.end(), byLeft))
            std::sort(spans.begin(), spans.end(), byLeft);
        const size_t first = strip.m_spans.size();
        for (const Span& span : spans)
            strip.appendSpan(first, span.left, span.right);
        strip.endBand(band.top, band.bottom, first);
    }
    // Every copy may lie past an end of the coordinate range.
    if (strip.isEmpty())
        return out.exactCopy();

    // The rows of cells: the strip moved down by every y, swept from edge to
    // edge. `at[r]` is copy r's first band not yet passed.
    const size_t bands = strip.m_bands.size();
    auto top = [&](size_t r, size_t k) { return int64_t(strip.m_bands[k].top) + ys[r]; };
    auto bottom = [&](size_t r, size_t k) { return int64_t(strip.m_bands[k].bottom) + ys[r]; };
    thread_local std::vector<size_t> at;
    at.assign(ys.size(), 0);
    int64_t y = INT64_MAX;
    for (size_t r = 0; r < ys.size(); ++r)
        y = std::min(y, top(r, 0));
    for (;;) {
        int64_t next = INT64_MAX;
        spans.clear();
        for (size_t r = 0; r < ys.size(); ++r) {
            size_t& k = at[r];
            while (k < bands && bottom(r, k) <= y)
                ++k;
            if (k == bands)
                continue;
            if (top(r, k) > y) {
                next = std::min(next, top(r, k));
                continue;
            }
            // Copy r covers row y: its spans join the band, kept in order.
            next = std::min(next, bottom(r, k));
            const BandRecord& band = strip.m_bands[k];
            const size_t middle = spans.size();
            spans.insert(spans.end(), strip.m_spans.begin() + band.firstSpan,
                         strip.m_spans.begin() + band.firstSpan + band.spanCount);
            if (middle > 0 && spans[middle].left < spans[middle - 1].left)
                std::inplace_merge(spans.begin(), spans.begin() + ptrdiff_t(middle), spans.end(), byLeft);
        }
        if (next == INT64_MAX)
            break;
        const size_t first = out.m_spans.size();
        for (const Span& span : spans)
            out.appendSpan(first, span.left, span.right);
        out.endBand(int32_t(std::clamp<int64_t>(y, INT32_MIN, INT32_MAX)),
                    int32_t(std::clamp<int64_t>(next, INT32_MIN, INT32_MAX)), first);
        y = next;
    }
    return out.exactCopy();
}

// ---- queries ----

bool Region::contains(int32_t x, int32_t y) const
{
    auto band = std::upper_bound(m_bands.begin(), m_bands.end(), y, [](int32_t v, const BandRecord& b) { return v < b.bottom; });
    if (band == m_bands.end() || band->top > y)
        return false;
    auto first = m_spans.begin() + band->firstSpan, last = first + band->spanCount;
    auto span = std::upper_bound(first, last, x, [](int32_t v, const Span& s) { return v < s.right; });
    return span != last && span->left <= x;
}

Rect Region::bounds() const
{
    if (m_bands.empty())
        return {};
    int32_t left = std::numeric_limits<int32_t>::max(), right = std::numeric_limits<int32_t>::min();
    for (const BandRecord& b : m_bands) {
        left = std::min(left, m_spans[b.firstSpan].left);
        right = std::max(right, m_spans[b.firstSpan + b.spanCount - 1].right);
    }
    return { left, m_bands.front().top, right, m_bands.back().bottom };
}

uint64_t Region::area() const
{
    uint64_t total = 0;
    for (const BandRecord& b : m_bands) {
        uint64_t row = 0;
        for (uint32_t s = b.firstSpan; s < b.firstSpan + b.spanCount; ++s)
            row += uint64_t(int64_t(m_spans[s].right) - m_spans[s].left);
        total += row * uint64_t(int64_t(b.bottom) - b.top);
    }
    return total;
}

Region::Band Region::band(size_t i) const
{
    const BandRecord& r = m_bands[i];
    return { r.top, r.bottom, std::span<const Span>(m_spans.data() + r.firstSpan, r.spanCount) };
}

bool operator==(const Region& a, const Region& b)
{
    return a.m_bands == b.m_bands && a.m_spans == b.m_spans;
}

// ---- bulk union ----

void RegionBuilder::addRect(const Rect& r)
{
    ++m_shapes;
    Rect n = r.normalized();
    if (!n.isEmpty())
        m_rects.push_back(n);
}

void RegionBuilder::addRegion(const Region& region)
{
    ++m_shapes;
    for (size_t i = 0; i < region.bandCount(); ++i) {
        Region::Band b = region.band(i);
        for (const Region::Span& s : b.spans)
            m_rects.push_back({ s.left, b.top, s.right, b.bottom });
    }
}

void RegionBuilder::addPolygon(std::span<const Point> points)
{
    m_scratch.m_bands.clear();
    m_scratch.m_spans.clear();
    Region::ScanPolygon(m_scratch, points);
    addRegion(m_scratch);
}

void RegionBuilder::sortRects()
{
    // Rows between the first top and the last bottom; when they are not many
    // more than the rectangles, a counting sort by top and a mark per row beat
    // comparison sorts (a frame's worth of triangle rows is the common case).
    int64_t first = INT64_MAX, last = INT64_MIN;
    for (const Rect& r : m_rects) {
        first = std::min<int64_t>(first, r.top);
        last = std::max<int64_t>(last, r.bottom);
    }
    const int64_t range = last - first;
    m_edges.clear();
    if (range > int64_t(m_rects.size()) * 4 + 65536) {
        std::sort(m_rects.begin(), m_rects.end(), [](const Rect& a, const Rect& b) { return a.top < b.top; });
        for (const Rect& r : m_rects) {
            m_edges.push_back(r.top);
            m_edges.push_back(r.bottom);
        }
        std::sort(m_edges.begin(), m_edges.end());
        m_edges.erase(std::unique(m_edges.begin(), m_edges.end()), m_edges.end());
        return;
    }
    m_counts.assign(size_t(range) + 2, 0);
    for (const Rect& r : m_rects) {
        ++m_counts[size_t(r.top - first) + 1];
    }
    // Row marks: a row is an edge when a rectangle starts or ends there.
    m_marks.assign(size_t(range) + 1, 0);
    for (const Rect& r : m_rects) {
        m_marks[size_t(r.top - first)] = 1;
        m_marks[size_t(r.bottom - first)] = 1;
    }
    for (size_t i = 1; i < m_counts.size(); ++i)
        m_counts[i] += m_counts[i - 1];
    m_sorted.resize(m_rects.size());
    for (const Rect& r : m_rects)
        m_sorted[m_counts[size_t(r.top - first)]++] = r;
    m_rects.swap(m_sorted);
    for (size_t i = 0; i < m_marks.size(); ++i)
        if (m_marks[i])
            m_edges.push_back(int32_t(first + int64_t(i)));
}

RegionBuilder& RegionBuilder::ForThisThread()
{
    thread_local RegionBuilder builder;
    builder.m_rects.clear();
    builder.m_shapes = 0;
    return builder;
}

Region RegionBuilder::build()
{
    m_shapes = 0;
    if (m_rects.empty())
        return Region();
    // The sweep writes into working arrays kept from the last build; the result
    // then gets arrays of its exact size, allocated once.
    Region& out = m_result;
    out.m_bands.clear();
    out.m_spans.clear();
    // Sweep down the rows: the rectangles crossing a band between two
    // neighbouring edges are kept sorted by left, so each band's spans come out
    // in one pass.
    sortRects();
    auto byLeft = [](const Rect& a, const Rect& b) { return a.left < b.left; };
    m_active.clear();
    size_t next = 0;
    for (size_t k = 0; k + 1 < m_edges.size(); ++k) {
        int32_t y = m_edges[k];
        std::erase_if(m_active, [y](const Rect& r) { return r.bottom <= y; });
        size_t entering = next;
        while (next < m_rects.size() && m_rects[next].top == y)
            ++next;
        if (next > entering) {
            std::sort(m_rects.begin() + entering, m_rects.begin() + next, byLeft);
            m_merged.resize(m_active.size() + (next - entering));
            std::merge(m_active.begin(), m_active.end(), m_rects.begin() + entering, m_rects.begin() + next, m_merged.begin(), byLeft);
            m_active.swap(m_merged);
        }
        if (m_active.empty())
            continue;
        size_t first = out.m_spans.size();
        for (const Rect& r : m_active)
            out.appendSpan(first, r.left, r.right);
        out.endBand(y, m_edges[k + 1], first);
    }
    m_rects.clear();
    m_active.clear();
    return out.exactCopy();
}

}
