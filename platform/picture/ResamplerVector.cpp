// SPDX-License-Identifier: GPL-3.0-or-later
// The resampler's vector code, written once with Highway: foreach_target.h
// compiles this file again for each instruction set of the architecture, and
// the functions at the end call the one the dispatch chose. Each kernel does
// whole vectors and returns how many samples (or pixels) it did; the plain
// code in ResamplerPasses.cpp does the rest. Integer sums are exact, so the
// order the lanes add up in changes nothing: every target gives the plain
// code's numbers.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "platform/picture/ResamplerVector.cpp"
#include <hwy/foreach_target.h> // IWYU pragma: keep

#include <hwy/highway.h>

#include <cstring>

#include "platform/picture/ResamplerKernels.h"

HWY_BEFORE_NAMESPACE();
namespace kalvio::resample::HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

#if HWY_TARGET == HWY_SCALAR

// Highway's scalar fallback is never chosen (the plain code runs instead);
// these keep its dispatch table whole.
int32_t VerticalBytesKernel(const uint8_t* const*, const int16_t*, const int16_t*, int32_t, int32_t, int16_t*, int16_t*) { return 0; }
int32_t VerticalQ6Kernel(const int16_t* const*, const int16_t*, const int16_t*, int32_t, int32_t, int16_t*, int16_t*) { return 0; }
int32_t BlockLanesKernel() { return 0; }
int32_t HorizontalBlocksKernel(const int16_t* const*, int32_t, const AxisWeights&, int16_t* const*) { return 0; }
ByteWindowShape ByteWindowsShapeKernel() { return {}; }
int32_t ByteWindowsKernel(const uint8_t* const*, int32_t, const ByteWindows&, int16_t* const*) { return 0; }
int32_t WidenKernel(const uint8_t*, int32_t, int32_t, int16_t*, size_t) { return 0; }
int32_t Deinterleave3Kernel(const int16_t*, int32_t, int16_t* const*) { return 0; }
int32_t PackRgbKernel(const int16_t* const*, int32_t, uint32_t*) { return 0; }
int32_t PackInterleavedRgbKernel(const int16_t*, int32_t, uint32_t*) { return 0; }

#else

using D16 = hn::ScalableTag<int16_t>;
using D32 = hn::Repartition<int32_t, D16>;
using V16 = hn::Vec<D16>;
using V32 = hn::Vec<D32>;

// Two Q14 weights in one 32-bit lane, the first in the low half.
HWY_INLINE int32_t PairOf(const int16_t* w, int32_t k)
{
    return int32_t(uint32_t(uint16_t(w[k])) | uint32_t(uint16_t(w[k + 1])) << 16);
}

