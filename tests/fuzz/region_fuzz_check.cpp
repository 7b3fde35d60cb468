// SPDX-License-Identifier: GPL-3.0-or-later
#include "fuzz/region_fuzz_check.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/graphics/Bitmap.h"
#include "platform/system/Random.h"
#include "platform/graphics/Region.h"
#include "support/RegionModel.h"
#include "transition/FrameComposer.h"
#include "transition/StyleFrame.h"
#include "transition/styles/StyleTable.h"

namespace kalvio::fuzz {

namespace {

// Reads the input as a stream of choices; past its end every byte is 0.
class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) { }
    uint8_t u8() { return pos_ < size_ ? data_[pos_++] : 0; }
    uint16_t u16() { return uint16_t(u8() << 8 | u8()); }
    uint32_t u32() { return uint32_t(u16()) << 16 | u16(); }

    // Mostly near the checked window; sometimes several frames away, a raw
    // 32-bit value or an extreme one.
    int32_t coord()
    {
        static constexpr int32_t kExtremes[] = { std::numeric_limits<int32_t>::min(),
            std::numeric_limits<int32_t>::max(), -(1 << 28), 1 << 28, -Region::kPolygonRowLimit - 1,
            Region::kPolygonRowLimit + 1, std::numeric_limits<int32_t>::min() + 1,
            std::numeric_limits<int32_t>::max() - 1 };
        const uint8_t s = u8();
        if (s < 200)
            return int32_t(u8() % 160) - 32;
        if (s < 236)
            return (int32_t(u8()) - 128) * 3;
        if (s < 248)
            return int32_t(u32());
        return kExtremes[s - 248];
    }

    // An offset of a tiling: near the checked window, near either end of the
    // coordinate range (copies of shapes near the window cut off there or
    // wholly past it), or a raw 32-bit value.
    int32_t offset()
    {
        constexpr int32_t kMax = std::numeric_limits<int32_t>::max(), kMin = std::numeric_limits<int32_t>::min();
        const uint8_t s = u8();
        if (s < 64)
            return int32_t(u8() % 160) - 32;
        if (s < 112)
            return kMax - int32_t(u8() % 64);
        if (s < 144)
            return kMax - int32_t(u16() % 512);
        if (s < 192)
            return kMin + int32_t(u8() % 64);
        if (s < 224)
            return kMin + int32_t(u16() % 512);
        return int32_t(u32());
    }

