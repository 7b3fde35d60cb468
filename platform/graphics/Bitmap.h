// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/graphics/Rect.h"

namespace kalvio {

// One pixel, 8 bits a channel, no alpha: 0xffRRGGBB in a native 32-bit word.
// This is the layout of QImage::Format_RGB32, so the screen can wrap a bitmap
// without converting it.
using Pixel = uint32_t;

constexpr Pixel RGB(uint8_t r, uint8_t g, uint8_t b)
{
    return 0xff000000u | (uint32_t(r) << 16) | (uint32_t(g) << 8) | b;
}
constexpr uint8_t RedOf(Pixel p) { return uint8_t(p >> 16); }
constexpr uint8_t GreenOf(Pixel p) { return uint8_t(p >> 8); }
constexpr uint8_t BlueOf(Pixel p) { return uint8_t(p); }

// A 24-bit colour picture held as rows of 32-bit pixels, rows contiguous
// (stride == width). An empty bitmap has no size and no pixels.
class Bitmap {
public:
    Bitmap() = default;
    // A bitmap of w x h pixels filled with `fill`; throws std::bad_alloc or
    // std::length_error when it cannot be held.
    Bitmap(int32_t width, int32_t height, Pixel fill = RGB(0, 0, 0));
    // As above, but the pixels hold whatever the memory held: for a maker that
    // writes every pixel next (a decoder), which then saves a pass over them.
    static Bitmap Unfilled(int32_t width, int32_t height);

    Bitmap(const Bitmap&);
    Bitmap& operator=(const Bitmap&);
    Bitmap(Bitmap&&) noexcept;
    Bitmap& operator=(Bitmap&&) noexcept;
    ~Bitmap();

    int32_t width() const { return m_width; }
    int32_t height() const { return m_height; }
    bool isEmpty() const { return m_width <= 0 || m_height <= 0; }
    Rect rect() const { return { 0, 0, m_width, m_height }; }
    size_t pixelCount() const { return size_t(m_width) * size_t(m_height); }

    Pixel* bits() { return m_pixels.get(); }
    const Pixel* bits() const { return m_pixels.get(); }
    Pixel* row(int32_t y) { return m_pixels.get() + size_t(y) * size_t(m_width); }
    const Pixel* row(int32_t y) const { return m_pixels.get() + size_t(y) * size_t(m_width); }
    Pixel pixel(int32_t x, int32_t y) const { return row(y)[x]; }
    void setPixel(int32_t x, int32_t y, Pixel p) { row(y)[x] = p; }

    void fill(Pixel);
    // New size; the old content stays at the top-left corner, added area shows `fill`.
    // A width or height of 0 (or less) makes the bitmap empty.
    void resize(int32_t width, int32_t height, Pixel fill);
    // Frees the pixels; the bitmap becomes empty.
    void clear();

    friend bool operator==(const Bitmap&, const Bitmap&);

private:
    // Large pixel blocks are mapped from the system on their own, so that
    // freeing one gives its memory back whichever thread made it; the
    // allocator's arenas kept every freed picture-sized block (a worker's
    // arena grew by one screen at a time up to 64 MB).
    struct Free {
        size_t mapped; // bytes mapped, or 0 for a block from the heap (value-initialised)
        void operator()(Pixel*) const;
    };
    using Pixels = std::unique_ptr<Pixel[], Free>;
    static Pixels Allocate(int32_t width, int32_t height);
    Pixels m_pixels;
    int32_t m_width = 0;
    int32_t m_height = 0;
};

}