// Two adjacent samples as one 32-bit lane, read in place.
HWY_INLINE int32_t PairAt(const int16_t* p)
{
    int32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

#if HWY_TARGET == HWY_AVX3_DL
// x86 only, behind this target's guard: VNNI's multiply-add of pairs into
// the sum, one instruction instead of Highway's two (multiply, then add).
// Measured: without it this target's passes were slower than the AVX-512
// code they replaced; with it, level (6000 x 4000 to 3840 x 2160: 61 ms
// against 65 ms). Highway 1.0.3 compiles this target without the compiler's
// avx512vnni option (it names avxvnni instead) though it takes the target
// only where the processor has AVX512-VNNI, so the instruction is written out.
HWY_INLINE __m512i DotPairs(__m512i sum, __m512i a, __m512i b)
{
    asm("vpdpwssd %2, %1, %0" : "+v"(sum) : "v"(a), "v"(b));
    return sum;
}
#endif

// sum += the products of a and b, adjacent pairs of lanes added (sum1 is a
// second accumulator some targets need; PairSums joins the two).
HWY_INLINE V32 MulPairs(D32 d32, V16 a, V16 b, V32 sum0, V32& sum1)
{
#if HWY_TARGET == HWY_AVX3_DL
    (void)d32;
    (void)sum1;
    return V32 { DotPairs(sum0.raw, a.raw, b.raw) };
#else
    return hn::ReorderWidenMulAccumulate(d32, a, b, sum0, sum1);
#endif
}

HWY_INLINE V32 PairSums(V32 sum0, V32 sum1) { return hn::RearrangeToOddPlusEven(sum0, sum1); }

// A sum of Q14-weighed samples back to Q6: rounded, shifted, clamped to the
// sample range.
template <int kShift>
HWY_INLINE V32 ToSample(D32 d32, V32 sum)
{
    sum = hn::ShiftRight<kShift>(hn::Add(sum, hn::Set(d32, 1 << (kShift - 1))));
    return hn::Min(hn::Max(sum, hn::Zero(d32)), hn::Set(d32, kSampleMax));
}

#undef KALVIO_RESAMPLER_SVE
#if HWY_TARGET == HWY_SVE || HWY_TARGET == HWY_SVE2 || HWY_TARGET == HWY_SVE_256 || HWY_TARGET == HWY_SVE2_128
#define KALVIO_RESAMPLER_SVE 1
#else
#define KALVIO_RESAMPLER_SVE 0
#endif

// The samples of two rows side by side in 16-bit lanes, each pair (row a,
// row b) of a sample in one 32-bit lane: the lower and the upper half of the
// samples. x86 and NEON interleave and narrow within 128-bit blocks alike, so
// Narrow puts the samples back in order; on SVE interleaving goes by blocks
// but narrowing does not, so the pairs are made of the halves of the vector.
HWY_INLINE void Interleave(D16 d16, V16 a, V16 b, V16& lower, V16& upper)
{
#if KALVIO_RESAMPLER_SVE
    const hn::RebindToUnsigned<D16> du16;
    const hn::Half<decltype(du16)> dh;
    const hn::Repartition<uint32_t, D16> du32;
    const auto ua = hn::BitCast(du16, a), ub = hn::BitCast(du16, b);
    auto pairs = [&](auto x, auto y) {
        return hn::BitCast(d16, hn::Or(hn::PromoteTo(du32, x), hn::ShiftLeft<16>(hn::PromoteTo(du32, y))));
    };
    lower = pairs(hn::LowerHalf(dh, ua), hn::LowerHalf(dh, ub));
    upper = pairs(hn::UpperHalf(dh, ua), hn::UpperHalf(dh, ub));
#else
    lower = hn::InterleaveLower(d16, a, b);
    upper = hn::InterleaveUpper(d16, a, b);
#endif
}

// The sums of Interleave's lower and upper pairs back in the order of the samples.
HWY_INLINE V16 Narrow(D16 d16, V32 lower, V32 upper)
{
#if KALVIO_RESAMPLER_SVE
    const hn::Half<D16> dh;
    return hn::Combine(d16, hn::DemoteTo(dh, upper), hn::DemoteTo(dh, lower));
#else
    return hn::ReorderDemote2To(d16, lower, upper);
#endif
}

HWY_INLINE V16 Load16(D16 d16, const uint8_t* p) { return hn::PromoteTo(d16, hn::LoadU(hn::Rebind<uint8_t, D16>(), p)); }
HWY_INLINE V16 Load16(D16 d16, const int16_t* p) { return hn::LoadU(d16, p); }

// The vertical pass, one or two sets of weights (weightsB null: one): for
// each pair of rows the samples are interleaved, so that one multiply-add
// weighs both rows of a sample by the broadcast pair of weights. The last
// step overlaps the one before rather than leaving samples to the plain code.
template <bool kTwo, typename Sample>
int32_t VerticalRows(const Sample* const* rows, const int16_t* weightsA, const int16_t* weightsB, int32_t count,
                     int32_t width, int16_t* dstA, int16_t* dstB)
{
    constexpr int kShift = sizeof(Sample) == 1 ? kWeightBits - kSampleBits : kWeightBits;
    const D16 d16;
    const D32 d32;
    const int32_t n = int32_t(hn::Lanes(d16));
    if (width < n)
        return 0;
    for (int32_t x = 0;; x = std::min(x + n, width - n)) {
        V32 loA = hn::Zero(d32), loA1 = loA, hiA = loA, hiA1 = loA, loB = loA, loB1 = loA, hiB = loA, hiB1 = loA;
        for (int32_t k = 0; k < count; k += 2) {
            const V16 a = Load16(d16, rows[k] + x), b = Load16(d16, rows[k + 1] + x);
            V16 lo, hi;
            Interleave(d16, a, b, lo, hi);
            const V16 wA = hn::BitCast(d16, hn::Set(d32, PairOf(weightsA, k)));
            loA = MulPairs(d32, lo, wA, loA, loA1);
            hiA = MulPairs(d32, hi, wA, hiA, hiA1);
            if (kTwo) {
                const V16 wB = hn::BitCast(d16, hn::Set(d32, PairOf(weightsB, k)));
                loB = MulPairs(d32, lo, wB, loB, loB1);
                hiB = MulPairs(d32, hi, wB, hiB, hiB1);
            }
        }
        hn::StoreU(Narrow(d16, ToSample<kShift>(d32, PairSums(loA, loA1)), ToSample<kShift>(d32, PairSums(hiA, hiA1))),
                   d16, dstA + x);
        if (kTwo)
            hn::StoreU(Narrow(d16, ToSample<kShift>(d32, PairSums(loB, loB1)), ToSample<kShift>(d32, PairSums(hiB, hiB1))),
                       d16, dstB + x);
        if (x + n >= width)
            return width;
    }
}

int32_t VerticalBytesKernel(const uint8_t* const* rows, const int16_t* weightsA, const int16_t* weightsB, int32_t count,
                            int32_t width, int16_t* dstA, int16_t* dstB)
{
    return weightsB != nullptr ? VerticalRows<true>(rows, weightsA, weightsB, count, width, dstA, dstB)
                               : VerticalRows<false>(rows, weightsA, weightsB, count, width, dstA, dstB);
}

int32_t VerticalQ6Kernel(const int16_t* const* rows, const int16_t* weightsA, const int16_t* weightsB, int32_t count,
                         int32_t width, int16_t* dstA, int16_t* dstB)
{
    return weightsB != nullptr ? VerticalRows<true>(rows, weightsA, weightsB, count, width, dstA, dstB)
                               : VerticalRows<false>(rows, weightsA, weightsB, count, width, dstA, dstB);
}

// Output samples in blocks of one vector of 32-bit lanes.
int32_t BlockLanesKernel() { return int32_t(hn::Lanes(D32())); }

// A block of outputs of every channel at once, by the axis's block weights:
// each input pair, broadcast, is weighed by every output's weights for it,
// so the sums build up lane by lane with no reduction at the end. One
// channel keeps two sets of sums (even and odd pairs) so that the
// multiply-adds do not wait on each other. (SVE's vectors cannot be held in
// arrays: the sums are named one by one.)
HWY_INLINE V16 WeightsAt(D32 d32, const int32_t* w, int32_t q, int32_t lanes)
{
    return hn::BitCast(D16(), hn::LoadU(d32, w + size_t(q) * size_t(lanes)));
}

HWY_INLINE V16 PairAt(D32 d32, const int16_t* src, int32_t at) { return hn::BitCast(D16(), hn::Set(d32, PairAt(src + at))); }

HWY_INLINE void StoreBlock(D32 d32, V32 sum, int16_t* dst)
{
    const hn::Rebind<int16_t, D32> dn;
    hn::StoreU(hn::DemoteTo(dn, ToSample<kWeightBits>(d32, sum)), dn, dst);
}

int32_t HorizontalBlocksOne(const int16_t* src, const AxisWeights& axis, int16_t* dst)
{
    const D32 d32;
    const int32_t lanes = int32_t(hn::Lanes(d32)), blocks = int32_t(axis.blockFirst.size()), pairs = axis.pairs;
    for (int32_t b = 0; b < blocks; ++b) {
        const int16_t* in = src + axis.blockFirst[size_t(b)];
        const int32_t* w = axis.blockWeights.data() + size_t(b) * size_t(pairs) * size_t(lanes);
        V32 even = hn::Zero(d32), even1 = even, odd = even, odd1 = even;
        int32_t q = 0;
        for (; q + 2 <= pairs; q += 2) {
            even = MulPairs(d32, PairAt(d32, in, 2 * q), WeightsAt(d32, w, q, lanes), even, even1);
            odd = MulPairs(d32, PairAt(d32, in, 2 * q + 2), WeightsAt(d32, w, q + 1, lanes), odd, odd1);
        }
        if (q < pairs)
            even = MulPairs(d32, PairAt(d32, in, 2 * q), WeightsAt(d32, w, q, lanes), even, even1);
        StoreBlock(d32, hn::Add(PairSums(even, even1), PairSums(odd, odd1)), dst + size_t(b) * size_t(lanes));
    }
    return blocks * lanes;
}

int32_t HorizontalBlocksThree(const int16_t* const* src, const AxisWeights& axis, int16_t* const* dst)
{
    const D32 d32;
    const int32_t lanes = int32_t(hn::Lanes(d32)), blocks = int32_t(axis.blockFirst.size()), pairs = axis.pairs;
    for (int32_t b = 0; b < blocks; ++b) {
        const int32_t base = axis.blockFirst[size_t(b)];
        const int16_t *red = src[0] + base, *green = src[1] + base, *blue = src[2] + base;
        const int32_t* w = axis.blockWeights.data() + size_t(b) * size_t(pairs) * size_t(lanes);
        V32 r = hn::Zero(d32), r1 = r, g = r, g1 = r, bl = r, bl1 = r;
        for (int32_t q = 0; q < pairs; ++q) {
            const V16 weights = WeightsAt(d32, w, q, lanes);
            r = MulPairs(d32, PairAt(d32, red, 2 * q), weights, r, r1);
            g = MulPairs(d32, PairAt(d32, green, 2 * q), weights, g, g1);
            bl = MulPairs(d32, PairAt(d32, blue, 2 * q), weights, bl, bl1);
        }
        const size_t at = size_t(b) * size_t(lanes);
        StoreBlock(d32, PairSums(r, r1), dst[0] + at);
        StoreBlock(d32, PairSums(g, g1), dst[1] + at);
        StoreBlock(d32, PairSums(bl, bl1), dst[2] + at);
    }
    return blocks * lanes;
}

int32_t HorizontalBlocksKernel(const int16_t* const* src, int32_t channels, const AxisWeights& axis,
                               int16_t* const* dst)
{
    if (axis.lanes != int32_t(hn::Lanes(D32())) || (channels != 1 && channels != 3))
        return 0;
    return channels == 1 ? HorizontalBlocksOne(src[0], axis, dst[0]) : HorizontalBlocksThree(src, axis, dst);
}

#if HWY_TARGET == HWY_AVX3_DL

// x86 only, behind this target's guard: the horizontal pass on the
// decoder's interleaved bytes from windows of 64 or 128 bytes, which needs
// VBMI's byte permute across a whole vector. Highway 1.0.3 has no portable
// form of it, so that one instruction is written out (PermuteWindow);
// everything else is Highway's. Measured against the portable sliding
// windows below compiled for this target (rendition_bench, alternating runs,
// medians against djpeg): the 6000 x 4000 4:4:4 photo at 1920 x 1080, too
// wide a reduction for sliding windows, 1.23x against 1.60x; at 3840 x 2160
// 1.31x against 1.44x; the 4032 x 3024 photo at 3840 x 2160 1.21x against
// 1.38x. The other targets with 128-bit blocks take the sliding windows.
ByteWindowShape ByteWindowsShapeKernel() { return { 16, false }; }

using D8 = hn::Repartition<uint8_t, D16>;

// The one x86 instruction of this pass: VBMI's byte permute across the whole
// vector, from one window register or two (Wide), its odd bytes zeroed so
// that each 16-bit word holds one sample.
template <bool Wide>
HWY_INLINE V16 PermuteWindow(hn::Vec<D8> lo, hn::Vec<D8> hi, hn::Vec<D8> index)
{
    constexpr __mmask64 kLowBytes = 0x5555555555555555ull;
    return hn::BitCast(D16(), hn::Vec<D8> { Wide ? _mm512_maskz_permutex2var_epi8(kLowBytes, lo.raw, index.raw, hi.raw)
                                                 : _mm512_maskz_permutexvar_epi8(kLowBytes, index.raw, lo.raw) });
}

// One step: `Blocks` blocks of 16 interleaved outputs of each of `Rows`
// rows, from a window of 64 or 128 decoded bytes in one or two registers.
// For each pair of taps, one byte permute puts every output's two samples
// in the low bytes of its lane's two words and one multiply-add weighs them;
// the next pair's samples are `channels` bytes on, so the indices are made
// by adding. Rows fed together share the loads of the weights, the pass's
// memory traffic.
template <bool Wide, int Blocks, int Rows>
HWY_INLINE void ByteWindowBlocks(const uint8_t* const* src, const ByteWindows& bw, int32_t b, int16_t* const* dst)
{
    const D8 d8;
    const D16 d16;
    const D32 d32;
    const int32_t pairs = bw.pairs;
    const V16 next = hn::Set(d16, int16_t(2 * bw.channels));
    constexpr int shift = kWeightBits - kSampleBits;
    hn::Vec<D8> r0[Rows][Blocks], r1[Rows][Blocks], at[Blocks];
    V32 sum[Rows][Blocks];
    const int32_t* w[Blocks];
    for (int n = 0; n < Blocks; ++n) {
        for (int r = 0; r < Rows; ++r) {
            const uint8_t* window = src[r] + bw.blockFirst[size_t(b + n)];
            r0[r][n] = hn::LoadU(d8, window);
            r1[r][n] = Wide ? hn::LoadU(d8, window + 64) : r0[r][n];
            sum[r][n] = hn::Set(d32, 1 << (shift - 1));
        }
        at[n] = hn::LoadU(d8, bw.index.data() + size_t(b + n) * 64);
        w[n] = bw.weights.data() + size_t(b + n) * size_t(pairs) * 16;
    }
    for (int32_t q = 0; q < pairs; ++q) {
        for (int n = 0; n < Blocks; ++n) {
            const V16 weights = WeightsAt(d32, w[n], q, 16);
            for (int r = 0; r < Rows; ++r) {
                V32 unused;
                sum[r][n] = MulPairs(d32, PermuteWindow<Wide>(r0[r][n], r1[r][n], at[n]), weights, sum[r][n], unused);
            }
            at[n] = hn::BitCast(d8, hn::Add(hn::BitCast(d16, at[n]), next));
        }
    }
    const hn::Rebind<int16_t, D32> dn;
    for (int n = 0; n < Blocks; ++n)
        for (int r = 0; r < Rows; ++r) {
            const V32 v = hn::ShiftRight<shift>(sum[r][n]);
            hn::StoreU(hn::DemoteTo(dn, hn::Min(hn::Max(v, hn::Zero(d32)), hn::Set(d32, kSampleMax))), dn,
                       dst[r] + size_t(b + n) * 16);
        }
}

// With fewer rows, more blocks at once keep as many sums building side by side.
template <bool Wide, int Rows>
int32_t ByteWindowRows(const uint8_t* const* src, const ByteWindows& bw, int16_t* const* dst)
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

int32_t ByteWindowsKernel(const uint8_t* const* src, int32_t rows, const ByteWindows& bw, int16_t* const* dst)
{
    if (!(bw.shape == ByteWindowsShapeKernel()))
        return 0;
    if (bw.window > 64)
        return rows == 4 ? ByteWindowRows<true, 4>(src, bw, dst)
            : rows == 2  ? ByteWindowRows<true, 2>(src, bw, dst)
                         : ByteWindowRows<true, 1>(src, bw, dst);
    if (bw.window > 0)
        return rows == 4 ? ByteWindowRows<false, 4>(src, bw, dst)
            : rows == 2  ? ByteWindowRows<false, 2>(src, bw, dst)
                         : ByteWindowRows<false, 1>(src, bw, dst);
    return 0;
}

#elif !KALVIO_RESAMPLER_SVE

// Sliding windows: each 128-bit block of a vector holds a window of 16
// decoded bytes, read where its four lanes' inputs begin, and one byte
// shuffle within the block puts each lane's pair of samples in the low bytes
// of its two words (index bytes 0x80 zero the high ones). The shuffle's
// index stays; the window moves on by a pair of pixels with each pair of
// taps. So the pass reads the decoder's bytes as they are, no widening, and
// weighs only the taps each output has, where the blocks of the portable
// pass weigh every input of the block in every lane.
ByteWindowShape ByteWindowsShapeKernel() { return { int32_t(hn::Lanes(D32())), true }; }

// One vector of 16-byte windows, window b from at[b] + offset.
template <class D8>
HWY_INLINE hn::Vec<D8> LoadWindows(D8 d8, const uint8_t* const* at, size_t offset)
{
    if constexpr (hn::MaxLanes(D8()) <= 16) {
        return hn::LoadU(d8, at[0] + offset);
    } else {
        const hn::Half<D8> dh;
        constexpr size_t half = hn::MaxLanes(D8()) / 32;
        return hn::Combine(d8, LoadWindows(dh, at + half, offset), LoadWindows(dh, at, offset));
    }
}

// One step of `Rows` rows: the rows share the loads of index and weights.
template <int Rows>
HWY_INLINE void SlidingStep(const uint8_t* const* src, const ByteWindows& bw, int32_t s, int16_t* const* dst)
{
    const D16 d16;
    const D32 d32;
    using D8 = hn::Repartition<uint8_t, D16>;
    const D8 d8;
    constexpr size_t kBlocks = hn::MaxLanes(D8()) / 16;
    const int32_t lanes = int32_t(hn::Lanes(d32)), pairs = bw.pairs;
    const size_t next = size_t(2 * bw.channels);
    const auto index = hn::LoadU(d8, bw.index.data() + size_t(s) * size_t(lanes) * 4);
    const int32_t* w = bw.weights.data() + size_t(s) * size_t(pairs) * size_t(lanes);
    const uint8_t* at[Rows][kBlocks];
    V32 sum[Rows], sum1[Rows];
    for (int r = 0; r < Rows; ++r) {
        for (size_t b = 0; b < kBlocks; ++b)
            at[r][b] = src[r] + bw.blockFirst[size_t(s) * kBlocks + b];
        sum[r] = hn::Zero(d32);
        sum1[r] = hn::Zero(d32);
    }
    for (int32_t q = 0; q < pairs; ++q) {
        const V16 weights = WeightsAt(d32, w, q, lanes);
        for (int r = 0; r < Rows; ++r) {
            const auto bytes = LoadWindows(d8, at[r], size_t(q) * next);
            const V16 samples = hn::BitCast(d16, hn::TableLookupBytesOr0(bytes, index));
            sum[r] = MulPairs(d32, samples, weights, sum[r], sum1[r]);
        }
    }
    const hn::Rebind<int16_t, D32> dn;
    for (int r = 0; r < Rows; ++r)
        hn::StoreU(hn::DemoteTo(dn, ToSample<kWeightBits - kSampleBits>(d32, PairSums(sum[r], sum1[r]))), dn,
                   dst[r] + size_t(s) * size_t(lanes));
}

int32_t ByteWindowsKernel(const uint8_t* const* src, int32_t rows, const ByteWindows& bw, int16_t* const* dst)
{
    const int32_t lanes = int32_t(hn::Lanes(D32()));
    if (bw.window != 16 || !(bw.shape == ByteWindowsShapeKernel()))
        return 0;
    const int32_t steps = int32_t(bw.blockFirst.size()) / (lanes / 4);
    for (int32_t s = 0; s < steps; ++s) {
        if (rows == 4)
            SlidingStep<4>(src, bw, s, dst);
        else if (rows == 2)
            SlidingStep<2>(src, bw, s, dst);
        else
            SlidingStep<1>(src, bw, s, dst);
    }
    return steps * lanes;
}

#else

ByteWindowShape ByteWindowsShapeKernel() { return {}; }
int32_t ByteWindowsKernel(const uint8_t* const*, int32_t, const ByteWindows&, int16_t* const*) { return 0; }

#endif

// Pixels of one or three interleaved bytes made Q6 rows, one a channel.
int32_t WidenKernel(const uint8_t* src, int32_t width, int32_t channels, int16_t* dst, size_t stride)
{
    const D16 d16;
    const hn::Rebind<uint8_t, D16> d8;
    const int32_t n = int32_t(hn::Lanes(d16));
    auto q6 = [&](hn::Vec<decltype(d8)> v) { return hn::ShiftLeft<kSampleBits>(hn::PromoteTo(d16, v)); };
    int32_t x = 0;
    if (channels == 1) {
        for (; x + n <= width; x += n)
            hn::StoreU(q6(hn::LoadU(d8, src + x)), d16, dst + x);
        return x;
    }
    if (channels != 3)
        return 0;
    for (; x + n <= width; x += n) {
        hn::Vec<decltype(d8)> r, g, b;
        hn::LoadInterleaved3(d8, src + size_t(3) * size_t(x), r, g, b);
        hn::StoreU(q6(r), d16, dst + x);
        hn::StoreU(q6(g), d16, dst + stride + size_t(x));
        hn::StoreU(q6(b), d16, dst + 2 * stride + size_t(x));
    }
    return x;
}

// Calls f(x, first, second, third) for each whole vector of samples of
// three interleaved channels; returns how many samples it did.
template <class F>
HWY_INLINE int32_t EachOfThree(const int16_t* src, int32_t width, F f)
{
    const D16 d16;
    const int32_t n = int32_t(hn::Lanes(d16));
    int32_t x = 0;
    for (; x + n <= width; x += n) {
        V16 a, b, c;
        hn::LoadInterleaved3(d16, src + size_t(3) * size_t(x), a, b, c);
        f(x, a, b, c);
    }
    return x;
}

int32_t Deinterleave3Kernel(const int16_t* src, int32_t width, int16_t* const* dst)
{
    return EachOfThree(src, width, [dst](int32_t x, V16 a, V16 b, V16 c) {
        hn::StoreU(a, D16(), dst[0] + x);
        hn::StoreU(b, D16(), dst[1] + x);
        hn::StoreU(c, D16(), dst[2] + x);
    });
}

// Q6 samples rounded to bytes.
HWY_INLINE hn::Vec<hn::Rebind<uint8_t, D16>> Bytes(D16 d16, V16 v)
{
    const V16 rounded = hn::ShiftRight<kSampleBits>(hn::Add(v, hn::Set(d16, int16_t(1 << (kSampleBits - 1)))));
    return hn::DemoteTo(hn::Rebind<uint8_t, D16>(), rounded);
}

// 0xffRRGGBB pixels are the bytes blue, green, red, 0xff in memory.
HWY_INLINE void StorePixels(D16 d16, V16 r, V16 g, V16 b, uint32_t* out)
{
    const hn::Rebind<uint8_t, D16> d8;
    hn::StoreInterleaved4(Bytes(d16, b), Bytes(d16, g), Bytes(d16, r), hn::Set(d8, uint8_t(0xff)), d8,
                          reinterpret_cast<uint8_t*>(out));
}

int32_t PackRgbKernel(const int16_t* const* planes, int32_t width, uint32_t* out)
{
    const D16 d16;
    const int32_t n = int32_t(hn::Lanes(d16));
    int32_t x = 0;
    for (; x + n <= width; x += n)
        StorePixels(d16, hn::LoadU(d16, planes[0] + x), hn::LoadU(d16, planes[1] + x), hn::LoadU(d16, planes[2] + x),
                    out + x);
    return x;
}

int32_t PackInterleavedRgbKernel(const int16_t* rgb, int32_t width, uint32_t* out)
{
    return EachOfThree(rgb, width, [out](int32_t x, V16 r, V16 g, V16 b) { StorePixels(D16(), r, g, b, out + x); });
}

#endif

}
HWY_AFTER_NAMESPACE();

