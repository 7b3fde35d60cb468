// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/picture/ExifOrientation.h"

#include <cstring>

namespace kalvio {

namespace {

// An Exif block is "Exif\0\0" and then a TIFF file: a byte-order mark ("II"
// little-endian, "MM" big-endian), the number 42 and the offset of the first
// image directory, all offsets counted from the mark. A directory is a 16-bit
// entry count and 12-byte entries: tag, type, count, then the value itself
// when it fits in 4 bytes. Only that first directory is read, so chains of
// directories (and loops in them) are never followed.
constexpr uint8_t kExifHeader[] = { 'E', 'x', 'i', 'f', 0, 0 };
constexpr size_t kTiffHeaderSize = 8;
constexpr size_t kEntrySize = 12;
constexpr uint16_t kOrientationTag = 0x0112;
constexpr uint16_t kTypeShort = 3;

// Reads 16- and 32-bit numbers of one byte order inside a bounded block.
class TiffReader {
public:
    TiffReader(const uint8_t* data, size_t size, bool bigEndian)
        : data_(data), size_(size), bigEndian_(bigEndian) { }

    // False when [at, at + bytes) does not lie inside the block.
    bool has(uint64_t at, uint64_t bytes) const { return at <= size_ && bytes <= size_ - at; }

    uint16_t u16(size_t at) const
    {
        const uint8_t* p = data_ + at;
        return bigEndian_ ? uint16_t(p[0] << 8 | p[1]) : uint16_t(p[1] << 8 | p[0]);
    }
    uint32_t u32(size_t at) const
    {
        const uint32_t a = u16(at), b = u16(at + 2);
        return bigEndian_ ? a << 16 | b : b << 16 | a;
    }

private:
    const uint8_t* data_;
    size_t size_;
    bool bigEndian_;
};

}

bool IsExifPayload(const uint8_t* payload, size_t size)
{
    return payload && size >= sizeof kExifHeader && std::memcmp(payload, kExifHeader, sizeof kExifHeader) == 0;
}

Orientation ReadExifOrientation(const uint8_t* payload, size_t size)
{
    constexpr Orientation asStored = Orientation::Upright;
    if (!IsExifPayload(payload, size) || size < sizeof kExifHeader + kTiffHeaderSize)
        return asStored;
    const uint8_t* tiff = payload + sizeof kExifHeader;
    const size_t tiffSize = size - sizeof kExifHeader;
    bool bigEndian;
    if (tiff[0] == 'I' && tiff[1] == 'I')
        bigEndian = false;
    else if (tiff[0] == 'M' && tiff[1] == 'M')
        bigEndian = true;
    else
        return asStored;
    const TiffReader in(tiff, tiffSize, bigEndian);
    if (in.u16(2) != 42)
        return asStored;

    // The directory must lie past the header and whole inside the block.
    const uint64_t directory = in.u32(4);
    if (directory < kTiffHeaderSize || !in.has(directory, 2))
        return asStored;
    const uint64_t entries = in.u16(size_t(directory));
    if (!in.has(directory + 2, entries * kEntrySize))
        return asStored;

    int found = 0;
    uint16_t value = 0;
    for (uint64_t i = 0; i < entries; ++i) {
        const size_t entry = size_t(directory + 2 + i * kEntrySize);
        if (in.u16(entry) != kOrientationTag)
            continue;
        if (++found > 1)
            return asStored; // two differing or repeated tags: trust neither
        if (in.u16(entry + 2) != kTypeShort || in.u32(entry + 4) != 1)
            return asStored;
        value = in.u16(entry + 8);
    }
    if (found == 0 || value < 1 || value > 8)
        return asStored;
    return Orientation(value);
}

}
