// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/picture/JpegLoader.h"

// The loader limits the fuzzer runs with, and the corpus replay with it:
// smaller than the program's, so each input decodes fast.
inline kalvio::JpegLimits JpegFuzzLimits()
{
    kalvio::JpegLimits limits;
    limits.maxPixels = size_t(1) << 22;
    limits.maxDecoderBytes = size_t(64) << 20;
    limits.maxBlockScans = 4'000'000;
    return limits;
}

// The size of the rendition made of each input, from a hash of its bytes: so
// that inputs that differ by a byte also differ in the size asked for, from
// a pixel to a few hundred, reductions and enlargements.
struct RenditionSize {
    int32_t width, height;
};

inline RenditionSize RenditionSizeFor(const uint8_t* data, size_t size)
{
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < size; ++i)
        h = (h ^ data[i]) * 16777619u;
    return { int32_t(1 + h % 397), int32_t(1 + (h >> 16) % 293) };
}
