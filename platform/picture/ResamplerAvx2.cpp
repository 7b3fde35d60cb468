// SPDX-License-Identifier: GPL-3.0-or-later
// The resampler's code for machines with AVX2 (and the steps AVX-512 has no
// code of its own for).
#include "platform/picture/ResamplerKernels.h"

#if defined(__x86_64__)

#include <array>

#include <immintrin.h>

namespace kalvio::resample {

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

namespace {

// Sixteen Q6 samples made bytes (in 16-bit lanes).
__attribute__((target("avx2"), always_inline))
inline __m256i Bytes16(const int16_t* p)
{
    const __m256i round = _mm256_set1_epi16(1 << (kSampleBits - 1));
    return _mm256_srli_epi16(_mm256_add_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), round), kSampleBits);
}

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

}

#endif
