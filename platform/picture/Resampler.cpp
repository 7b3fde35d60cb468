// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/picture/Resampler.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <numeric>
#include <utility>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace kalvio {

namespace {

double Sinc(double x)
{
    if (x == 0)
        return 1;
    x *= std::numbers::pi;
    return std::sin(x) / x;
}

double Support(Kernel k) { return k == Kernel::Lanczos3 ? 3 : 2; }

double Weight(Kernel k, double x)
{
    x = std::fabs(x);
    if (k == Kernel::Lanczos3)
        return x < 3 ? Sinc(x) * Sinc(x / 3) : 0;
    constexpr double B = 1.0 / 3, C = 1.0 / 3;
    if (x < 1)
        return ((12 - 9 * B - 6 * C) * x * x * x + (-18 + 12 * B + 6 * C) * x * x + (6 - 2 * B)) / 6;
    if (x < 2)
        return ((-B - 6 * C) * x * x * x + (6 * B + 30 * C) * x * x + (-12 * B - 48 * C) * x + (8 * B + 24 * C)) / 6;
    return 0;
}

int16_t ClampSample(int32_t v) { return int16_t(std::clamp<int32_t>(v, 0, kSampleMax)); }

void VerticalScalar(const uint8_t* const* rows, const int16_t* weights, int32_t count, int32_t width, int16_t* dst)
{
    for (int32_t x = 0; x < width; ++x) {
        int32_t acc = 0;
        for (int32_t k = 0; k < count; ++k)
            acc += int32_t(weights[k]) * rows[k][x];
        dst[x] = ClampSample((acc + (1 << (kWeightBits - kSampleBits - 1))) >> (kWeightBits - kSampleBits));
    }
}

int16_t HorizontalOne(const int16_t* src, const int16_t* w, int32_t taps)
{
    int32_t acc = 0;
    for (int32_t t = 0; t < taps; ++t)
        acc += int32_t(w[t]) * src[t];
    return ClampSample((acc + (1 << (kWeightBits - 1))) >> kWeightBits);
}

void HorizontalScalar(const int16_t* src, const AxisWeights& axis, int32_t from, int16_t* dst)
{
    const int32_t n = int32_t(axis.first.size());
    for (int32_t j = from; j < n; ++j)
        dst[j] = HorizontalOne(src + axis.first[size_t(j)], axis.weights.data() + size_t(j) * size_t(axis.taps), axis.taps);
}

#if defined(__x86_64__)
// Sixteen samples of two rows at a time: the rows' bytes widened and
// interleaved, so one multiply-add applies a pair of weights.
__attribute__((target("avx2")))
void VerticalAvx2(const uint8_t* const* rows, const int16_t* weights, int32_t count, int32_t from, int32_t width,
                  int16_t* dst)
{
    const __m256i round = _mm256_set1_epi32(1 << (kWeightBits - kSampleBits - 1));
    const __m256i high = _mm256_set1_epi16(kSampleMax);
    for (int32_t x = from; x < width; x += 16) {
        __m256i lo = _mm256_setzero_si256(), hi = _mm256_setzero_si256();
        for (int32_t k = 0; k < count; k += 2) {
            const __m256i a = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[k] + x)));
            const __m256i b = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[k + 1] + x)));
            const __m256i w = _mm256_set1_epi32(int32_t(uint16_t(weights[k])) | int32_t(uint32_t(uint16_t(weights[k + 1])) << 16));
            lo = _mm256_add_epi32(lo, _mm256_madd_epi16(_mm256_unpacklo_epi16(a, b), w));
            hi = _mm256_add_epi32(hi, _mm256_madd_epi16(_mm256_unpackhi_epi16(a, b), w));
        }
        lo = _mm256_srai_epi32(_mm256_add_epi32(lo, round), kWeightBits - kSampleBits);
        hi = _mm256_srai_epi32(_mm256_add_epi32(hi, round), kWeightBits - kSampleBits);
        // The unpacks split each lane in halves; packing lane by lane puts them back in order.
        __m256i v = _mm256_packs_epi32(lo, hi);
        v = _mm256_min_epi16(_mm256_max_epi16(v, _mm256_setzero_si256()), high);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + x), v);
    }
}

// Eight output samples at a time: one multiply-add per sixteen taps of each,
// then the eight sums reduced together.
__attribute__((target("avx2")))
void HorizontalAvx2(const int16_t* src, const AxisWeights& axis, int16_t* dst)
{
    const int32_t n = int32_t(axis.first.size()), taps = axis.taps;
    const __m256i round = _mm256_set1_epi32(1 << (kWeightBits - 1));
    const __m128i high = _mm_set1_epi16(kSampleMax);
    int32_t j = 0;
    for (; j + 8 <= n; j += 8) {
        __m256i sum[8];
        for (int32_t i = 0; i < 8; ++i) {
            const int16_t* s = src + axis.first[size_t(j + i)];
            const int16_t* w = axis.weights.data() + size_t(j + i) * size_t(taps);
            __m256i acc = _mm256_setzero_si256();
            for (int32_t t = 0; t < taps; t += 16)
                acc = _mm256_add_epi32(acc, _mm256_madd_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + t)),
                                                              _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w + t))));
            sum[i] = acc;
        }
        const __m256i s01 = _mm256_hadd_epi32(sum[0], sum[1]), s23 = _mm256_hadd_epi32(sum[2], sum[3]);
        const __m256i s45 = _mm256_hadd_epi32(sum[4], sum[5]), s67 = _mm256_hadd_epi32(sum[6], sum[7]);
        const __m256i s0123 = _mm256_hadd_epi32(s01, s23), s4567 = _mm256_hadd_epi32(s45, s67);
        __m256i total = _mm256_add_epi32(_mm256_permute2x128_si256(s0123, s4567, 0x20),
                                         _mm256_permute2x128_si256(s0123, s4567, 0x31));
        total = _mm256_srai_epi32(_mm256_add_epi32(total, round), kWeightBits);
        __m128i v = _mm_packs_epi32(_mm256_castsi256_si128(total), _mm256_extracti128_si256(total, 1));
        v = _mm_min_epi16(_mm_max_epi16(v, _mm_setzero_si128()), high);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + j), v);
    }
    HorizontalScalar(src, axis, j, dst);
}

