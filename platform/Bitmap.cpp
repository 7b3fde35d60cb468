#include "platform/Bitmap.h"

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

Pixel* Allocate(int32_t width, int32_t height)
{
    if (width <= 0 || height <= 0)
        return nullptr;
    size_t count = size_t(width) * size_t(height);
    if (count > (SIZE_MAX - kHugePage) / sizeof(Pixel))
        throw std::length_error("bitmap too large");
    const size_t alignment = count * sizeof(Pixel) >= kHugePageThreshold ? kHugePage : kAlignment;
    size_t bytes = (count * sizeof(Pixel) + alignment - 1) / alignment * alignment;
    void* p = std::aligned_alloc(alignment, bytes);
    if (!p)
        throw std::bad_alloc();
    if (alignment == kHugePage)
        ::madvise(p, bytes, MADV_HUGEPAGE); // only advice: without huge pages all still works
    return static_cast<Pixel*>(p);
}
}

void Bitmap::Free::operator()(Pixel* p) const
{
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
    b.m_pixels.reset(Allocate(width, height));
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
