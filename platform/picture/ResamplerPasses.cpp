// SPDX-License-Identifier: GPL-3.0-or-later
// The resampler's passes: each takes the vector code of the target in use,
// and plain sums for the samples past its last whole step (or all of them,
// when the plain code is asked for: the reference every target must equal).
#include "platform/picture/ResamplerKernels.h"

#include "platform/simd/SimdTarget.h"

namespace kalvio::resample {

namespace {

void VerticalScalar(const uint8_t* const* rows, const int16_t* weights, int32_t count, int32_t from, int32_t width,
                    int16_t* dst)
{
    for (int32_t x = from; x < width; ++x) {
        int32_t acc = 0;
        for (int32_t k = 0; k < count; ++k)
            acc += int32_t(weights[k]) * rows[k][x];
        dst[x] = ClampSample((acc + (1 << (kWeightBits - kSampleBits - 1))) >> (kWeightBits - kSampleBits));
    }
}

void VerticalQ6Scalar(const int16_t* const* rows, const int16_t* weights, int32_t count, int32_t from, int32_t width,
                      int16_t* dst)
{
    for (int32_t x = from; x < width; ++x) {
        int32_t acc = 0;
        for (int32_t k = 0; k < count; ++k)
            acc += int32_t(weights[k]) * rows[k][x];
        dst[x] = ClampSample((acc + (1 << (kWeightBits - 1))) >> kWeightBits);
    }
}

int16_t HorizontalOne(const int16_t* src, const int16_t* w, int32_t taps)
{
    int32_t acc = 0;
    for (int32_t t = 0; t < taps; ++t)
        acc += int32_t(w[t]) * src[t];
    return ClampSample((acc + (1 << (kWeightBits - 1))) >> kWeightBits);
}

void Deinterleave3Scalar(const int16_t* src, int32_t from, int32_t width, int16_t* const* dst)
{
    for (int32_t x = from; x < width; ++x) {
        dst[0][x] = src[3 * x];
        dst[1][x] = src[3 * x + 1];
        dst[2][x] = src[3 * x + 2];
    }
}

uint32_t To8(int16_t v) { return uint32_t((v + (1 << (kSampleBits - 1))) >> kSampleBits); }

}

void HorizontalScalar(const int16_t* src, const AxisWeights& axis, int32_t from, int16_t* dst)
{
    const int32_t n = int32_t(axis.first.size());
    for (int32_t j = from; j < n; ++j)
        dst[j] = HorizontalOne(src + axis.first[size_t(j)], axis.weights.data() + size_t(j) * size_t(axis.taps), axis.taps);
}

namespace {

bool Vector() { return !simd::UsePlain(); }

}

void Widen(const uint8_t* src, int32_t width, int32_t channels, int16_t* dst, size_t stride)
{
    int32_t x = Vector() ? VectorWiden(src, width, channels, dst, stride) : 0;
    for (; x < width; ++x)
        for (int32_t c = 0; c < channels; ++c)
            dst[size_t(c) * stride + size_t(x)] = int16_t(src[channels * x + c] << kSampleBits);
}

void Deinterleave3(const int16_t* src, int32_t width, int16_t* const* dst)
{
    Deinterleave3Scalar(src, Vector() ? VectorDeinterleave3(src, width, dst) : 0, width, dst);
}

}