#if HWY_ONCE

namespace kalvio::resample {

HWY_EXPORT(VerticalBytesKernel);
HWY_EXPORT(VerticalQ6Kernel);
HWY_EXPORT(BlockLanesKernel);
HWY_EXPORT(HorizontalBlocksKernel);
HWY_EXPORT(ByteWindowsShapeKernel);
HWY_EXPORT(ByteWindowsKernel);
HWY_EXPORT(WidenKernel);
HWY_EXPORT(Deinterleave3Kernel);
HWY_EXPORT(PackRgbKernel);
HWY_EXPORT(PackInterleavedRgbKernel);

int32_t VectorVertical(const uint8_t* const* rows, const int16_t* weightsA, const int16_t* weightsB, int32_t count,
                       int32_t width, int16_t* dstA, int16_t* dstB)
{
    return HWY_DYNAMIC_DISPATCH(VerticalBytesKernel)(rows, weightsA, weightsB, count, width, dstA, dstB);
}

int32_t VectorVerticalQ6(const int16_t* const* rows, const int16_t* weightsA, const int16_t* weightsB, int32_t count,
                         int32_t width, int16_t* dstA, int16_t* dstB)
{
    return HWY_DYNAMIC_DISPATCH(VerticalQ6Kernel)(rows, weightsA, weightsB, count, width, dstA, dstB);
}

int32_t VectorBlockLanes() { return HWY_DYNAMIC_DISPATCH(BlockLanesKernel)(); }

int32_t VectorHorizontal(const int16_t* const* src, int32_t channels, const AxisWeights& axis, int16_t* const* dst)
{
    return HWY_DYNAMIC_DISPATCH(HorizontalBlocksKernel)(src, channels, axis, dst);
}

ByteWindowShape VectorByteWindowsShape() { return HWY_DYNAMIC_DISPATCH(ByteWindowsShapeKernel)(); }

int32_t VectorByteWindows(const uint8_t* const* src, int32_t rows, const ByteWindows& windows, int16_t* const* dst)
{
    return HWY_DYNAMIC_DISPATCH(ByteWindowsKernel)(src, rows, windows, dst);
}

int32_t VectorWiden(const uint8_t* src, int32_t width, int32_t channels, int16_t* dst, size_t stride)
{
    return HWY_DYNAMIC_DISPATCH(WidenKernel)(src, width, channels, dst, stride);
}

int32_t VectorDeinterleave3(const int16_t* src, int32_t width, int16_t* const* dst)
{
    return HWY_DYNAMIC_DISPATCH(Deinterleave3Kernel)(src, width, dst);
}

int32_t VectorPackRgb(const int16_t* const* planes, int32_t width, uint32_t* out)
{
    return HWY_DYNAMIC_DISPATCH(PackRgbKernel)(planes, width, out);
}

int32_t VectorPackInterleavedRgb(const int16_t* rgb, int32_t width, uint32_t* out)
{
    return HWY_DYNAMIC_DISPATCH(PackInterleavedRgbKernel)(rgb, width, out);
}

}

#endif
