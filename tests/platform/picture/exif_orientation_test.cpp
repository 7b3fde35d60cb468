// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/picture/ExifOrientation.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

using namespace kalvio;

namespace {

using Bytes = std::vector<uint8_t>;

// Writes an Exif block in one byte order: "Exif\0\0", the TIFF header and
// whatever directories a case puts after it.
class Block {
public:
    explicit Block(bool bigEndian, uint32_t firstDirectory = 8) : big_(bigEndian)
    {
        bytes_ = { 'E', 'x', 'i', 'f', 0, 0 };
        bytes_.push_back(big_ ? 'M' : 'I');
        bytes_.push_back(big_ ? 'M' : 'I');
        u16(42);
        u32(firstDirectory);
    }
    Block& u16(uint16_t v)
    {
        const uint8_t hi = uint8_t(v >> 8), lo = uint8_t(v);
        bytes_.insert(bytes_.end(), big_ ? std::initializer_list<uint8_t> { hi, lo } : std::initializer_list<uint8_t> { lo, hi });
        return *this;
    }
    Block& u32(uint32_t v) { return big_ ? u16(uint16_t(v >> 16)).u16(uint16_t(v)) : u16(uint16_t(v)).u16(uint16_t(v >> 16)); }
    // One directory entry whose value is a 16-bit number stored in place.
    Block& entry(uint16_t tag, uint16_t type, uint32_t count, uint16_t value)
    {
        return u16(tag).u16(type).u32(count).u16(value).u16(0);
    }
    // A directory of orientation-like entries and a link to the next one.
    Block& directory(std::initializer_list<std::array<uint32_t, 4>> entries, uint32_t next = 0)
    {
        u16(uint16_t(entries.size()));
        for (const auto& e : entries)
            entry(uint16_t(e[0]), uint16_t(e[1]), e[2], uint16_t(e[3]));
        return u32(next);
    }
    Block& pad(size_t n)
    {
        bytes_.insert(bytes_.end(), n, 0);
        return *this;
    }
    Bytes bytes() const { return bytes_; }

private:
    bool big_;
    Bytes bytes_;
};

constexpr uint32_t kTag = 0x0112, kShort = 3, kLong = 4;

// A real block's first directory: a few other tags around the orientation.
Bytes Camera(bool big, uint16_t value)
{
    return Block(big).directory({ { 0x010f, 2, 4, 0 }, { 0x0110, 2, 4, 0 }, { kTag, kShort, 1, value }, { 0x011a, 5, 1, 0 } }).bytes();
}

// Reads a copy of exactly the block's size, so that the address sanitizer
// sees any read past its end.
Orientation Read(const Bytes& block)
{
    const Bytes exact(block);
    return ReadExifOrientation(exact.empty() ? nullptr : exact.data(), exact.size());
}

}

TEST(ExifOrientation, EveryValueInBothByteOrders)
{
    for (bool big : { false, true })
        for (uint16_t value = 1; value <= 8; ++value) {
            SCOPED_TRACE(std::string(big ? "MM " : "II ") + std::to_string(value));
            EXPECT_EQ(Read(Camera(big, value)), Orientation(value));
        }
}

TEST(ExifOrientation, UntrustworthyBlocksMeanAsStored)
{
    struct Case {
        const char* what;
        Bytes block;
        Orientation expected;
    };
    Bytes badOrder = Camera(false, 6);
    badOrder[7] = 'M';
    Bytes notFortyTwo = Camera(true, 6);
    notFortyTwo[9] = 43;
    Bytes notExif = Camera(false, 6);
    notExif[5] = 1;
    const Case cases[] = {
        { "nothing", {}, Orientation::Upright },
        { "header only", Block(false).bytes(), Orientation::Upright },
        { "no orientation tag", Block(true).directory({ { 0x010f, 2, 4, 0 } }).bytes(), Orientation::Upright },
        { "empty directory", Block(false).directory({}).bytes(), Orientation::Upright },
        { "value 0", Camera(false, 0), Orientation::Upright },
        { "value 9", Camera(true, 9), Orientation::Upright },
        { "value 0xffff", Camera(false, 0xffff), Orientation::Upright },
        { "type LONG", Block(false).directory({ { kTag, kLong, 1, 6 } }).bytes(), Orientation::Upright },
        { "type BYTE", Block(true).directory({ { kTag, 1, 1, 6 } }).bytes(), Orientation::Upright },
        { "two values", Block(false).directory({ { kTag, kShort, 2, 6 } }).bytes(), Orientation::Upright },
        { "huge value count", Block(true).directory({ { kTag, kShort, 0xffffffff, 6 } }).bytes(), Orientation::Upright },
        { "two tags that agree", Block(false).directory({ { kTag, kShort, 1, 6 }, { kTag, kShort, 1, 6 } }).bytes(), Orientation::Upright },
        { "two tags that differ", Block(true).directory({ { kTag, kShort, 1, 6 }, { kTag, kShort, 1, 8 } }).bytes(), Orientation::Upright },
        { "directory past the end", Block(false, 4000).directory({ { kTag, kShort, 1, 6 } }).bytes(), Orientation::Upright },
        { "directory at offset 0xffffffff", Block(true, 0xffffffff).directory({ { kTag, kShort, 1, 6 } }).bytes(), Orientation::Upright },
        { "directory inside the header", Block(false, 2).directory({ { kTag, kShort, 1, 6 } }).bytes(), Orientation::Upright },
        { "entry count past the end", Block(true).u16(0xffff).entry(kTag, kShort, 1, 6).u32(0).bytes(), Orientation::Upright },
        { "unknown byte order", badOrder, Orientation::Upright },
        { "not 42", notFortyTwo, Orientation::Upright },
        { "not Exif", notExif, Orientation::Upright },
        // Only the first directory is read: a loop of links is never walked,
        // and orientations in later directories (thumbnails) do not count.
        { "directory linked to itself", Block(false).directory({ { kTag, kShort, 1, 6 } }, 8).bytes(), Orientation::Rotate90 },
        { "loop without the tag", Block(true).directory({ { 0x010f, 2, 4, 0 } }, 8).bytes(), Orientation::Upright },
        { "tag in the next directory only",
          Block(false).directory({ { 0x010f, 2, 4, 0 } }, 26).directory({ { kTag, kShort, 1, 6 } }).bytes(),
          Orientation::Upright },
        { "directory at an odd offset", Block(true, 9).pad(1).u16(1).entry(kTag, kShort, 1, 3).u32(0).bytes(), Orientation::Rotate180 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Read(c.block), c.expected);
    }
}

TEST(ExifOrientation, TruncatedBlocksAreReadOnlyWhenTheDirectoryIsWhole)
{
    for (bool big : { false, true }) {
        const Bytes whole = Camera(big, 8);
        // Header (14 bytes), entry count (2), four entries (48); the link to
        // the next directory (4) is not needed.
        const size_t directoryEnd = 6 + 8 + 2 + 4 * 12;
        for (size_t size = 0; size <= whole.size(); ++size) {
            SCOPED_TRACE(size);
            const Bytes cut(whole.begin(), whole.begin() + ptrdiff_t(size));
            EXPECT_EQ(Read(cut), size >= directoryEnd ? Orientation::Rotate270 : Orientation::Upright);
        }
    }
}
