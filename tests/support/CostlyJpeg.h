// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Tiny JPEG files that declare huge pictures and hold no picture data: what a
// hostile folder can offer the loader. Each is a few hundred bytes.

#include <cstdint>
#include <vector>

namespace kalvio::test {

enum class CostlyKind {
    ProgressiveScans, // progressive, arithmetic-coded grey with 100 empty scans
    BaselineGrey,     // baseline Huffman grey
    BaselineColour,   // baseline Huffman YCbCr 4:2:0
    ArithmeticGrey,   // sequential arithmetic-coded grey
};

inline std::vector<uint8_t> CostlyJpeg(CostlyKind kind, uint16_t side = 15800, int scans = 100)
{
    std::vector<uint8_t> f { 0xFF, 0xD8 };
    auto add = [&](std::initializer_list<int> bytes) {
        for (int b : bytes)
            f.push_back(uint8_t(b));
    };
    // One quantisation table of ones.
    add({ 0xFF, 0xDB, 0x00, 0x43, 0x00 });
    f.insert(f.end(), 64, 1);
    const int hi = side >> 8, lo = side & 0xff;
    const bool colour = kind == CostlyKind::BaselineColour;
    const int marker = kind == CostlyKind::ProgressiveScans ? 0xCA : kind == CostlyKind::ArithmeticGrey ? 0xC9 : 0xC0;
    if (colour)
        add({ 0xFF, marker, 0x00, 0x11, 0x08, hi, lo, hi, lo, 0x03, 1, 0x22, 0, 2, 0x11, 0, 3, 0x11, 0 });
    else
        add({ 0xFF, marker, 0x00, 0x0B, 0x08, hi, lo, hi, lo, 0x01, 1, 0x11, 0 });
    if (marker == 0xC0) {
        // Huffman tables with a single one-bit code: symbol 0 (a zero DC
        // difference, or the end of a block).
        add({ 0xFF, 0xC4, 0x00, 0x14, 0x00, 1 });
        f.insert(f.end(), 15, 0);
        add({ 0, 0xFF, 0xC4, 0x00, 0x14, 0x10, 1 });
        f.insert(f.end(), 15, 0);
        add({ 0 });
    }
    if (kind == CostlyKind::ProgressiveScans) {
        // The DC scan, then the same AC scan over and over: each walks every
        // block of the picture, though no data follows any of them.
        add({ 0xFF, 0xDA, 0x00, 0x08, 0x01, 1, 0x00, 0, 0, 0x00 });
        for (int i = 1; i < scans; ++i)
            add({ 0xFF, 0xDA, 0x00, 0x08, 0x01, 1, 0x00, 1, 63, 0x00 });
    } else if (colour) {
        add({ 0xFF, 0xDA, 0x00, 0x0C, 0x03, 1, 0x00, 2, 0x00, 3, 0x00, 0, 63, 0x00 });
    } else {
        add({ 0xFF, 0xDA, 0x00, 0x08, 0x01, 1, 0x00, 0, 63, 0x00 });
    }
    add({ 0xFF, 0xD9 });
    return f;
}

}