// The same on 32 samples a step, the multiply-adds accumulating in place.
__attribute__((target("avx512f,avx512bw,avx512vnni")))
void VerticalAvx512(const uint8_t* const* rows, const int16_t* weights, int32_t count, int32_t width, int16_t* dst)
{
    const __m512i round = _mm512_set1_epi32(1 << (kWeightBits - kSampleBits - 1));
    const __m512i high = _mm512_set1_epi16(kSampleMax);
    int32_t x = 0;
    for (; x + 32 <= width; x += 32) {
        __m512i lo = round, hi = round;
        for (int32_t k = 0; k < count; k += 2) {
            const __m512i a = _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[k] + x)));
            const __m512i b = _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[k + 1] + x)));
            const __m512i w = _mm512_set1_epi32(int32_t(uint16_t(weights[k])) | int32_t(uint32_t(uint16_t(weights[k + 1])) << 16));
            lo = _mm512_dpwssd_epi32(lo, _mm512_unpacklo_epi16(a, b), w);
            hi = _mm512_dpwssd_epi32(hi, _mm512_unpackhi_epi16(a, b), w);
        }
        lo = _mm512_maskz_srai_epi32(0xffff, lo, kWeightBits - kSampleBits);
        hi = _mm512_maskz_srai_epi32(0xffff, hi, kWeightBits - kSampleBits);
        __m512i v = _mm512_packs_epi32(lo, hi);
        v = _mm512_min_epi16(_mm512_max_epi16(v, _mm512_setzero_si512()), high);
        _mm512_storeu_si512(dst + x, v);
    }
    if (x < width)
        VerticalAvx2(rows, weights, count, x, width, dst);
}

// VerticalAvx2 on Q6 rows: 16 samples a step.
__attribute__((target("avx2")))
int32_t VerticalQ6Avx2(const int16_t* const* rows, const int16_t* weights, int32_t count, int32_t from, int32_t width,
                       int16_t* dst)
{
    const __m256i round = _mm256_set1_epi32(1 << (kWeightBits - 1));
    const __m256i high = _mm256_set1_epi16(kSampleMax);
    int32_t x = from;
    for (; x + 16 <= width; x += 16) {
        __m256i lo = round, hi = round;
        for (int32_t k = 0; k < count; k += 2) {
            const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[k] + x));
            const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[k + 1] + x));
            const __m256i w = _mm256_set1_epi32(int32_t(uint16_t(weights[k])) | int32_t(uint32_t(uint16_t(weights[k + 1])) << 16));
            lo = _mm256_add_epi32(lo, _mm256_madd_epi16(_mm256_unpacklo_epi16(a, b), w));
            hi = _mm256_add_epi32(hi, _mm256_madd_epi16(_mm256_unpackhi_epi16(a, b), w));
        }
        const __m256i v = _mm256_packs_epi32(_mm256_srai_epi32(lo, kWeightBits), _mm256_srai_epi32(hi, kWeightBits));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + x), _mm256_min_epi16(_mm256_max_epi16(v, _mm256_setzero_si256()), high));
    }
    return x;
}

// VerticalAvx512 on Q6 rows: 32 samples a step, rows paired by unpacking.
__attribute__((target("avx512f,avx512bw,avx512vnni")))
int32_t VerticalQ6Avx512(const int16_t* const* rows, const int16_t* weights, int32_t count, int32_t width, int16_t* dst)
{
    const __m512i round = _mm512_set1_epi32(1 << (kWeightBits - 1));
    const __m512i high = _mm512_set1_epi16(kSampleMax);
    int32_t x = 0;
    for (; x + 32 <= width; x += 32) {
        __m512i lo = round, hi = round;
        for (int32_t k = 0; k < count; k += 2) {
            const __m512i a = _mm512_loadu_si512(rows[k] + x), b = _mm512_loadu_si512(rows[k + 1] + x);
            const __m512i w = _mm512_set1_epi32(int32_t(uint16_t(weights[k])) | int32_t(uint32_t(uint16_t(weights[k + 1])) << 16));
            lo = _mm512_dpwssd_epi32(lo, _mm512_unpacklo_epi16(a, b), w);
            hi = _mm512_dpwssd_epi32(hi, _mm512_unpackhi_epi16(a, b), w);
        }
        const __m512i v = _mm512_packs_epi32(_mm512_maskz_srai_epi32(0xffff, lo, kWeightBits),
                                             _mm512_maskz_srai_epi32(0xffff, hi, kWeightBits));
        _mm512_storeu_si512(dst + x, _mm512_min_epi16(_mm512_max_epi16(v, _mm512_setzero_si512()), high));
    }
    return x;
}

// Sixteen pixels of `channels` (1 or 3) interleaved bytes a step made Q6
// rows, one a channel. Returns how many pixels it did.
__attribute__((target("avx2")))
int32_t WidenAvx2(const uint8_t* src, int32_t width, int32_t channels, int16_t* dst, size_t stride)
{
    int32_t x = 0;
    if (channels == 1) {
        for (; x + 16 <= width; x += 16) {
            const __m256i v = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + x)));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + x), _mm256_slli_epi16(v, kSampleBits));
        }
        return x;
    }
    // For channel c and load k (16 bytes each), where that load's bytes of
    // the channel go among the channel's sixteen; -1 = none.
    static const auto kMask = [] {
        std::array<std::array<std::array<int8_t, 16>, 3>, 3> m {};
        for (int c = 0; c < 3; ++c)
            for (int k = 0; k < 3; ++k)
                for (int i = 0; i < 16; ++i) {
                    const int at = 3 * i + c;
                    m[size_t(c)][size_t(k)][size_t(i)] = int8_t(at / 16 == k ? at % 16 : -1);
                }
        return m;
    }();
    __m128i mask[3][3];
    for (int c = 0; c < 3; ++c)
        for (int k = 0; k < 3; ++k)
            mask[c][k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kMask[size_t(c)][size_t(k)].data()));
    for (; x + 16 <= width; x += 16) {
        const __m128i* in = reinterpret_cast<const __m128i*>(src + 3 * x);
        const __m128i a = _mm_loadu_si128(in), b = _mm_loadu_si128(in + 1), d = _mm_loadu_si128(in + 2);
        for (int c = 0; c < 3; ++c) {
            const __m128i v = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, mask[c][0]), _mm_shuffle_epi8(b, mask[c][1])),
                                           _mm_shuffle_epi8(d, mask[c][2]));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + size_t(c) * stride + size_t(x)),
                                _mm256_slli_epi16(_mm256_cvtepu8_epi16(v), kSampleBits));
        }
    }
    return x;
}

// Thirty-two samples of a row as 16-bit lanes: bytes widened, Q6 as they are.
__attribute__((target("avx512f,avx512bw"), always_inline))
inline __m512i Load32(const uint8_t* p) { return _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p))); }
__attribute__((target("avx512f,avx512bw"), always_inline))
inline __m512i Load32(const int16_t* p) { return _mm512_loadu_si512(p); }