namespace kalvio {

using namespace resample;

// The vector passes over rows need pairs of rows: an odd count goes plainly.
void VerticalPass(const uint8_t* const* rows, const int16_t* weights, int32_t count, int32_t width, int16_t* dst)
{
    const int32_t x = Vector() && count % 2 == 0 ? VectorVertical(rows, weights, nullptr, count, width, dst, nullptr) : 0;
    VerticalScalar(rows, weights, count, x, width, dst);
}

void VerticalPassTwo(const uint8_t* const* rows, const int16_t* weightsA, const int16_t* weightsB, int32_t count,
                     int32_t width, int16_t* dstA, int16_t* dstB)
{
    const int32_t x = Vector() && count % 2 == 0 ? VectorVertical(rows, weightsA, weightsB, count, width, dstA, dstB) : 0;
    VerticalScalar(rows, weightsA, count, x, width, dstA);
    VerticalScalar(rows, weightsB, count, x, width, dstB);
}

void VerticalPassQ6(const int16_t* const* rows, const int16_t* weights, int32_t count, int32_t width, int16_t* dst)
{
    const int32_t x = Vector() && count % 2 == 0 ? VectorVerticalQ6(rows, weights, nullptr, count, width, dst, nullptr) : 0;
    VerticalQ6Scalar(rows, weights, count, x, width, dst);
}

void VerticalPassQ6Two(const int16_t* const* rows, const int16_t* weightsA, const int16_t* weightsB, int32_t count,
                       int32_t width, int16_t* dstA, int16_t* dstB)
{
    const int32_t x
        = Vector() && count % 2 == 0 ? VectorVerticalQ6(rows, weightsA, weightsB, count, width, dstA, dstB) : 0;
    VerticalQ6Scalar(rows, weightsA, count, x, width, dstA);
    VerticalQ6Scalar(rows, weightsB, count, x, width, dstB);
}

int32_t HorizontalLanes() { return Vector() ? VectorBlockLanes() : 0; }

void HorizontalPass(const int16_t* const* src, int32_t channels, const AxisWeights& axis, int16_t* const* dst)
{
    const int32_t from = Vector() && axis.lanes > 0 ? VectorHorizontal(src, channels, axis, dst) : 0;
    for (int32_t c = 0; c < channels; ++c)
        HorizontalScalar(src[c], axis, from, dst[c]);
}

ByteWindowShape ByteWindowsShape() { return Vector() ? VectorByteWindowsShape() : ByteWindowShape {}; }

void HorizontalPassBytes(const uint8_t* const* src, int16_t* const* dst, int32_t rows, const AxisWeights& axis,
                         const ByteWindows& windows)
{
    const int32_t channels = windows.channels, outputs = int32_t(axis.first.size()) * channels;
    constexpr int shift = kWeightBits - kSampleBits;
    const bool vector = windows.window > 0 && windows.shape == ByteWindowsShape();
    for (int32_t r = 0; r < rows;) {
        const int32_t here = rows - r >= kRowsAtOnce ? kRowsAtOnce : rows - r >= 2 ? 2 : 1;
        const int32_t from = vector ? VectorByteWindows(src + r, here, windows, dst + r) : 0;
        for (int32_t i = r; i < r + here; ++i)
            for (int32_t k = from; k < outputs; ++k) {
                const size_t j = size_t(k / channels);
                const uint8_t* in = src[i] + size_t(channels) * size_t(axis.first[j]) + size_t(k % channels);
                const int16_t* w = axis.weights.data() + j * size_t(axis.taps);
                int32_t acc = 0;
                for (int32_t t = 0; t < axis.used[j]; ++t)
                    acc += int32_t(w[t]) * in[size_t(channels) * size_t(t)];
                dst[i][k] = ClampSample((acc + (1 << (shift - 1))) >> shift);
            }
        r += here;
    }
}

void PackRgb(const int16_t* const* planes, int32_t width, uint32_t* out)
{
    for (int32_t x = Vector() ? VectorPackRgb(planes, width, out) : 0; x < width; ++x)
        out[x] = 0xff000000u | To8(planes[0][x]) << 16 | To8(planes[1][x]) << 8 | To8(planes[2][x]);
}

void PackInterleavedRgb(const int16_t* rgb, int32_t width, uint32_t* out)
{
    for (int32_t x = Vector() ? VectorPackInterleavedRgb(rgb, width, out) : 0; x < width; ++x)
        out[x] = 0xff000000u | To8(rgb[3 * x]) << 16 | To8(rgb[3 * x + 1]) << 8 | To8(rgb[3 * x + 2]);
}

}
