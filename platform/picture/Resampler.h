// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Separable resampling of 8-bit pictures, fed row by row as a decoder makes
// the rows and giving output rows as soon as their input is complete; only a
// window of input rows is kept. Either each output row is a vertical pass
// over the window of input rows, then a horizontal pass to the output width;
// or each input row is made the output width as it comes and the window is
// of those rows (see AcrossFirst).
//
// Fixed point: weights are Q14 (1.0 = 16384) and sum to exactly 1.0; the
// vertical pass gives Q6 samples (255 = 16320), clamped to the sample range
// like the 8-bit rows they stand for, and so does the horizontal pass.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kalvio {

// The filter of a resampling. Reductions take a windowed sinc whose support
// grows with the reduction, so every input sample counts (no aliasing, no
// dropped detail); enlargements a cubic that does not ring.
enum class Kernel {
    Lanczos3, // sinc windowed by sinc, 3 lobes
    Mitchell, // cubic B = C = 1/3
};

constexpr int kWeightBits = 14;
constexpr int kSampleBits = 6;
constexpr int16_t kSampleMax = 255 << kSampleBits;

// One axis: for each output sample, the first input sample and `taps` weights
// (zero past the ones it uses).
struct AxisWeights {
    int32_t taps = 0;
    std::vector<int32_t> first;
    std::vector<int32_t> used;    // weights actually used (the rest are zero)
    std::vector<int16_t> weights; // taps per output sample
    // The same weights by input sample, for whole blocks of `lanes` output
    // samples: block b reads input pairs from blockFirst[b] on, and pair q of
    // it weighs blockWeights[(b * pairs + q) * lanes + i] (two Q14 weights) in
    // output sample b * lanes + i. Made by AddBlockWeights.
    int32_t lanes = 0;
    int32_t pairs = 0;
    std::vector<int32_t> blockFirst;
    std::vector<int32_t> blockWeights;
};

// The most input bytes a byte window reads from its first.
constexpr int32_t kWindow = 128;

// How the target in use reads byte windows (ByteWindowsShape): `lanes`
// output samples a step, either from one window of 64 or 128 bytes for the
// whole step (sliding false: a byte permute across the whole vector), or
// from a window of 16 bytes for each four lanes, which moves on by a pair of
// pixels with each pair of taps (sliding true: byte shuffles within 128-bit
// blocks, which every target with such blocks has). lanes 0: none.
struct ByteWindowShape {
    int32_t lanes = 0;
    bool sliding = false;
    bool operator==(const ByteWindowShape&) const = default;
};

// The horizontal weights again, for rows of `channels` interleaved bytes as
// the decoder gives them, by steps of shape.lanes interleaved output samples
// (output sample k is channel k % channels of output pixel k / channels).
// Window w starts at byte blockFirst[w]: the step's one window, or, sliding,
// the window of lanes 4w .. 4w + 3. Lane i of step s takes window bytes
// index[(s * lanes + i) * 4 + 0, 2] for its first pair of taps; for each next
// pair q, 2 * channels bytes further (the index moves on, or the window
// slides), weighed by weights[(s * pairs + q) * lanes + i] (two Q14
// weights). Index bytes 1 and 3 are 0x80, a zero byte to a shuffle. window
// (the bytes a window spans: 64, 128, or 16 sliding) is 0 when some step
// does not fit.
struct ByteWindows {
    int32_t channels = 0;
    ByteWindowShape shape;
    int32_t window = 0;
    int32_t pairs = 0;
    std::vector<int32_t> blockFirst;
    std::vector<uint8_t> index;
    std::vector<int32_t> weights;
};

// The weights that make `inSize` samples `outSize`, output sample j centred
// at input coordinate (j + 0.5) * inSize / outSize (input sample i covers
// [i, i + 1)). Samples past either end are left out and the weights made to
// sum to one again. Taps are padded to a multiple of `multiple`.
AxisWeights MakeAxisWeights(int32_t inSize, int32_t outSize, Kernel kernel, int32_t multiple);

// Adds the by-input form of the weights for blocks of `lanes` outputs (the
// outputs past the last whole block keep the by-output form only).
void AddBlockWeights(AxisWeights& axis, int32_t lanes);

// The byte windows of the axis for rows of `channels` (1 or 3) interleaved
// bytes, in `shape`.
ByteWindows MakeByteWindows(const AxisWeights& axis, int32_t channels, ByteWindowShape shape);

// Whether the horizontal pass goes first: when the width keeps a larger
// share of its samples than the height. Both passes clamp to the sample
// range, so the order decides where ringing at sharp edges is cut; this is
// also the order of ImageMagick's resize, the yardstick of our quality.
bool AcrossFirst(int32_t inWidth, int32_t inHeight, int32_t outWidth, int32_t outHeight);

// Rows of `channels` interleaved 8-bit samples a pixel in, rows of planar
// Q6 samples out (one row a channel), or pixels.
class RowResampler {
public:
    // A picture of inWidth x inHeight pixels made outWidth x outHeight with
    // `kernel`; rows arrive in batches of at most `batch`.
    RowResampler(int32_t inWidth, int32_t inHeight, int32_t outWidth, int32_t outHeight, int32_t channels,
                 Kernel kernel, int32_t batch);