// The vertical pass for two sets of weights, on rows of bytes or of Q6
// samples: each pair of rows is loaded and interleaved once for both. Returns
// how many samples it did (whole groups of 32).
template <typename Sample>
__attribute__((target("avx512f,avx512bw,avx512vnni")))
int32_t VerticalTwoBlocks(const Sample* const* rows, const int16_t* weightsA, const int16_t* weightsB, int32_t count,
                          int32_t width, int16_t* dstA, int16_t* dstB)
{
    constexpr int shift = sizeof(Sample) == 1 ? kWeightBits - kSampleBits : kWeightBits;
    const __m512i round = _mm512_set1_epi32(1 << (shift - 1));
    const __m512i high = _mm512_set1_epi16(kSampleMax);
    auto pairOf = [](const int16_t* w, int32_t k) {
        return int32_t(uint16_t(w[k])) | int32_t(uint32_t(uint16_t(w[k + 1])) << 16);
    };
    int32_t x = 0;
    for (; x + 32 <= width; x += 32) {
        __m512i loA = round, hiA = round, loB = round, hiB = round;
        for (int32_t k = 0; k < count; k += 2) {
            const __m512i a = Load32(rows[k] + x), b = Load32(rows[k + 1] + x);
            const __m512i lo = _mm512_unpacklo_epi16(a, b), hi = _mm512_unpackhi_epi16(a, b);
            const __m512i wA = _mm512_set1_epi32(pairOf(weightsA, k)), wB = _mm512_set1_epi32(pairOf(weightsB, k));
            loA = _mm512_dpwssd_epi32(loA, lo, wA);
            hiA = _mm512_dpwssd_epi32(hiA, hi, wA);
            loB = _mm512_dpwssd_epi32(loB, lo, wB);
            hiB = _mm512_dpwssd_epi32(hiB, hi, wB);
        }
        const __m512i vA = _mm512_packs_epi32(_mm512_maskz_srai_epi32(0xffff, loA, shift),
                                              _mm512_maskz_srai_epi32(0xffff, hiA, shift));
        const __m512i vB = _mm512_packs_epi32(_mm512_maskz_srai_epi32(0xffff, loB, shift),
                                              _mm512_maskz_srai_epi32(0xffff, hiB, shift));
        _mm512_storeu_si512(dstA + x, _mm512_min_epi16(_mm512_max_epi16(vA, _mm512_setzero_si512()), high));
        _mm512_storeu_si512(dstB + x, _mm512_min_epi16(_mm512_max_epi16(vB, _mm512_setzero_si512()), high));
    }
    return x;
}

void VerticalTwoAvx512(const uint8_t* const* rows, const int16_t* weightsA, const int16_t* weightsB, int32_t count,
                       int32_t width, int16_t* dstA, int16_t* dstB)
{
    const int32_t x = VerticalTwoBlocks(rows, weightsA, weightsB, count, width, dstA, dstB);
    if (x < width) {
        VerticalAvx2(rows, weightsA, count, x, width, dstA);
        VerticalAvx2(rows, weightsB, count, x, width, dstB);
    }
}

// Sixteen output samples a step, of every channel at once: each input pair,
// broadcast, is multiplied by the sixteen outputs' weights for it, so the sums
// build up lane by lane with no reduction at the end. Two sums a channel (even
// and odd pairs) keep the multiply-adds from waiting on each other.
__attribute__((target("avx512f,avx512bw,avx512vnni"), always_inline))
inline __m512i PairAt(const int16_t* p)
{
    // Read in place so that it becomes a broadcast from memory (one load).
    typedef int32_t Unaligned __attribute__((may_alias, aligned(1)));
    return _mm512_set1_epi32(*reinterpret_cast<const Unaligned*>(p));
}

template <int Channels>
__attribute__((target("avx512f,avx512bw,avx512vnni")))
int32_t HorizontalBlocks(const int16_t* const* src, const AxisWeights& axis, int16_t* const* dst)
{
    const int32_t blocks = int32_t(axis.blockFirst.size()), pairs = axis.pairs;
    const __m256i high = _mm256_set1_epi16(kSampleMax);
    for (int32_t b = 0; b < blocks; ++b) {
        const int32_t base = axis.blockFirst[size_t(b)];
        const int32_t* w = axis.blockWeights.data() + size_t(b) * size_t(pairs) * 16;
        __m512i even[Channels], odd[Channels];
#pragma GCC unroll 3
        for (int c = 0; c < Channels; ++c) {
            even[c] = _mm512_set1_epi32(1 << (kWeightBits - 1));
            odd[c] = _mm512_setzero_si512();
        }
        int32_t q = 0;
        for (; q + 2 <= pairs; q += 2) {
            const __m512i w0 = _mm512_loadu_si512(w + size_t(q) * 16), w1 = _mm512_loadu_si512(w + size_t(q + 1) * 16);
    #pragma GCC unroll 3
        for (int c = 0; c < Channels; ++c) {
                even[c] = _mm512_dpwssd_epi32(even[c], PairAt(src[c] + base + 2 * q), w0);
                odd[c] = _mm512_dpwssd_epi32(odd[c], PairAt(src[c] + base + 2 * q + 2), w1);
            }
        }
        if (q < pairs) {
            const __m512i w0 = _mm512_loadu_si512(w + size_t(q) * 16);
    #pragma GCC unroll 3
        for (int c = 0; c < Channels; ++c)
                even[c] = _mm512_dpwssd_epi32(even[c], PairAt(src[c] + base + 2 * q), w0);
        }
#pragma GCC unroll 3
        for (int c = 0; c < Channels; ++c) {
            const __m512i sum = _mm512_maskz_srai_epi32(0xffff, _mm512_add_epi32(even[c], odd[c]), kWeightBits);
            __m256i v = _mm512_maskz_cvtsepi32_epi16(0xffff, sum);
            v = _mm256_min_epi16(_mm256_max_epi16(v, _mm256_setzero_si256()), high);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst[c] + size_t(b) * 16), v);
        }
    }
    return blocks * 16;
}

