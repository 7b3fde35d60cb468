// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/graphics/Bitmap.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>

#include <sys/mman.h>

namespace kalvio {

namespace {
// Rows are copied with wide vector loads; keep the buffer on a cache-line boundary.
constexpr size_t kAlignment = 64;
// A picture-sized buffer is written whole right after it is made (decoding, the
// first frame); on huge pages that costs a few hundred page faults instead of
// tens of thousands.
constexpr size_t kHugePage = size_t(2) << 20;
constexpr size_t kHugePageThreshold = 4 * kHugePage;

// Blocks from this size on are mapped on their own (see Bitmap::Free).
constexpr size_t kMapThreshold = size_t(1) << 20;
}

Bitmap::Pixels Bitmap::Allocate(int32_t width, int32_t height)
{
    if (width <= 0 || height <= 0)
        return Pixels(nullptr, Free { 0 });
    size_t count = size_t(width) * size_t(height);
    if (count > (SIZE_MAX - 2 * kHugePage) / sizeof(Pixel))
        throw std::length_error("bitmap too large");
    const size_t bytes = count * sizeof(Pixel);
    if (bytes < kMapThreshold) {
        void* p = std::aligned_alloc(kAlignment, (bytes + kAlignment - 1) / kAlignment * kAlignment);
        if (!p)
            throw std::bad_alloc();
        return Pixels(static_cast<Pixel*>(p), Free { 0 });
    }
    // Huge pages need their own alignment: map a huge page more and give
    // back what lies outside the aligned block.
    const bool huge = bytes >= kHugePageThreshold;
    const size_t alignment = huge ? kHugePage : size_t(4096);
    const size_t size = (bytes + alignment - 1) / alignment * alignment;
    const size_t slack = huge ? kHugePage : 0;
    void* m = ::mmap(nullptr, size + slack, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (m == MAP_FAILED)
        throw std::bad_alloc();
    auto* start = static_cast<uint8_t*>(m);
    auto* aligned = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(start) + alignment - 1) & ~(alignment - 1));
    if (slack) {
        if (aligned > start)
            ::munmap(start, size_t(aligned - start));
        if (const size_t tail = slack - size_t(aligned - start))
            ::munmap(aligned + size, tail);
        ::madvise(aligned, size, MADV_HUGEPAGE); // only advice: without huge pages all still works
    }
    return Pixels(reinterpret_cast<Pixel*>(aligned), Free { size });
}

void Bitmap::Free::operator()(Pixel* p) const
{
    if (mapped)
        ::munmap(p, mapped);
    else
        std::free(p);
}

Bitmap::Bitmap(int32_t width, int32_t height, Pixel fillColour)
    : Bitmap(Unfilled(width, height))
{
    fill(fillColour);
}

Bitmap Bitmap::Unfilled(int32_t width, int32_t height)
{
    Bitmap b;
    b.m_pixels = Allocate(width, height);
    if (b.m_pixels) {
        b.m_width = width;
        b.m_height = height;
    }
    return b;
}

Bitmap::Bitmap(const Bitmap& other)
    : m_pixels(Allocate(other.m_width, other.m_height))
    , m_width(other.m_width)
    , m_height(other.m_height)
{
    if (m_pixels)
        std::memcpy(m_pixels.get(), other.m_pixels.get(), pixelCount() * sizeof(Pixel));
}

Bitmap& Bitmap::operator=(const Bitmap& other)
{
    if (this != &other) {
        Bitmap copy(other);
        *this = std::move(copy);
    }
    return *this;
}

Bitmap::Bitmap(Bitmap&& other) noexcept
    : m_pixels(std::move(other.m_pixels))
    , m_width(std::exchange(other.m_width, 0))
    , m_height(std::exchange(other.m_height, 0))
{
}

Bitmap& Bitmap::operator=(Bitmap&& other) noexcept
{
    m_pixels = std::move(other.m_pixels);
    m_width = std::exchange(other.m_width, 0);
    m_height = std::exchange(other.m_height, 0);
    return *this;
}

Bitmap::~Bitmap() = default;

void Bitmap::fill(Pixel colour)
{
    std::fill_n(m_pixels.get(), pixelCount(), colour);
}

void Bitmap::resize(int32_t width, int32_t height, Pixel fillColour)
{
    if (width == m_width && height == m_height)
        return;
    Bitmap resized(width, height, fillColour);
    int32_t w = std::min(width, m_width);
    int32_t h = std::min(height, m_height);
    if (w > 0)
        for (int32_t y = 0; y < h; ++y)
            std::memcpy(resized.row(y), row(y), size_t(w) * sizeof(Pixel));
    *this = std::move(resized);
}

void Bitmap::clear()
{
    m_pixels.reset();
    m_width = m_height = 0;
}

bool operator==(const Bitmap& a, const Bitmap& b)
{
    return a.m_width == b.m_width && a.m_height == b.m_height
        && (a.pixelCount() == 0 || std::memcmp(a.bits(), b.bits(), a.pixelCount() * sizeof(Pixel)) == 0);
}

}
