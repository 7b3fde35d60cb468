// SPDX-License-Identifier: GPL-3.0-or-later
// The resampler's AVX-512 code: 16 or 32 samples a step with VNNI's
// multiply-adds accumulating in place, and the byte permutes of VBMI.
#include "platform/picture/ResamplerKernels.h"

#if defined(__x86_64__)

#include <array>

#include <immintrin.h>

namespace kalvio::resample {


// VerticalAvx2 on 32 samples a step, the multiply-adds accumulating in place.
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

namespace {

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

int32_t VerticalQ6TwoAvx512(const int16_t* const* rows, const int16_t* weightsA, const int16_t* weightsB,
                            int32_t count, int32_t width, int16_t* dstA, int16_t* dstB)
{
    return VerticalTwoBlocks(rows, weightsA, weightsB, count, width, dstA, dstB);
}

namespace {

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

}

int32_t HorizontalAvx512(const int16_t* const* src, int32_t channels, const AxisWeights& axis, int16_t* const* dst)
{
    if (axis.window > 64)
        return channels == 1 ? HorizontalWindows<1, true>(src, axis, dst) : HorizontalWindows<3, true>(src, axis, dst);
    if (axis.window > 0)
        return channels == 1 ? HorizontalWindows<1, false>(src, axis, dst) : HorizontalWindows<3, false>(src, axis, dst);
    return channels == 1 ? HorizontalBlocks<1>(src, axis, dst) : HorizontalBlocks<3>(src, axis, dst);
}

namespace {

// One step of HorizontalByteWindows: `Blocks` blocks of each of `Rows` rows.
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

}

int32_t HorizontalByteWindowsAvx512(const uint8_t* const* src, int32_t rows, const ByteWindows& windows,
                                    int16_t* const* dst)
{
    if (windows.window > 64)
        return rows == 4 ? HorizontalByteWindows<true, 4>(src, windows, dst)
            : rows == 2  ? HorizontalByteWindows<true, 2>(src, windows, dst)
                         : HorizontalByteWindows<true, 1>(src, windows, dst);
    return rows == 4 ? HorizontalByteWindows<false, 4>(src, windows, dst)
        : rows == 2  ? HorizontalByteWindows<false, 2>(src, windows, dst)
                     : HorizontalByteWindows<false, 1>(src, windows, dst);
}

namespace {

// Thirty-two Q6 samples made bytes, rounded.
__attribute__((target("avx512f,avx512bw"), always_inline))
inline __m256i Bytes32(const int16_t* p, __m512i round)
{
    // The masked forms keep GCC 12 from a false uninitialised warning.
    return _mm512_maskz_cvtepi16_epi8(0xffffffffu, _mm512_srli_epi16(_mm512_add_epi16(_mm512_loadu_si512(p), round), kSampleBits));
}

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

}

#endif