// Sixteen output samples a step, of every channel at once, from a window of
// 64 or 128 input samples held in two or four registers: for each pair of
// taps, one permute (two and a blend for 128) gathers every output's two
// samples into its lane, and one multiply-add weighs them. Fewer steps than
// HorizontalBlocks, which goes through every input pair of the block, when
// each output reads only a few of them.
template <int Channels, bool Wide>
__attribute__((target("avx512f,avx512bw,avx512vnni")))
int32_t HorizontalWindows(const int16_t* const* src, const AxisWeights& axis, int16_t* const* dst)
{
    const int32_t blocks = int32_t(axis.blockFirst.size()), pairs = axis.windowPairs;
    const __m256i high = _mm256_set1_epi16(kSampleMax);
    const __m512i upperHalf = _mm512_set1_epi16(64);
    for (int32_t b = 0; b < blocks; ++b) {
        const int32_t base = axis.blockFirst[size_t(b)];
        const int16_t* index = axis.windowIndex.data() + size_t(b) * size_t(pairs) * 32;
        const int32_t* w = axis.windowWeights.data() + size_t(b) * size_t(pairs) * 16;
        __m512i r0[Channels], r1[Channels], r2[Channels], r3[Channels], sum[Channels];
#pragma GCC unroll 3
        for (int c = 0; c < Channels; ++c) {
            r0[c] = _mm512_loadu_si512(src[c] + base);
            r1[c] = _mm512_loadu_si512(src[c] + base + 32);
            if (Wide) {
                r2[c] = _mm512_loadu_si512(src[c] + base + 64);
                r3[c] = _mm512_loadu_si512(src[c] + base + 96);
            }
            sum[c] = _mm512_set1_epi32(1 << (kWeightBits - 1));
        }
        for (int32_t q = 0; q < pairs; ++q) {
            const __m512i at = _mm512_loadu_si512(index + size_t(q) * 32);
            const __m512i weights = _mm512_loadu_si512(w + size_t(q) * 16);
            const __mmask32 upper = Wide ? _mm512_test_epi16_mask(at, upperHalf) : 0;
#pragma GCC unroll 3
            for (int c = 0; c < Channels; ++c) {
                __m512i v = _mm512_permutex2var_epi16(r0[c], at, r1[c]);
                if (Wide)
                    v = _mm512_mask_blend_epi16(upper, v, _mm512_permutex2var_epi16(r2[c], at, r3[c]));
                sum[c] = _mm512_dpwssd_epi32(sum[c], v, weights);
            }
        }
#pragma GCC unroll 3
        for (int c = 0; c < Channels; ++c) {
            // The masked forms keep GCC 12 from a false uninitialised warning.
            __m256i v = _mm512_maskz_cvtsepi32_epi16(0xffff, _mm512_maskz_srai_epi32(0xffff, sum[c], kWeightBits));
            v = _mm256_min_epi16(_mm256_max_epi16(v, _mm256_setzero_si256()), high);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst[c] + size_t(b) * 16), v);
        }
    }
    return blocks * 16;
}

template <int Channels>
int32_t HorizontalWindows(const int16_t* const* src, const AxisWeights& axis, int16_t* const* dst)
{
    return axis.window > 64 ? HorizontalWindows<Channels, true>(src, axis, dst) : HorizontalWindows<Channels, false>(src, axis, dst);
}

// Sixteen Q6 samples made bytes (in 16-bit lanes).
__attribute__((target("avx2"), always_inline))
inline __m256i Bytes16(const int16_t* p)
{
    const __m256i round = _mm256_set1_epi16(1 << (kSampleBits - 1));
    return _mm256_srli_epi16(_mm256_add_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), round), kSampleBits);
}

// Sixteen pixels a step: blue and green, red and the opaque top byte paired
// in 16-bit lanes, then interleaved into 32-bit pixels.
__attribute__((target("avx2")))
int32_t PackRgbAvx2(const int16_t* const* planes, int32_t width, uint32_t* out)
{
    const __m256i opaque = _mm256_set1_epi16(int16_t(0xff00));
    int32_t x = 0;
    for (; x + 16 <= width; x += 16) {
        const __m256i gb = _mm256_or_si256(Bytes16(planes[2] + x), _mm256_slli_epi16(Bytes16(planes[1] + x), 8));
        const __m256i ar = _mm256_or_si256(Bytes16(planes[0] + x), opaque);
        const __m256i lo = _mm256_unpacklo_epi16(gb, ar), hi = _mm256_unpackhi_epi16(gb, ar);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), _mm256_permute2x128_si256(lo, hi, 0x20));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x + 8), _mm256_permute2x128_si256(lo, hi, 0x31));
    }
    return x;
}

// Thirty-two Q6 samples made bytes, rounded.
__attribute__((target("avx512f,avx512bw"), always_inline))
inline __m256i Bytes32(const int16_t* p, __m512i round)
{
    // The masked forms keep GCC 12 from a false uninitialised warning.
    return _mm512_maskz_cvtepi16_epi8(0xffffffffu, _mm512_srli_epi16(_mm512_add_epi16(_mm512_loadu_si512(p), round), kSampleBits));
}

// Thirty-two pixels a step from interleaved Q6 red, green and blue: the
// samples rounded and narrowed to bytes (96 of them, 32 a register), then
// each pixel's three bytes put in place by one byte permute of the two
// registers they lie in, the opaque top byte added.
__attribute__((target("avx512f,avx512bw,avx512vbmi")))
int32_t PackInterleavedRgbAvx512(const int16_t* rgb, int32_t width, uint32_t* out)
{
    static const auto kOrder = [] {
        std::array<std::array<uint8_t, 64>, 2> order {};
        for (int half = 0; half < 2; ++half)
            for (int p = 0; p < 16; ++p)
                for (int c = 0; c < 3; ++c) { // blue, green, red from the lowest byte up
                    // Byte `at` of the 96 lies in the register of its 32
                    // (this half's first two: bytes 0 to 31 and 64 to 95 of the pair).
                    const int at = 3 * (16 * half + p) + 2 - c - 32 * half;
                    order[size_t(half)][size_t(4 * p + c)] = uint8_t(at < 32 ? at : at + 32);
                }
        return order;
    }();
    const __m512i first = _mm512_loadu_si512(kOrder[0].data()), second = _mm512_loadu_si512(kOrder[1].data());
    const __m512i round = _mm512_set1_epi16(1 << (kSampleBits - 1));
    const __m512i opaque = _mm512_set1_epi32(int32_t(0xff000000u));
    constexpr __mmask64 colour = 0x7777777777777777ull;
    int32_t x = 0;
    for (; x + 32 <= width; x += 32) {
        const int16_t* in = rgb + size_t(3) * size_t(x);
        // Only the low halves are read.
        const __m512i a = _mm512_castsi256_si512(Bytes32(in, round));
        const __m512i b = _mm512_castsi256_si512(Bytes32(in + 32, round));
        const __m512i c = _mm512_castsi256_si512(Bytes32(in + 64, round));
        _mm512_storeu_si512(out + x, _mm512_or_si512(_mm512_maskz_permutex2var_epi8(colour, a, first, b), opaque));
        _mm512_storeu_si512(out + x + 16, _mm512_or_si512(_mm512_maskz_permutex2var_epi8(colour, b, second, c), opaque));
    }
    return x;
}

bool HaveAvx512()
{
    static const bool avx512 = __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vnni");
    return avx512;
}

bool HaveAvx2()
{
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2;
}

bool HaveAvx512Vbmi()
{
    static const bool vbmi = HaveAvx512() && __builtin_cpu_supports("avx512vbmi");
    return vbmi;
}

