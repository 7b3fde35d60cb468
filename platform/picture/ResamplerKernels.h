// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the resampler's files share inside the picture library: the plain
// sums the vector code falls back on for its last samples, and the vector
// code itself (ResamplerAvx2.cpp, ResamplerAvx512.cpp), each function built
// for its instruction set and called only where the machine has it.

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "platform/picture/Resampler.h"

namespace kalvio::resample {

inline int16_t ClampSample(int32_t v) { return int16_t(std::clamp<int32_t>(v, 0, kSampleMax)); }

inline int32_t RoundUp(int32_t v, int32_t m) { return (v + m - 1) / m * m; }

// Rows of bytes made narrow together by HorizontalPassBytes.
constexpr int32_t kRowsAtOnce = 4;

// The horizontal pass of one row, plainly, from output sample `from` on.
void HorizontalScalar(const int16_t* src, const AxisWeights& axis, int32_t from, int16_t* dst);

// Rows of `channels` interleaved bytes made Q6 rows, one a channel, `stride` apart.
void Widen(const uint8_t* src, int32_t width, int32_t channels, int16_t* dst, size_t stride);
// Three interleaved channels into three rows.
void Deinterleave3(const int16_t* src, int32_t width, int16_t* const* dst);

#if defined(__x86_64__)
inline bool HaveAvx512()
{
    static const bool avx512 = __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vnni");
    return avx512;
}

inline bool HaveAvx2()
{
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2;
}

inline bool HaveAvx512Vbmi()
{
    static const bool vbmi = HaveAvx512() && __builtin_cpu_supports("avx512vbmi");
    return vbmi;
}

// AVX2. Those that return a count did that many samples (or pixels) from the
// start, in whole steps; the caller does the rest.
void VerticalAvx2(const uint8_t* const* rows, const int16_t* weights, int32_t count, int32_t from, int32_t width,
                  int16_t* dst);
void HorizontalAvx2(const int16_t* src, const AxisWeights& axis, int16_t* dst);
int32_t VerticalQ6Avx2(const int16_t* const* rows, const int16_t* weights, int32_t count, int32_t from, int32_t width,
                       int16_t* dst);
int32_t WidenAvx2(const uint8_t* src, int32_t width, int32_t channels, int16_t* dst, size_t stride);
int32_t PackRgbAvx2(const int16_t* const* planes, int32_t width, uint32_t* out);
int32_t Deinterleave3Vector(const int16_t* src, int32_t width, int16_t* const* dst);

// AVX-512 (with VNNI; VBMI for the byte windows and the interleaved pack).
void VerticalAvx512(const uint8_t* const* rows, const int16_t* weights, int32_t count, int32_t width, int16_t* dst);
void VerticalTwoAvx512(const uint8_t* const* rows, const int16_t* weightsA, const int16_t* weightsB, int32_t count,
                       int32_t width, int16_t* dstA, int16_t* dstB);
int32_t VerticalQ6Avx512(const int16_t* const* rows, const int16_t* weights, int32_t count, int32_t width, int16_t* dst);
int32_t VerticalQ6TwoAvx512(const int16_t* const* rows, const int16_t* weightsA, const int16_t* weightsB,
                            int32_t count, int32_t width, int16_t* dstA, int16_t* dstB);
// One or three channels, by the axis's block weights (AddBlockWeights with 16 lanes).
int32_t HorizontalAvx512(const int16_t* const* src, int32_t channels, const AxisWeights& axis, int16_t* const* dst);
// One, two or four rows, by byte windows of a window other than 0.
int32_t HorizontalByteWindowsAvx512(const uint8_t* const* src, int32_t rows, const ByteWindows& windows,
                                    int16_t* const* dst);
int32_t PackInterleavedRgbAvx512(const int16_t* rgb, int32_t width, uint32_t* out);
#endif

}