    // Where input row `y` is to be written (inWidth * channels bytes); valid
    // for the next batch.
    uint8_t* slot(int32_t y) { return m_ring.data() + size_t(y % m_slotRows) * m_stride; }
    // Rows up to (not including) `y` have been written.
    void fedUpTo(int32_t y);
    // True when output row `y` can be made from the rows fed so far. Every
    // row that can be made must be made before the next batch is fed.
    bool ready(int32_t y) const;
    // Output row `y`: outWidth Q6 samples into each of out[0 .. channels - 1].
    void make(int32_t y, int16_t* const* out);
    // The same row as 0xffRRGGBB pixels, rounded (one channel: grey).
    void makePixels(int32_t y, uint32_t* out);

private:
    int32_t m_inWidth, m_channels;
    AxisWeights m_x, m_y;
    int32_t m_ringRows;
    bool m_acrossFirst;
    // Across first, on targets with the byte windows' vector code: each
    // decoded row made narrow as it is, channels interleaved.
    ByteWindows m_bytes;
    bool m_byteRows;
    // The decoded rows, as bytes: the window of the vertical pass, or, across
    // first, only the batch being fed (each row is made narrow as it comes).
    int32_t m_slotRows;
    size_t m_stride;
    std::vector<uint8_t> m_ring;
    std::vector<int16_t> m_mid;    // the vertical pass's row, channels interleaved
    size_t m_planeStride;
    std::vector<int16_t> m_planes; // the same, one zero-padded row a channel
    std::vector<const uint8_t*> m_rows;
    int32_t m_fed = 0;
    // Two output rows read mostly the same input rows: when both can be
    // made, one vertical pass makes both, and the second waits here.
    int32_t m_outHeight;
    std::vector<int16_t> m_midNext;
    int32_t m_midNextRow = -1;
    std::vector<int16_t> m_weightsA, m_weightsB;
    bool verticalTwo(int32_t y);
    // Whether m_mid holds output row y's vertical pass, made with y - 1's
    // (kept in m_midNext) or now with y + 1's.
    bool pairedVertical(int32_t y);
    // Across first: each fed row made the output width, at index y %
    // m_ringRows: its channels one after the other m_outPlane samples apart,
    // or interleaved (m_byteRows).
    int32_t m_outWidth;
    size_t m_outPlane = 0;
    std::vector<int16_t> m_across;
    std::vector<const int16_t*> m_acrossRows;
    // Across first: the vertical pass of output row y over the narrow rows,
    // all channels of a row at once (two output rows at once where it can).
    const int16_t* downAcross(int32_t y);
    int32_t acrossWidth() const { return m_byteRows ? m_outWidth * m_channels : int32_t(m_outPlane) * m_channels; }
    std::vector<int16_t> m_pixelPlanes;
    int16_t* acrossRow(int32_t y) { return m_across.data() + size_t(y % m_ringRows) * m_outPlane * size_t(m_channels); }
};

// The passes on their own, for tests and benchmarks: dst[x] from `count` rows
// and weights; dst[c][j] from src[c] and the axis. Rows are padded: the
// vertical pass works in groups of 16 samples, the horizontal one reads
// `taps` + kWindow samples past the last input sample.
void VerticalPass(const uint8_t* const* rows, const int16_t* weights, int32_t count, int32_t width, int16_t* dst);
// Two vertical passes over the same rows at once, each with its weights:
// dstA as VerticalPass with weightsA, dstB with weightsB.
void VerticalPassTwo(const uint8_t* const* rows, const int16_t* weightsA, const int16_t* weightsB, int32_t count,
                     int32_t width, int16_t* dstA, int16_t* dstB);
// The vertical pass over rows of Q6 samples (the horizontal pass's).
void VerticalPassQ6(const int16_t* const* rows, const int16_t* weights, int32_t count, int32_t width, int16_t* dst);
// Two of those over the same rows at once, as VerticalPassTwo.
void VerticalPassQ6Two(const int16_t* const* rows, const int16_t* weightsA, const int16_t* weightsB, int32_t count,
                       int32_t width, int16_t* dstA, int16_t* dstB);
// Q6 rows of red, green and blue made 0xffRRGGBB pixels, rounded.
void PackRgb(const int16_t* const* planes, int32_t width, uint32_t* out);
// The same from one row of the three interleaved.
void PackInterleavedRgb(const int16_t* rgb, int32_t width, uint32_t* out);

// `channels` rows of the same length, resampled alike.
void HorizontalPass(const int16_t* const* src, int32_t channels, const AxisWeights& axis, int16_t* const* dst);
// `rows` rows of `windows.channels` interleaved bytes a pixel made the axis's
// output width: interleaved Q6 samples, exactly as HorizontalPass on the same
// samples in Q6 gives them. The rows are padded: the windows read up to
// kWindow bytes past the last pixel.
void HorizontalPassBytes(const uint8_t* const* src, int16_t* const* dst, int32_t rows, const AxisWeights& axis,
                         const ByteWindows& windows);
// The shape of byte windows HorizontalPassBytes's vector code reads on the
// target in use (lanes 0: none, the plain code). Windows of another shape
// (made before a change of target) make the pass plain, not wrong.
ByteWindowShape ByteWindowsShape();
// The lanes of the block weights HorizontalPass reads on the target in use
// (AddBlockWeights), 0 for the plain code. Taken when a resampling is set
// up: a change of target afterwards makes the pass plain, not wrong.
int32_t HorizontalLanes();

}