// Sixteen interleaved output samples a step from a window of 64 or 128
// decoded bytes in one or two registers: for each pair of taps, one byte
// permute puts every output's two samples in the low bytes of its lane's
// two words (the high bytes zeroed), and one multiply-add weighs them. The
// bytes go in as they came from the decoder: no widening, no splitting into
// channels.
template <bool Wide, int Blocks, int Rows>
__attribute__((target("avx512f,avx512bw,avx512vnni,avx512vbmi"), always_inline))
inline void ByteWindowBlocks(const uint8_t* const* src, const ByteWindows& bw, int32_t b, int16_t* const* dst)
{
    const int32_t pairs = bw.pairs;
    const __mmask64 lowBytes = 0x5555555555555555ull;
    const __m256i high = _mm256_set1_epi16(kSampleMax);
    const __m512i next = _mm512_set1_epi16(int16_t(2 * bw.channels));
    constexpr int shift = kWeightBits - kSampleBits;
    __m512i r0[Rows][Blocks], r1[Rows][Blocks], sum[Rows][Blocks], at[Blocks];
    const int32_t* w[Blocks];
#pragma GCC unroll 4
    for (int n = 0; n < Blocks; ++n) {
#pragma GCC unroll 4
        for (int r = 0; r < Rows; ++r) {
            const uint8_t* window = src[r] + bw.blockFirst[size_t(b + n)];
            r0[r][n] = _mm512_loadu_si512(window);
            r1[r][n] = Wide ? _mm512_loadu_si512(window + 64) : r0[r][n];
            sum[r][n] = _mm512_set1_epi32(1 << (shift - 1));
        }
        at[n] = _mm512_loadu_si512(bw.index.data() + size_t(b + n) * 64);
        w[n] = bw.weights.data() + size_t(b + n) * size_t(pairs) * 16;
    }
    for (int32_t q = 0; q < pairs; ++q) {
#pragma GCC unroll 4
        for (int n = 0; n < Blocks; ++n) {
            const __m512i weights = _mm512_loadu_si512(w[n] + size_t(q) * 16);
#pragma GCC unroll 4
            for (int r = 0; r < Rows; ++r) {
                const __m512i v = Wide ? _mm512_maskz_permutex2var_epi8(lowBytes, r0[r][n], at[n], r1[r][n])
                                       : _mm512_maskz_permutexvar_epi8(lowBytes, at[n], r0[r][n]);
                sum[r][n] = _mm512_dpwssd_epi32(sum[r][n], v, weights);
            }
            at[n] = _mm512_add_epi16(at[n], next);
        }
    }
#pragma GCC unroll 4
    for (int n = 0; n < Blocks; ++n) {
#pragma GCC unroll 4
        for (int r = 0; r < Rows; ++r) {
            __m256i v = _mm512_maskz_cvtsepi32_epi16(0xffff, _mm512_maskz_srai_epi32(0xffff, sum[r][n], shift));
            v = _mm256_min_epi16(_mm256_max_epi16(v, _mm256_setzero_si256()), high);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst[r] + size_t(b + n) * 16), v);
        }
    }
}

// Sixteen interleaved output samples a block from a window of 64 or 128
// decoded bytes in one or two registers: for each pair of taps, one byte
// permute puts every output's two samples in the low bytes of its lane's
// two words (the high bytes zeroed), and one multiply-add weighs them; the
// next pair's samples are `channels` bytes further on each, so the indices
// are made by adding, not loaded. The bytes go in as they came from the
// decoder: no widening, no splitting into channels. Rows fed together (up to
// four) share the loads of the weights, the pass's memory traffic; with
// fewer rows, more blocks at once keep as many sums building side by side.
template <bool Wide, int Rows>
__attribute__((target("avx512f,avx512bw,avx512vnni,avx512vbmi")))
int32_t HorizontalByteWindows(const uint8_t* const* src, const ByteWindows& bw, int16_t* const* dst)
{
    constexpr int Blocks = Rows == 4 ? 1 : Rows == 2 ? 2 : 4;
    const int32_t blocks = int32_t(bw.blockFirst.size());
    int32_t b = 0;
    for (; b + Blocks <= blocks; b += Blocks)
        ByteWindowBlocks<Wide, Blocks, Rows>(src, bw, b, dst);
    for (; b < blocks; ++b)
        ByteWindowBlocks<Wide, 1, Rows>(src, bw, b, dst);
    return blocks * 16;
}

// Eight pixels (24 samples, three loads) a step: each channel gathered from
// the three loads by byte shuffles. Returns how many pixels it did.
__attribute__((target("avx2")))
int32_t Deinterleave3Vector(const int16_t* src, int32_t width, int16_t* const* dst)
{
    // For channel c and load k, the bytes of the samples of that channel
    // that load holds, placed where they go in the channel's eight; -1 = none.
    static const int8_t kMask[3][3][16] = {
        { { 0, 1, 6, 7, 12, 13, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1 },
          { -1, -1, -1, -1, -1, -1, 2, 3, 8, 9, 14, 15, -1, -1, -1, -1 },
          { -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 4, 5, 10, 11 } },
        { { 2, 3, 8, 9, 14, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1 },
          { -1, -1, -1, -1, -1, -1, 4, 5, 10, 11, -1, -1, -1, -1, -1, -1 },
          { -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 1, 6, 7, 12, 13 } },
        { { 4, 5, 10, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1 },
          { -1, -1, -1, -1, 0, 1, 6, 7, 12, 13, -1, -1, -1, -1, -1, -1 },
          { -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 2, 3, 8, 9, 14, 15 } },
    };
    __m128i mask[3][3];
    for (int c = 0; c < 3; ++c)
        for (int k = 0; k < 3; ++k)
            mask[c][k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kMask[c][k]));
    int32_t x = 0;
    for (; x + 8 <= width; x += 8) {
        const __m128i* in = reinterpret_cast<const __m128i*>(src + 3 * x);
        const __m128i a = _mm_loadu_si128(in), b = _mm_loadu_si128(in + 1), d = _mm_loadu_si128(in + 2);
        for (int c = 0; c < 3; ++c) {
            const __m128i v = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, mask[c][0]), _mm_shuffle_epi8(b, mask[c][1])),
                                           _mm_shuffle_epi8(d, mask[c][2]));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst[c] + x), v);
        }
    }
    return x;
}
#endif

int32_t RoundUp(int32_t v, int32_t m) { return (v + m - 1) / m * m; }

constexpr int32_t kRowsAtOnce = 4;

// Three interleaved channels into three rows.
void Deinterleave3Scalar(const int16_t* src, int32_t from, int32_t width, int16_t* const* dst)
{
    for (int32_t x = from; x < width; ++x) {
        dst[0][x] = src[3 * x];
        dst[1][x] = src[3 * x + 1];
        dst[2][x] = src[3 * x + 2];
    }
}

// Rows of `channels` interleaved bytes made Q6 rows, one a channel, `stride` apart.
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

