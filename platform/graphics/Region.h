// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/graphics/Rect.h"

// A region is a set of pixels, held as y-sorted bands of x-sorted spans:
//
//   band [top, bottom):  [l0, r0)  [l1, r1)  ...      spans sorted, never touching
//   band [top, bottom):  ...                          bands sorted, never overlapping
//
// Every row of a band has the same spans; neighbouring bands with identical
// spans that touch are merged, and no band is empty. The form is therefore
// unique, so equality of regions is equality of their arrays. This is the
// representation that X servers use: unions of hundreds of bars stay small,
// and drawing through a region touches only the pixels it holds.
//
// "No region at all" (distinct from an empty region) is std::optional<Region>
// without a value.
namespace kalvio {

enum class CombineMode : uint8_t {
    And = 1, // pixels in both
    Or = 2,  // pixels in either
    Xor = 3, // pixels in exactly one
};

class Region {
public:
    struct Span {
        int32_t left;
        int32_t right;
        friend constexpr bool operator==(const Span&, const Span&) = default;
    };
    struct Band {
        int32_t top;
        int32_t bottom;
        std::span<const Span> spans;
    };

    // The empty region.
    Region() = default;

    // The pixels with l <= x < r and t <= y < b; reversed bounds are exchanged first.
    static Region FromRect(int32_t l, int32_t t, int32_t r, int32_t b);
    static Region FromRect(const Rect& r) { return FromRect(r.left, r.top, r.right, r.bottom); }
    // The rectangle (ordered as FromRect) with each corner cut to a quarter of an
    // ellipse cornerWidth x cornerHeight; the corner sizes (negative ones by their
    // magnitude) are first limited to the rectangle's width and height. A pixel
    // belongs when its centre lies inside. Curved rows cost a band each, so, as
    // for polygons, only rows -kPolygonRowLimit .. kPolygonRowLimit - 1 are filled
    // when corners are present.
    static Region FromRoundRect(int32_t l, int32_t t, int32_t r, int32_t b, int32_t cornerWidth, int32_t cornerHeight);
    // The interior of the closed polygon through `points` by the non-zero winding
    // rule; a pixel belongs when its centre (x + 0.5, y + 0.5) lies inside, and a
    // centre exactly on an edge belongs to the side on its right. Slanted edges
    // cost one band per row, so only rows -kPolygonRowLimit .. kPolygonRowLimit - 1
    // are filled: absurd coordinates cannot make a region of billions of rows.
    static constexpr int32_t kPolygonRowLimit = 1 << 20;
    static Region FromPolygon(std::span<const Point> points);

    static Region Combine(const Region& a, const Region& b, CombineMode);
    // The union of `cell` moved by (x, y) for every x of `xs` and every y of
    // `ys`: one shape repeated over a grid, written band by band in one sweep
    // instead of uniting its copies one by one. Copies are cut off at the ends
    // of the coordinate range, not wrapped: one wholly past an end adds nothing.
    static Region Tiled(const Region& cell, std::span<const int32_t> xs, std::span<const int32_t> ys);
    // *this := *this combined with b.
    void combine(const Region& b, CombineMode mode) { *this = Combine(*this, b, mode); }

    bool isEmpty() const { return m_bands.empty(); }
    bool contains(int32_t x, int32_t y) const;
    // The smallest rectangle holding every pixel; (0, 0, 0, 0) when empty.
    Rect bounds() const;
    // Number of pixels.
    uint64_t area() const;

    size_t bandCount() const { return m_bands.size(); }
    Band band(size_t i) const;

    // True when the arrays keep every rule of the form above.
    bool isValid() const;

    friend bool operator==(const Region&, const Region&);

private:
    friend class RegionBuilder;
    struct BandRecord {
        int32_t top;
        int32_t bottom;
        uint32_t firstSpan;
        uint32_t spanCount;
        friend constexpr bool operator==(const BandRecord&, const BandRecord&) = default;
    };
    // Writing in band order: the spans of the band being written are appended
    // from index `first` on (left edges not decreasing; overlapping or touching
    // spans are joined), then endBand keeps the band, merges it into the one
    // above, or drops it when it has no span.
    void appendSpan(size_t first, int32_t left, int32_t right);
    void endBand(int32_t top, int32_t bottom, size_t first);
    void checkAfterOperation() const;
    // Constructors and Combine write into this thread's working region (emptied
    // here, its capacity kept) and return an exact copy: a frame's regions then
    // cost one allocation per array instead of a series of growths.
    static Region& WorkRegion();
    // A copy whose arrays have no spare capacity.
    Region exactCopy() const;
    // Appends the bands of a polygon (see FromPolygon) to an empty `out`.
    static void ScanPolygon(Region& out, std::span<const Point> points);

    std::vector<BandRecord> m_bands;
    std::vector<Span> m_spans;
};

// Builds the union of many shapes at once. Uniting a lattice of hundreds of bars
// one by one costs a band sweep per bar; adding them here and building once
// gives the same pixel set in one sort and sweep.
class RegionBuilder {
public:
    // Reversed rectangles stand for their ordered form, as in Region::FromRect.
    void addRect(const Rect&);
    void addRect(int32_t l, int32_t t, int32_t r, int32_t b) { addRect(Rect { l, t, r, b }); }
    void addRegion(const Region&);
    void addPolygon(std::span<const Point> points);
    // The union of everything added (empty if nothing was); the builder is left empty.
    Region build();
    // This thread's builder, emptied, with the working space of its last use:
    // a frame's regions then allocate little once it has grown. Callers must
    // build before another caller on the thread asks for it.
    static RegionBuilder& ForThisThread();
    bool hasShapes() const { return m_shapes > 0; }

private:
    // Orders m_rects by top and lists in m_edges every row where one starts or ends.
    void sortRects();

    // Every shape is kept as ordered, non-empty rectangles (regions and polygons
    // as one rectangle per band span); build() sweeps them once. The other
    // vectors are working space kept for the next build.
    std::vector<Rect> m_rects;
    std::vector<Rect> m_sorted;
    std::vector<Rect> m_active;
    std::vector<Rect> m_merged;
    std::vector<int32_t> m_edges;
    std::vector<uint32_t> m_counts;
    std::vector<uint8_t> m_marks;
    Region m_scratch;
    Region m_result;
    size_t m_shapes = 0;
};

}
