// SPDX-License-Identifier: GPL-3.0-or-later
// The resampler's passes: each takes the vector code this machine has, and
// plain sums for the samples past its last whole step.
#include "platform/picture/ResamplerKernels.h"

namespace kalvio::resample {

namespace {

void VerticalScalar(const uint8_t* const* rows, const int16_t* weights, int32_t count, int32_t width, int16_t* dst)
{
    for (int32_t x = 0; x < width; ++x) {
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

void Widen(const uint8_t* src, int32_t width, int32_t channels, int16_t* dst, size_t stride)
{
    int32_t x = 0;
#if defined(__x86_64__)
    if (HaveAvx2())
        x = WidenAvx2(src, width, channels, dst, stride);
#endif
    for (; x < width; ++x)
        for (int32_t c = 0; c < channels; ++c)
            dst[size_t(c) * stride + size_t(x)] = int16_t(src[channels * x + c] << kSampleBits);
}

void Deinterleave3(const int16_t* src, int32_t width, int16_t* const* dst)
{
    int32_t x = 0;
#if defined(__x86_64__)
    if (HaveAvx2())
        x = Deinterleave3Vector(src, width, dst);
#endif
    Deinterleave3Scalar(src, x, width, dst);
}

}

namespace kalvio {

using namespace resample;

void VerticalPass(const uint8_t* const* rows, const int16_t* weights, int32_t count, int32_t width, int16_t* dst)
{
#if defined(__x86_64__)
    if (HaveAvx512() && count % 2 == 0)
        return VerticalAvx512(rows, weights, count, width, dst);
    if (HaveAvx2() && count % 2 == 0)
        return VerticalAvx2(rows, weights, count, 0, width, dst);
#endif
    VerticalScalar(rows, weights, count, width, dst);
}

void VerticalPassTwo(const uint8_t* const* rows, const int16_t* weightsA, const int16_t* weightsB, int32_t count,
                     int32_t width, int16_t* dstA, int16_t* dstB)
{
#if defined(__x86_64__)
    if (HaveAvx512() && count % 2 == 0)
        return VerticalTwoAvx512(rows, weightsA, weightsB, count, width, dstA, dstB);
#endif
    VerticalPass(rows, weightsA, count, width, dstA);
    VerticalPass(rows, weightsB, count, width, dstB);
}

void VerticalPassQ6(const int16_t* const* rows, const int16_t* weights, int32_t count, int32_t width, int16_t* dst)
{
    int32_t x = 0;
#if defined(__x86_64__)
    if (HaveAvx512() && count % 2 == 0)
        x = VerticalQ6Avx512(rows, weights, count, width, dst);
    if (HaveAvx2() && count % 2 == 0)
        x = VerticalQ6Avx2(rows, weights, count, x, width, dst);
#endif
    VerticalQ6Scalar(rows, weights, count, x, width, dst);
}

void VerticalPassQ6Two(const int16_t* const* rows, const int16_t* weightsA, const int16_t* weightsB, int32_t count,
                       int32_t width, int16_t* dstA, int16_t* dstB)
{
#if defined(__x86_64__)
    if (HaveAvx512() && count % 2 == 0) {
        const int32_t x = VerticalQ6TwoAvx512(rows, weightsA, weightsB, count, width, dstA, dstB);
        VerticalQ6Scalar(rows, weightsA, count, x, width, dstA);
        VerticalQ6Scalar(rows, weightsB, count, x, width, dstB);
        return;
    }
#endif
    VerticalPassQ6(rows, weightsA, count, width, dstA);
    VerticalPassQ6(rows, weightsB, count, width, dstB);
}

void HorizontalPass(const int16_t* const* src, int32_t channels, const AxisWeights& axis, int16_t* const* dst)
{
    int32_t from = 0;
#if defined(__x86_64__)
    if (HaveAvx512() && axis.lanes == 16 && (channels == 1 || channels == 3))
        from = HorizontalAvx512(src, channels, axis, dst);
    else if (HaveAvx2() && axis.taps % 16 == 0) {
        for (int32_t c = 0; c < channels; ++c)
            HorizontalAvx2(src[c], axis, dst[c]);
        return;
    }
#endif
    for (int32_t c = 0; c < channels; ++c)
        HorizontalScalar(src[c], axis, from, dst[c]);
}

bool HaveByteWindows()
{
#if defined(__x86_64__)
    return HaveAvx512Vbmi();
#else
    return false;
#endif
}

void HorizontalPassBytes(const uint8_t* const* src, int16_t* const* dst, int32_t rows, const AxisWeights& axis,
                         const ByteWindows& windows)
{
    const int32_t channels = windows.channels, outputs = int32_t(axis.first.size()) * channels;
    constexpr int shift = kWeightBits - kSampleBits;
    for (int32_t r = 0; r < rows;) {
        const int32_t here = rows - r >= kRowsAtOnce ? kRowsAtOnce : rows - r >= 2 ? 2 : 1;
        int32_t from = 0;
#if defined(__x86_64__)
        if (HaveAvx512Vbmi() && windows.window > 0)
            from = HorizontalByteWindowsAvx512(src + r, here, windows, dst + r);
#endif
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
    int32_t x = 0;
#if defined(__x86_64__)
    if (HaveAvx2())
        x = PackRgbAvx2(planes, width, out);
#endif
    for (; x < width; ++x)
        out[x] = 0xff000000u | To8(planes[0][x]) << 16 | To8(planes[1][x]) << 8 | To8(planes[2][x]);
}

void PackInterleavedRgb(const int16_t* rgb, int32_t width, uint32_t* out)
{
    int32_t x = 0;
#if defined(__x86_64__)
    if (HaveAvx512Vbmi())
        x = PackInterleavedRgbAvx512(rgb, width, out);
#endif
    for (; x < width; ++x)
        out[x] = 0xff000000u | To8(rgb[3 * x]) << 16 | To8(rgb[3 * x + 1]) << 8 | To8(rgb[3 * x + 2]);
}

}