AxisWeights MakeAxisWeights(int32_t inSize, int32_t outSize, Kernel kernel, int32_t multiple)
{
    AxisWeights a;
    const double inPerOut = double(inSize) / outSize;
    const double blur = std::max(1.0, inPerOut);
    const double support = Support(kernel) * blur;
    a.first.resize(size_t(outSize));
    a.used.resize(size_t(outSize));
    std::vector<std::vector<double>> all(static_cast<size_t>(outSize));
    // Output j + period sits `step` inputs after output j, at the same
    // phase: away from the ends, its weights are j's (the sines of a whole
    // axis cost more than the resampling of a small picture).
    const int32_t common = std::gcd(inSize, outSize), period = outSize / common, step = inSize / common;
    std::vector<int32_t> samePhase(size_t(std::min(period, outSize)), -1);
    for (int32_t j = 0; j < outSize; ++j) {
        const double centre = (j + 0.5) * inPerOut;
        int32_t start = int32_t(std::max(centre - support + 0.5, 0.0));
        int32_t stop = int32_t(std::min(centre + support + 0.5, double(inSize)));
        if (stop <= start) {
            start = std::clamp(int32_t(centre), 0, inSize - 1);
            stop = start + 1;
        }
        a.first[size_t(j)] = start;
        a.used[size_t(j)] = stop - start;
        a.taps = std::max(a.taps, stop - start);
        const bool inside = centre - support + 0.5 > 0 && centre + support + 0.5 < inSize;
        int32_t& seen = samePhase[size_t(j % period)];
        if (inside && seen >= 0 && start - a.first[size_t(seen)] == (j - seen) / period * step
            && stop - start == a.used[size_t(seen)]) {
            all[size_t(j)] = all[size_t(seen)];
            continue;
        }
        if (inside)
            seen = j;
        std::vector<double>& v = all[size_t(j)];
        double sum = 0;
        for (int32_t i = start; i < stop; ++i) {
            v.push_back(Weight(kernel, (i + 0.5 - centre) / blur));
            sum += v.back();
        }
        if (sum == 0) {
            v.assign(v.size(), 0.0);
            v[std::min(size_t(centre - start), v.size() - 1)] = 1;
            sum = 1;
        }
        for (double& w : v)
            w /= sum;
    }
    a.taps = RoundUp(a.taps, multiple);
    a.weights.assign(size_t(outSize) * size_t(a.taps), 0);
    for (int32_t j = 0; j < outSize; ++j) {
        const std::vector<double>& v = all[size_t(j)];
        int16_t* out = a.weights.data() + size_t(j) * size_t(a.taps);
        int32_t sum = 0;
        size_t largest = 0;
        for (size_t i = 0; i < v.size(); ++i) {
            out[i] = int16_t(std::lround(v[i] * (1 << kWeightBits)));
            sum += out[i];
            if (v[i] > v[largest])
                largest = i;
        }
        // Rounding must not change the brightness: the weights sum to one exactly.
        out[largest] = int16_t(out[largest] + (1 << kWeightBits) - sum);
    }
    return a;
}

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

namespace {

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
        const int32_t x = VerticalTwoBlocks(rows, weightsA, weightsB, count, width, dstA, dstB);
        VerticalQ6Scalar(rows, weightsA, count, x, width, dstA);
        VerticalQ6Scalar(rows, weightsB, count, x, width, dstB);
        return;
    }
#endif
    VerticalPassQ6(rows, weightsA, count, width, dstA);
    VerticalPassQ6(rows, weightsB, count, width, dstB);
}

