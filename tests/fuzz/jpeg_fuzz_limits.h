#pragma once

#include "platform/JpegLoader.h"

// The loader limits the fuzzer runs with, and the corpus replay with it:
// smaller than the program's, so each input decodes fast.
inline kalvio::JpegLimits JpegFuzzLimits()
{
    kalvio::JpegLimits limits;
    limits.maxPixels = size_t(1) << 22;
    limits.maxDecoderBytes = size_t(64) << 20;
    return limits;
}
