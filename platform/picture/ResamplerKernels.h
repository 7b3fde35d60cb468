// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the resampler's files share inside the picture library: the plain
// sums the vector code falls back on for its last samples, and the vector
// code itself (ResamplerVector.cpp), dispatched to the target in use.

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

// The vector code (ResamplerVector.cpp), for the target the dispatch chose;
// called only when simd::UsePlain() is false. Those that return a count did
// that many samples (or pixels) from the start; the caller does the rest.
// The vertical passes take one set of weights, or two (weightsB not null)
// over the same rows at once; count is even.
int32_t VectorVertical(const uint8_t* const* rows, const int16_t* weightsA, const int16_t* weightsB, int32_t count,
                       int32_t width, int16_t* dstA, int16_t* dstB);
int32_t VectorVerticalQ6(const int16_t* const* rows, const int16_t* weightsA, const int16_t* weightsB, int32_t count,
                         int32_t width, int16_t* dstA, int16_t* dstB);
// The lanes of the block weights the horizontal pass reads (AddBlockWeights).
int32_t VectorBlockLanes();
// One or three channels, by the axis's block weights made for VectorBlockLanes().
int32_t VectorHorizontal(const int16_t* const* src, int32_t channels, const AxisWeights& axis, int16_t* const* dst);
// The shape of byte windows the target's pass reads, and the pass: one, two
// or four rows, by byte windows of that shape and a window other than 0.
ByteWindowShape VectorByteWindowsShape();
int32_t VectorByteWindows(const uint8_t* const* src, int32_t rows, const ByteWindows& windows, int16_t* const* dst);
int32_t VectorWiden(const uint8_t* src, int32_t width, int32_t channels, int16_t* dst, size_t stride);
int32_t VectorDeinterleave3(const int16_t* src, int32_t width, int16_t* const* dst);
int32_t VectorPackRgb(const int16_t* const* planes, int32_t width, uint32_t* out);
int32_t VectorPackInterleavedRgb(const int16_t* rgb, int32_t width, uint32_t* out);

}