bool AcrossFirst(int32_t inWidth, int32_t inHeight, int32_t outWidth, int32_t outHeight)
{
    return int64_t(outWidth) * inHeight > int64_t(outHeight) * inWidth;
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

void HorizontalPass(const int16_t* const* src, int32_t channels, const AxisWeights& axis, int16_t* const* dst)
{
    int32_t from = 0;
#if defined(__x86_64__)
    if (HaveAvx512() && axis.lanes == 16 && axis.window > 0 && (channels == 1 || channels == 3))
        from = channels == 1 ? HorizontalWindows<1>(src, axis, dst) : HorizontalWindows<3>(src, axis, dst);
    else if (HaveAvx512() && axis.lanes == 16 && (channels == 1 || channels == 3))
        from = channels == 1 ? HorizontalBlocks<1>(src, axis, dst) : HorizontalBlocks<3>(src, axis, dst);
    else if (HaveAvx2() && axis.taps % 16 == 0) {
        for (int32_t c = 0; c < channels; ++c)
            HorizontalAvx2(src[c], axis, dst[c]);
        return;
    }
#endif
    for (int32_t c = 0; c < channels; ++c)
        HorizontalScalar(src[c], axis, from, dst[c]);
}

#if defined(__x86_64__)
namespace {

template <bool Wide>
int32_t ByteWindowRows(const uint8_t* const* src, int32_t rows, const ByteWindows& windows, int16_t* const* dst)
{
    return rows == 4 ? HorizontalByteWindows<Wide, 4>(src, windows, dst)
        : rows == 2  ? HorizontalByteWindows<Wide, 2>(src, windows, dst)
                     : HorizontalByteWindows<Wide, 1>(src, windows, dst);
}

}
#endif

bool HaveByteWindows()
{
#if defined(__x86_64__)
    return HaveAvx512Vbmi();
#else
    return false;
#endif
}

ByteWindows MakeByteWindows(const AxisWeights& axis, int32_t channels)
{
    constexpr int32_t lanes = 16;
    ByteWindows bw;
    bw.channels = channels;
    const int32_t outputs = int32_t(axis.first.size()) * channels, blocks = outputs / lanes;
    int32_t span = 0, pairs = 0;
    bw.blockFirst.resize(size_t(blocks));
    for (int32_t b = 0; b < blocks; ++b) {
        const int32_t base = channels * axis.first[size_t(b * lanes / channels)];
        bw.blockFirst[size_t(b)] = base;
        for (int32_t k = b * lanes; k < (b + 1) * lanes; ++k) {
            const size_t j = size_t(k / channels);
            if (channels * axis.first[j] + k % channels < base)
                return bw; // the outputs' inputs must not go back (window 0)
            span = std::max(span, channels * (axis.first[j] + axis.used[j] - 1) + k % channels + 1 - base);
            pairs = std::max(pairs, (axis.used[j] + 1) / 2);
        }
    }
    bw.window = span <= 64 ? 64 : span <= kWindow ? kWindow : 0;
    if (bw.window == 0)
        return bw;
    bw.pairs = pairs;
    bw.index.assign(size_t(blocks) * lanes * 4, 0);
    bw.weights.assign(size_t(blocks) * size_t(pairs) * lanes, 0);
    for (int32_t k = 0; k < blocks * lanes; ++k) {
        const int32_t b = k / lanes, i = k % lanes, c = k % channels;
        const size_t j = size_t(k / channels);
        const int16_t* w = axis.weights.data() + j * size_t(axis.taps);
        for (int32_t h = 0; h < 2; ++h) {
            // An unused tap weighs nothing, wherever its index points.
            const int32_t at = channels * (axis.first[j] + h) + c - bw.blockFirst[size_t(b)];
            bw.index[(size_t(b) * lanes + size_t(i)) * 4 + 2 * size_t(h)] = uint8_t(std::min(at, bw.window - 1));
        }
        for (int32_t t = 0; t < axis.used[j]; ++t) {
            int32_t& cell = bw.weights[(size_t(b) * size_t(pairs) + size_t(t / 2)) * lanes + size_t(i)];
            cell = int32_t(uint32_t(cell) | uint32_t(uint16_t(w[t])) << (16 * (t % 2)));
        }
    }
    return bw;
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
            from = windows.window > 64 ? ByteWindowRows<true>(src + r, here, windows, dst + r)
                                       : ByteWindowRows<false>(src + r, here, windows, dst + r);
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

namespace {

uint32_t To8(int16_t v) { return uint32_t((v + (1 << (kSampleBits - 1))) >> kSampleBits); }

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

namespace {

void AddWindowWeights(AxisWeights& axis)
{
    const int32_t lanes = axis.lanes, blocks = int32_t(axis.blockFirst.size());
    int32_t pairs = 0, span = 0;
    for (int32_t j = 0; j < blocks * lanes; ++j) {
        span = std::max(span, axis.first[size_t(j)] + axis.used[size_t(j)] - axis.blockFirst[size_t(j / lanes)]);
        pairs = std::max(pairs, (axis.used[size_t(j)] + 1) / 2);
    }
    axis.window = span <= 64 ? 64 : span <= kWindow ? kWindow : 0;
    if (axis.window == 0)
        return;
    axis.windowPairs = pairs;
    axis.windowIndex.assign(size_t(blocks) * size_t(pairs) * size_t(lanes) * 2, 0);
    axis.windowWeights.assign(size_t(blocks) * size_t(pairs) * size_t(lanes), 0);
    for (int32_t j = 0; j < blocks * lanes; ++j) {
        const int32_t b = j / lanes, i = j % lanes, at = axis.first[size_t(j)] - axis.blockFirst[size_t(b)];
        const int16_t* w = axis.weights.data() + size_t(j) * size_t(axis.taps);
        for (int32_t q = 0; q < pairs; ++q) {
            const size_t cell = (size_t(b) * size_t(pairs) + size_t(q)) * size_t(lanes) + size_t(i);
            // Taps past the ones used weigh nothing; their index stays inside the window.
            const int32_t t = 2 * q;
            axis.windowIndex[2 * cell] = int16_t(std::min(at + t, axis.window - 1));
            axis.windowIndex[2 * cell + 1] = int16_t(std::min(at + t + 1, axis.window - 1));
            const uint32_t w0 = t < axis.used[size_t(j)] ? uint16_t(w[t]) : 0;
            const uint32_t w1 = t + 1 < axis.used[size_t(j)] ? uint16_t(w[t + 1]) : 0;
            axis.windowWeights[cell] = int32_t(w0 | w1 << 16);
        }
    }
}

}

void AddBlockWeights(AxisWeights& axis, int32_t lanes)
{
    const int32_t n = int32_t(axis.first.size()), blocks = n / lanes;
    axis.lanes = lanes;
    axis.blockFirst.resize(size_t(blocks));
    int32_t span = 0;
    for (int32_t b = 0; b < blocks; ++b) {
        const int32_t base = axis.first[size_t(b * lanes)];
        axis.blockFirst[size_t(b)] = base;
        for (int32_t i = 0; i < lanes; ++i) {
            const size_t j = size_t(b * lanes + i);
            span = std::max(span, axis.first[j] + axis.used[j] - base);
        }
    }
    axis.pairs = (span + 1) / 2;
    AddWindowWeights(axis);
    axis.blockWeights.assign(size_t(blocks) * size_t(axis.pairs) * size_t(lanes), 0);
    for (int32_t b = 0; b < blocks; ++b) {
        for (int32_t i = 0; i < lanes; ++i) {
            const size_t j = size_t(b * lanes + i);
            for (int32_t t = 0; t < axis.used[j]; ++t) {
                const int32_t at = axis.first[j] + t - axis.blockFirst[size_t(b)];
                int32_t& cell = axis.blockWeights[(size_t(b) * size_t(axis.pairs) + size_t(at / 2)) * size_t(lanes) + size_t(i)];
                const uint32_t w = uint16_t(axis.weights[j * size_t(axis.taps) + size_t(t)]);
                cell = int32_t(uint32_t(cell) | (at % 2 ? w << 16 : w));
            }
        }
    }
}

RowResampler::RowResampler(int32_t inWidth, int32_t inHeight, int32_t outWidth, int32_t outHeight, int32_t channels,
                           Kernel kernel, int32_t batch)
    : m_inWidth(inWidth)
    , m_channels(channels)
    , m_x(MakeAxisWeights(inWidth, outWidth, kernel, 16))
    , m_y(MakeAxisWeights(inHeight, outHeight, kernel, 2))
    , m_ringRows(m_y.taps + batch)
    , m_acrossFirst(AcrossFirst(inWidth, inHeight, outWidth, outHeight))
    , m_bytes(m_acrossFirst && (channels == 1 || channels == 3) && HaveByteWindows() ? MakeByteWindows(m_x, channels) : ByteWindows {})
    , m_byteRows(m_bytes.window > 0)
    , m_slotRows(m_acrossFirst ? batch : m_ringRows)
    // The vertical pass reads and writes whole groups of 16 samples; the
    // byte windows read up to kWindow bytes on.
    , m_stride(size_t(RoundUp(inWidth * channels, 16) + (m_byteRows ? kWindow : 0)))
    , m_ring(m_stride * size_t(m_slotRows), 0)
    // Across first, the rows are split into channels straight into m_planes,
    // or not at all (m_byteRows: m_mid is the interleaved output row).
    , m_mid(m_byteRows ? size_t(RoundUp(outWidth * channels, 32))
                : m_acrossFirst ? 0 : std::max(m_stride + 16, size_t(RoundUp(inWidth, 16) + m_x.taps + kWindow + 16)), 0)
    , m_planeStride(size_t(RoundUp(inWidth, 16) + m_x.taps + kWindow + 16))
    , m_planes((channels == 1 && !m_acrossFirst) || m_byteRows ? 0 : m_planeStride * size_t(channels), 0)
    , m_rows(size_t(2 * m_y.taps + 2))
    , m_outHeight(outHeight)
    , m_midNext(m_acrossFirst && !m_byteRows ? 0 : m_mid.size(), 0)
    , m_weightsA(m_rows.size())
    , m_weightsB(m_rows.size())
    , m_outWidth(outWidth)
{
    if (m_acrossFirst) {
        m_outPlane = size_t(RoundUp(outWidth, 32));
        m_across.assign(m_outPlane * size_t(channels) * size_t(m_ringRows), 0);
        m_acrossRows.resize(m_rows.size());
    }
#if defined(__x86_64__)
    if (HaveAvx512())
        AddBlockWeights(m_x, 16);
#endif
}

void RowResampler::fedUpTo(int32_t y)
{
    if (m_byteRows) {
        const uint8_t* in[kRowsAtOnce];
        int16_t* out[kRowsAtOnce];
        for (int32_t i = m_fed; i < y; i += kRowsAtOnce) {
            const int32_t rows = std::min(kRowsAtOnce, y - i);
            for (int32_t r = 0; r < rows; ++r) {
                in[r] = slot(i + r);
                out[r] = acrossRow(i + r);
            }
            HorizontalPassBytes(in, out, rows, m_x, m_bytes);
        }
    } else if (m_acrossFirst) {
        int16_t* planes[3] = { m_planes.data(), m_planes.data() + m_planeStride, m_planes.data() + 2 * m_planeStride };
        const int16_t* in[3] = { planes[0], planes[1], planes[2] };
        for (int32_t i = m_fed; i < y; ++i) {
            Widen(slot(i), m_inWidth, m_channels, m_planes.data(), m_planeStride);
            int16_t* row = m_across.data() + size_t(i % m_ringRows) * m_outPlane * size_t(m_channels);
            int16_t* out[3] = { row, row + m_outPlane, row + 2 * m_outPlane };
            HorizontalPass(in, m_channels, m_x, out);
        }
    }
    m_fed = y;
}

bool RowResampler::ready(int32_t y) const
{
    return m_y.first[size_t(y)] + m_y.used[size_t(y)] <= m_fed;
}

// Rows y and y + 1 in one vertical pass over the rows either reads, each
// weighing the other's rows nothing; y + 1 kept in m_midNext.
bool RowResampler::verticalTwo(int32_t y)
{
    if (y + 1 >= m_outHeight || !ready(y + 1))
        return false;
    const int32_t first = m_y.first[size_t(y)], used = m_y.used[size_t(y)];
    const int32_t shift = m_y.first[size_t(y + 1)] - first, usedNext = m_y.used[size_t(y + 1)];
    const int32_t count = RoundUp(std::max(used, shift + usedNext), 2);
    if (shift < 0 || count > int32_t(m_rows.size()))
        return false;
    const int16_t* a = m_y.weights.data() + size_t(y) * size_t(m_y.taps);
    const int16_t* b = m_y.weights.data() + size_t(y + 1) * size_t(m_y.taps);
    const int32_t last = first + std::max(used, shift + usedNext) - 1;
    for (int32_t t = 0; t < count; ++t) {
        const int32_t row = std::min(first + t, last); // padding taps weigh nothing
        if (m_byteRows)
            m_acrossRows[size_t(t)] = acrossRow(row);
        else
            m_rows[size_t(t)] = slot(row);
        m_weightsA[size_t(t)] = t < used ? a[t] : 0;
        m_weightsB[size_t(t)] = t >= shift && t - shift < usedNext ? b[t - shift] : 0;
    }
    if (m_byteRows)
        VerticalPassQ6Two(m_acrossRows.data(), m_weightsA.data(), m_weightsB.data(), count, m_outWidth * m_channels,
                          m_mid.data(), m_midNext.data());
    else
        VerticalPassTwo(m_rows.data(), m_weightsA.data(), m_weightsB.data(), count, m_inWidth * m_channels, m_mid.data(),
                        m_midNext.data());
    m_midNextRow = y + 1;
    return true;
}

const int16_t* RowResampler::downNarrow(int32_t y)
{
    if (m_midNextRow == y) {
        m_mid.swap(m_midNext);
        m_midNextRow = -1;
    } else if (!verticalTwo(y)) {
        const int32_t first = m_y.first[size_t(y)], used = m_y.used[size_t(y)];
        for (int32_t t = 0; t < m_y.taps; ++t) // padding taps weigh nothing
            m_acrossRows[size_t(t)] = acrossRow(first + (t < used ? t : 0));
        VerticalPassQ6(m_acrossRows.data(), m_y.weights.data() + size_t(y) * size_t(m_y.taps), m_y.taps,
                       m_outWidth * m_channels, m_mid.data());
    }
    return m_mid.data();
}

void RowResampler::makePixels(int32_t y, uint32_t* out)
{
    if (m_byteRows && m_channels == 3)
        return PackInterleavedRgb(downNarrow(y), m_outWidth, out);
    const size_t width = size_t(m_outWidth);
    m_pixelPlanes.resize(width * size_t(m_channels));
    int16_t* planes[3] = { m_pixelPlanes.data(), m_pixelPlanes.data() + (m_channels > 1 ? width : 0),
                           m_pixelPlanes.data() + (m_channels > 1 ? 2 * width : 0) };
    make(y, planes);
    const int16_t* in[3] = { planes[0], planes[1], planes[2] };
    PackRgb(in, m_outWidth, out);
}

void RowResampler::make(int32_t y, int16_t* const* out)
{
    if (m_byteRows) {
        const int16_t* row = downNarrow(y);
        if (m_channels == 3)
            Deinterleave3(row, m_outWidth, out);
        else
            std::copy_n(row, m_outWidth, out[0]);
        return;
    }
    if (m_acrossFirst) {
        const int32_t first = m_y.first[size_t(y)], used = m_y.used[size_t(y)];
        const int16_t* weights = m_y.weights.data() + size_t(y) * size_t(m_y.taps);
        for (int32_t c = 0; c < m_channels; ++c) {
            for (int32_t t = 0; t < m_y.taps; ++t) // padding taps weigh nothing
                m_acrossRows[size_t(t)] = m_across.data() + (size_t((first + (t < used ? t : 0)) % m_ringRows) * size_t(m_channels)
                                                             + size_t(c)) * m_outPlane;
            VerticalPassQ6(m_acrossRows.data(), weights, m_y.taps, m_outWidth, out[c]);
        }
        return;
    }
    if (m_midNextRow == y) {
        m_mid.swap(m_midNext);
        m_midNextRow = -1;
    } else if (!verticalTwo(y)) {
        const int32_t first = m_y.first[size_t(y)], used = m_y.used[size_t(y)];
        for (int32_t t = 0; t < m_y.taps; ++t)
            m_rows[size_t(t)] = slot(first + (t < used ? t : 0)); // padding taps weigh nothing
        VerticalPass(m_rows.data(), m_y.weights.data() + size_t(y) * size_t(m_y.taps), m_y.taps, m_inWidth * m_channels,
                     m_mid.data());
    }
    if (m_channels == 1) {
        // Past the input width the horizontal weights are zero; keep the
        // samples there clean all the same.
        std::fill(m_mid.begin() + m_inWidth, m_mid.end(), int16_t(0));
        const int16_t* plane = m_mid.data();
        HorizontalPass(&plane, 1, m_x, out);
        return;
    }
    int16_t* split[3] = { m_planes.data(), m_planes.data() + m_planeStride, m_planes.data() + 2 * m_planeStride };
    Deinterleave3(m_mid.data(), m_inWidth, split);
    const int16_t* planes[3] = { split[0], split[1], split[2] };
    HorizontalPass(planes, 3, m_x, out);
}

}