    // A y for shapes with curved or slanted rows, which cost a band per row
    // (up to the row limit): within a few tens of thousands of rows, so that
    // runs stay fast. Far rows of those shapes are covered by the unit tests.
    int32_t rowCoord()
    {
        const uint8_t s = u8();
        if (s < 200)
            return int32_t(u8() % 160) - 32;
        if (s < 236)
            return (int32_t(u8()) - 128) * 3;
        return int16_t(u16());
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

[[noreturn]] void Fail(const std::string& what) { throw FuzzFailure(what); }

// ---- regions against a per-pixel model ----

// Every pixel of every region is checked inside this window.
constexpr Rect kWindow { -16, -16, 96, 96 };
constexpr int32_t kSide = 112;
static_assert(kWindow.right - kWindow.left == kSide && kWindow.bottom - kWindow.top == kSide);

using Mask = std::vector<uint8_t>;

using test::Shape;
using test::ModelContains;
const auto Make = test::MakeRegion;

std::string Describe(const Shape& s)
{
    std::ostringstream o;
    static const char* names[] = { "rect", "roundrect", "polygon" };
    o << names[s.kind];
    if (s.kind == Shape::Polygon) {
        for (const Point& p : s.points)
            o << " (" << p.x << ", " << p.y << ")";
    } else {
        for (int i = 0; i < (s.kind == Shape::Rectangle ? 4 : 6); ++i)
            o << " " << s.v[i];
    }
    return o.str();
}



Mask ModelMask(const Shape& s)
{
    Mask m(size_t(kSide * kSide));
    for (int32_t y = 0; y < kSide; ++y)
        for (int32_t x = 0; x < kSide; ++x)
            m[size_t(y * kSide + x)] = ModelContains(s, x + kWindow.left, y + kWindow.top);
    return m;
}

// The window's pixels of a region, read from its bands.
Mask Rasterize(const Region& region)
{
    Mask m(size_t(kSide * kSide));
    for (size_t i = 0; i < region.bandCount(); ++i) {
        const Region::Band band = region.band(i);
        const int64_t top = std::max<int64_t>(band.top, kWindow.top);
        const int64_t bottom = std::min<int64_t>(band.bottom, kWindow.bottom);
        for (const Region::Span& span : band.spans) {
            const int64_t left = std::max<int64_t>(span.left, kWindow.left);
            const int64_t right = std::min<int64_t>(span.right, kWindow.right);
            for (int64_t y = top; y < bottom; ++y)
                for (int64_t x = left; x < right; ++x)
                    m[size_t((y - kWindow.top) * kSide + (x - kWindow.left))] = 1;
        }
    }
    return m;
}

void ExpectPixels(const Region& region, const Mask& model, const std::string& what)
{
    if (!region.isValid())
        Fail(what + ": region breaks its form");
    const Mask got = Rasterize(region);
    for (size_t i = 0; i < got.size(); ++i) {
        if (got[i] != model[i]) {
            std::ostringstream o;
            o << what << ": pixel (" << int32_t(i % kSide) + kWindow.left << ", " << int32_t(i / kSide) + kWindow.top
              << ") should be " << (model[i] ? "in" : "out");
            Fail(o.str());
        }
    }
    // The window's share of the region, counted by the region itself.
    const uint64_t inside = uint64_t(std::count(model.begin(), model.end(), 1));
    const Region clipped = Region::Combine(region, Region::FromRect(kWindow), CombineMode::And);
    if (clipped.area() != inside)
        Fail(what + ": area inside the window is " + std::to_string(clipped.area()) + ", expected "
            + std::to_string(inside));
    // Nothing outside its own bounds.
    if (!region.isEmpty() && Region::Combine(region, Region::FromRect(region.bounds()), CombineMode::And) != region)
        Fail(what + ": pixels outside the bounds");
}

Shape ReadShape(Reader& in)
{
    Shape s;
    switch (in.u8() % 3) {
    case 0:
        s.kind = Shape::Rectangle;
        for (int i = 0; i < 4; ++i)
            s.v[i] = in.coord();
        break;
    case 1:
        s.kind = Shape::RoundRect;
        for (int i = 0; i < 6; ++i)
            s.v[i] = i % 2 ? in.rowCoord() : in.coord();
        break;
    default: {
        s.kind = Shape::Polygon;
        const size_t n = in.u8() % 9;
        for (size_t i = 0; i < n; ++i) {
            const int32_t x = in.coord();
            s.points.push_back({ x, in.rowCoord() });
        }
        break;
    }
    }
    return s;
}

// The combined region tiled over a grid of offsets read from the input:
// against the model in the window, and against its copies united one by one
// everywhere, out to the ends of the coordinate range.
void CheckTiled(Reader& in, const Region& cell, const std::string& trace)
{
    std::vector<int32_t> xs(1 + in.u8() % 3), ys(1 + in.u8() % 3);
    for (int32_t& x : xs)
        x = in.offset();
    for (int32_t& y : ys)
        y = in.offset();
    std::ostringstream o;
    o << "tiled over x";
    for (int32_t x : xs)
        o << " " << x;
    o << ", y";
    for (int32_t y : ys)
        o << " " << y;
    const std::string what = o.str() + trace;

    const Region tiled = Region::Tiled(cell, xs, ys);
    Mask model(size_t(kSide * kSide));
    for (int32_t y = 0; y < kSide; ++y)
        for (int32_t x = 0; x < kSide; ++x)
            model[size_t(y * kSide + x)] = test::TiledContains(cell, xs, ys, x + kWindow.left, y + kWindow.top);
    ExpectPixels(tiled, model, what);
    if (!(tiled == test::TiledByCopies(cell, xs, ys)))
        Fail(what + ": differs from its copies united one by one");
}

void CheckRegions(Reader& in)
{
    const size_t count = 1 + in.u8() % 6;
    std::vector<Shape> shapes;
    std::vector<Mask> masks;
    std::string trace;
    for (size_t i = 0; i < count; ++i) {
        shapes.push_back(ReadShape(in));
        masks.push_back(ModelMask(shapes.back()));
        trace += "\n  shape " + std::to_string(i) + ": " + Describe(shapes.back());
    }
    for (size_t i = 0; i < count; ++i)
        ExpectPixels(Make(shapes[i]), masks[i], "shape " + std::to_string(i) + trace);

    // Combine the shapes one after another, each by a mode of the input's
    // choosing, in either operand order or with the result itself.
    Region result = Make(shapes[0]);
    Mask model = masks[0];
    for (size_t i = 1; i < count; ++i) {
        const uint8_t choice = in.u8();
        const CombineMode mode = CombineMode(1 + choice % 3);
        const Region piece = Make(shapes[i]);
        const bool self = (choice / 3) % 5 == 4;
        const Mask& other = self ? model : masks[i];
        Mask next(model.size());
        for (size_t p = 0; p < model.size(); ++p)
            next[p] = mode == CombineMode::And ? model[p] && other[p]
                : mode == CombineMode::Or      ? model[p] || other[p]
                                               : model[p] != other[p];
        if (self)
            result.combine(result, mode);
        else if ((choice / 3) % 2)
            result = Region::Combine(piece, result, mode);
        else
            result.combine(piece, mode);
        model = std::move(next);
        ExpectPixels(result, model, "combination " + std::to_string(i) + " mode " + std::to_string(int(mode)) + trace);
    }

    // The bulk builder gives the one-by-one union, array for array.
    RegionBuilder builder;
    Region oneByOne;
    Mask any(size_t(kSide * kSide));
    for (size_t i = 0; i < count; ++i) {
        const Shape& s = shapes[i];
        oneByOne.combine(Make(s), CombineMode::Or);
        for (size_t p = 0; p < any.size(); ++p)
            any[p] |= masks[i][p];
        if (s.kind == Shape::Rectangle)
            builder.addRect(s.v[0], s.v[1], s.v[2], s.v[3]);
        else if (s.kind == Shape::Polygon)
            builder.addPolygon(s.points);
        else
            builder.addRegion(Make(s));
    }
    if (!builder.hasShapes())
        Fail("builder lost its shapes" + trace);
    const Region built = builder.build();
    ExpectPixels(oneByOne, any, "one-by-one union" + trace);
    if (!(built == oneByOne))
        Fail("builder union differs from the one-by-one union" + trace);
    // The builder is empty again and can be reused.
    builder.addRegion(built);
    builder.addRegion(result);
    if (!(builder.build() == Region::Combine(built, result, CombineMode::Or)))
        Fail("reused builder differs" + trace);

    CheckTiled(in, result, trace);
}

// ---- one transition frame ----

constexpr Pixel OldPixel(int32_t x, int32_t y) { return RGB(uint8_t(x * 7), uint8_t(y * 13), 0x10); }
constexpr Pixel NewPixel(int32_t x, int32_t y) { return RGB(uint8_t(x * 5 + 1), uint8_t(y * 3 + 2), 0x20); }

int32_t ReadSide(Reader& in)
{
    const uint8_t s = in.u8();
    if (s < 16)
        return 1;
    if (s < 216)
        return 1 + in.u8() % 48;
    if (s < 250)
        return 1 + in.u16() % 600;
    return 1 + in.u16() % 3000;
}

void CheckFrame(Reader& in)
{
    const int style = in.u8() % (kLastStyle + 1);
    const uint8_t progress = in.u8() % 101;
    const uint16_t step = uint16_t(1 + in.u8() % 100);
    int32_t W = ReadSide(in);
    int32_t H = ReadSide(in);
    // A few megapixels at most, so that big frames stay affordable.
    constexpr int64_t kMaxPixels = 3'000'000;
    if (int64_t(W) * H > kMaxPixels)
        H = std::max<int32_t>(1, int32_t(kMaxPixels / W));
    const uint32_t seed = in.u32();

    std::ostringstream o;
    o << "style " << style << " progress " << int(progress) << " step " << step << " frame " << W << " x " << H
      << " seed " << seed;
    const std::string what = o.str();

    Bitmap oldBitmap(W, H), newBitmap(W, H), frameBitmap(W, H, RGB(1, 2, 3));
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x) {
            oldBitmap.setPixel(x, y, OldPixel(x, y));
            newBitmap.setPixel(x, y, NewPixel(x, y));
        }

    RandomSeed(seed);
    const FrameResult result = RenderFrame({ oldBitmap, newBitmap, frameBitmap, style, progress, step, nullptr });
    if (!result.composed)
        Fail(what + ": not composed");
    const uint8_t reached = style == 0 ? 100 : progress;
    if (result.Progress != reached)
        Fail(what + ": progress after the frame is " + std::to_string(result.Progress));
    if (result.Invalidated.count == 0)
        Fail(what + ": nothing marked for repainting");

    const bool regionStyle = style >= kFirstRegionStyle;
    if (reached == 100) {
        if (!(frameBitmap == newBitmap))
            Fail(what + ": the last frame is not the new picture");
        return;
    }
    if (regionStyle && progress == 0) {
        if (!(frameBitmap == oldBitmap))
            Fail(what + ": the first frame of a region style is not the old picture");
        return;
    }
    if (regionStyle) {
        // The frame is the old picture with the new one through the style's
        // own region, drawn from the same random numbers.
        Bitmap scratch(W, H);
        FrameRects marks;
        const Extents e = ProgressExtents(W, H, progress);
        StyleFrame frame { .W = W, .H = H, .PX = e.PX, .PY = e.PY, .Band = BandFor(W, H, step),
            .DstRect = { 0, 0, W, H }, .SrcRect = { 0, 0, W, H }, .ClipRegion = std::nullopt,
            .NewBitmap = newBitmap, .FrameBitmap = scratch, .Invalidated = marks };
        RandomSeed(seed);
        StyleRuleFor(style)(frame);
        if (frame.ClipRegion && !frame.ClipRegion->isValid())
            Fail(what + ": clip region breaks its form");
        // The clip inside the frame, read from its bands.
        std::vector<uint8_t> clip(size_t(W) * size_t(H));
        if (frame.ClipRegion) {
            const Region& region = *frame.ClipRegion;
            for (size_t i = 0; i < region.bandCount(); ++i) {
                const Region::Band band = region.band(i);
                for (int32_t y = std::max(band.top, 0); y < std::min(band.bottom, H); ++y)
                    for (const Region::Span& span : band.spans)
                        for (int32_t x = std::max(span.left, 0); x < std::min(span.right, W); ++x)
                            clip[size_t(y) * size_t(W) + size_t(x)] = 1;
            }
        }
        for (int32_t y = 0; y < H; ++y)
            for (int32_t x = 0; x < W; ++x) {
                const bool shown = clip[size_t(y) * size_t(W) + size_t(x)];
                if (frameBitmap.pixel(x, y) != (shown ? NewPixel(x, y) : OldPixel(x, y)))
                    Fail(what + ": pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") should show the "
                        + (shown ? "new" : "old") + " picture");
            }
        return;
    }
    // A rectangle style shows the old picture in place and parts of the new
    // one, stretched or mirrored, and nothing else.
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x) {
            const Pixel p = frameBitmap.pixel(x, y);
            if (BlueOf(p) == 0x10 ? p != OldPixel(x, y) : BlueOf(p) != 0x20)
                Fail(what + ": pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") is from neither picture");
        }
}

}

void CheckRegionInput(const uint8_t* data, size_t size)
{
    Reader in(data, size);
    if (in.u8() % 2 == 0)
        CheckRegions(in);
    else
        CheckFrame(in);
}

}
