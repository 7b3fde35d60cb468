// SPDX-License-Identifier: GPL-3.0-or-later
// The resampler's weights and passes on their own.
#include "platform/picture/Resampler.h"
#include "platform/simd/SimdTarget.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <numeric>
#include <random>
#include <vector>

using namespace kalvio;

namespace {

struct AxisCase {
    int32_t in, out;
    Kernel kernel;
};

const AxisCase kAxes[] = {
    { 6000, 1920, Kernel::Lanczos3 }, // 3.1 times smaller
    { 6000, 3840, Kernel::Lanczos3 },
    { 4032, 1920, Kernel::Lanczos3 }, // 2.1 times smaller
    { 1000, 7, Kernel::Lanczos3 },
    { 227, 227, Kernel::Lanczos3 },
    { 640, 1920, Kernel::Mitchell }, // 3 times larger
    { 1, 50, Kernel::Mitchell },
    { 7, 1000, Kernel::Mitchell },
};

}

TEST(Resampler, WeightsSumToOneAndStayInside)
{
    for (const AxisCase& c : kAxes) {
        SCOPED_TRACE(std::to_string(c.in) + " -> " + std::to_string(c.out));
        const AxisWeights a = MakeAxisWeights(c.in, c.out, c.kernel, 16);
        EXPECT_EQ(a.taps % 16, 0);
        for (int32_t j = 0; j < c.out; ++j) {
            const int16_t* w = a.weights.data() + size_t(j) * size_t(a.taps);
            EXPECT_EQ(std::accumulate(w, w + a.taps, 0), 1 << kWeightBits);
            EXPECT_GE(a.first[size_t(j)], 0);
            EXPECT_LE(a.first[size_t(j)] + a.used[size_t(j)], c.in);
            for (int32_t t = a.used[size_t(j)]; t < a.taps; ++t)
                EXPECT_EQ(w[t], 0);
        }
        // A reduction's filter grows with it: every input sample is read.
        if (c.in > c.out) {
            EXPECT_GE(a.used[size_t(c.out / 2)], 2 * 3 * c.in / c.out - 1);
        }
    }
    // At the same size the windowed sinc is the identity.
    const AxisWeights same = MakeAxisWeights(227, 227, Kernel::Lanczos3, 2);
    for (int32_t j = 0; j < 227; ++j)
        EXPECT_EQ(same.weights[size_t(j) * size_t(same.taps) + size_t(j - same.first[size_t(j)])], 1 << kWeightBits);
}

TEST(Resampler, VectorPassesEqualThePlainSums)
{
    // Random rows through the passes, on every target this machine can run
    // and the plain code, against the sums written out here.
    simd::ForEachTarget([](const std::string& target) {
    SCOPED_TRACE(target);
    std::mt19937 random(7);
    for (const AxisCase& c : kAxes) {
        SCOPED_TRACE(std::to_string(c.in) + " -> " + std::to_string(c.out));
        AxisWeights a = MakeAxisWeights(c.in, c.out, c.kernel, 16);
        if (HorizontalLanes() > 0)
            AddBlockWeights(a, HorizontalLanes());
        const int32_t padded = (c.in + 15) / 16 * 16 + a.taps + kWindow + 16;
        std::vector<std::vector<int16_t>> src(3, std::vector<int16_t>(size_t(padded), 0));
        for (auto& row : src)
            for (int32_t x = 0; x < c.in; ++x)
                row[size_t(x)] = int16_t(random() % (kSampleMax + 1));
        std::vector<std::vector<int16_t>> dst(3, std::vector<int16_t>(size_t(c.out) + 16));
        const int16_t* in[3] = { src[0].data(), src[1].data(), src[2].data() };
        int16_t* out[3] = { dst[0].data(), dst[1].data(), dst[2].data() };
        HorizontalPass(in, 3, a, out);
        for (int ch = 0; ch < 3; ++ch)
            for (int32_t j = 0; j < c.out; ++j) {
                int32_t sum = 0;
                for (int32_t t = 0; t < a.taps; ++t)
                    sum += a.weights[size_t(j) * size_t(a.taps) + size_t(t)] * src[size_t(ch)][size_t(a.first[size_t(j)] + t)];
                ASSERT_EQ(dst[size_t(ch)][size_t(j)], std::clamp((sum + (1 << 13)) >> 14, 0, int(kSampleMax))) << ch << " " << j;
            }

        // Rows of interleaved bytes as the decoder gives them, one and three
        // channels, five rows at once (the vector code takes rows in groups).
        for (int32_t channels : { 1, 3 }) {
            const ByteWindows bw = MakeByteWindows(a, channels, ByteWindowsShape());
            // A photo made a screen wide, the common case, takes the vector code.
            if (ByteWindowsShape().lanes > 0 && c.in == 6000 && c.out == 3840) {
                EXPECT_GT(bw.window, 0) << channels << " channels";
            }
            constexpr int32_t kRows = 5;
            std::vector<std::vector<uint8_t>> bytes(kRows, std::vector<uint8_t>(size_t(c.in * channels + kWindow)));
            std::vector<std::vector<int16_t>> narrow(kRows, std::vector<int16_t>(size_t(c.out * channels)));
            std::vector<const uint8_t*> from;
            std::vector<int16_t*> to;
            for (int32_t r = 0; r < kRows; ++r) {
                for (auto& b : bytes[size_t(r)])
                    b = uint8_t(random());
                from.push_back(bytes[size_t(r)].data());
                to.push_back(narrow[size_t(r)].data());
            }
            HorizontalPassBytes(from.data(), to.data(), kRows, a, bw);
            for (int32_t r = 0; r < kRows; ++r)
                for (int32_t k = 0; k < c.out * channels; ++k) {
                    const int32_t j = k / channels;
                    int32_t sum = 0;
                    for (int32_t t = 0; t < a.used[size_t(j)]; ++t)
                        sum += a.weights[size_t(j) * size_t(a.taps) + size_t(t)]
                               * bytes[size_t(r)][size_t((a.first[size_t(j)] + t) * channels + k % channels)];
                    ASSERT_EQ(narrow[size_t(r)][size_t(k)], std::clamp((sum + (1 << 7)) >> 8, 0, int(kSampleMax)))
                        << channels << " channels, row " << r << " sample " << k;
                }
        }

        // The vertical pass over rows of bytes, `taps` of them.
        const AxisWeights v = MakeAxisWeights(c.in, c.out, c.kernel, 2);
        const int32_t width = 3 * 101;
        std::vector<std::vector<uint8_t>> rows(size_t(v.taps), std::vector<uint8_t>(size_t(width + 32)));
        std::vector<const uint8_t*> pointers;
        for (auto& row : rows) {
            for (auto& b : row)
                b = uint8_t(random());
            pointers.push_back(row.data());
        }
        std::vector<int16_t> mid(size_t(width + 32)), other(size_t(width + 32));
        const int16_t* w = v.weights.data() + size_t(c.out / 2) * size_t(v.taps);
        auto plain = [&](const int16_t* weights, int32_t x) {
            int32_t sum = 0;
            for (int32_t k = 0; k < v.taps; ++k)
                sum += weights[k] * rows[size_t(k)][size_t(x)];
            return std::clamp((sum + (1 << 7)) >> 8, 0, int(kSampleMax));
        };
        VerticalPass(pointers.data(), w, v.taps, width, mid.data());
        for (int32_t x = 0; x < width; ++x)
            ASSERT_EQ(mid[size_t(x)], plain(w, x)) << x;
        // Two sets of weights over the same rows at once: each as alone.
        const int16_t* w2 = v.weights.data() + size_t(c.out / 3) * size_t(v.taps);
        VerticalPassTwo(pointers.data(), w2, w, v.taps, width, other.data(), mid.data());
        for (int32_t x = 0; x < width; ++x) {
            ASSERT_EQ(other[size_t(x)], plain(w2, x)) << x;
            ASSERT_EQ(mid[size_t(x)], plain(w, x)) << x;
        }
    }
    });
}

TEST(Resampler, EveryTargetGivesThePlainCodesRowsAtOddWidths)
{
    // The passes over rows and the packing into pixels, at widths that are
    // no multiple of any vector (and shorter than one), on every target:
    // the same samples as the plain code, and nothing written past the end.
    std::mt19937 random(5);
    const int32_t widths[] = { 1, 2, 7, 8, 15, 17, 31, 33, 63, 65, 129, 301 };
    constexpr int32_t kRows = 6;
    constexpr int16_t kGuard = -7;
    struct Rows {
        std::vector<std::vector<int16_t>> q6 { kRows };
        std::vector<std::vector<uint8_t>> bytes { kRows };
    };
    // Black and white and random samples, so that the sums reach both clamps.
    const int16_t weights[][kRows] = { { -900, 3000, 6000, 6000, 3000, -716 }, { 0, -2000, 9000, 11000, -2000, 384 } };
    for (int32_t width : widths) {
        SCOPED_TRACE("width " + std::to_string(width));
        Rows in;
        for (auto& row : in.q6) {
            row.resize(size_t(width) * 3);
            for (auto& v : row)
                v = random() % 3 == 0 ? kSampleMax * int16_t(random() % 2) : int16_t(random() % (kSampleMax + 1));
        }
        for (auto& row : in.bytes) {
            row.resize(size_t(width));
            for (auto& v : row)
                v = random() % 3 == 0 ? uint8_t(255 * (random() % 2)) : uint8_t(random());
        }
        auto run = [&] {
            std::vector<std::vector<int16_t>> out(8, std::vector<int16_t>(size_t(width) + 1, kGuard));
            std::vector<std::vector<uint32_t>> pixels(2, std::vector<uint32_t>(size_t(width) + 1, 0));
            std::vector<const uint8_t*> bytes;
            std::vector<const int16_t*> q6;
            for (int32_t k = 0; k < kRows; ++k) {
                bytes.push_back(in.bytes[size_t(k)].data());
                q6.push_back(in.q6[size_t(k)].data());
            }
            VerticalPass(bytes.data(), weights[0], kRows, width, out[0].data());
            VerticalPassTwo(bytes.data(), weights[0], weights[1], kRows, width, out[1].data(), out[2].data());
            VerticalPassQ6(q6.data(), weights[1], kRows, width, out[3].data());
            VerticalPassQ6Two(q6.data(), weights[1], weights[0], kRows, width, out[4].data(), out[5].data());
            VerticalPass(bytes.data(), weights[0], kRows - 1, width, out[6].data()); // an odd count of rows
            const int16_t* planes[3] = { in.q6[0].data(), in.q6[1].data(), in.q6[2].data() };
            PackRgb(planes, width, pixels[0].data());
            PackInterleavedRgb(in.q6[3].data(), width, pixels[1].data());
            return std::make_pair(out, pixels);
        };
        std::map<std::string, decltype(run())> results;
        simd::ForEachTarget([&](const std::string& target) { results[target] = run(); });
        const auto& plain = results.at("plain");
        for (const auto& [target, result] : results) {
            SCOPED_TRACE(target);
            for (const auto& out : result.first)
                ASSERT_EQ(out.back(), kGuard);
            for (const auto& out : result.second)
                ASSERT_EQ(out.back(), 0u);
            for (size_t i = 0; i < result.first.size(); ++i)
                EXPECT_EQ(result.first[i], plain.first[i]) << "pass " << i;
            for (size_t i = 0; i < result.second.size(); ++i)
                EXPECT_EQ(result.second[i], plain.second[i]) << "packing " << i;
        }
    }
}

TEST(Resampler, FlatPicturesStayFlatAndEdgesStayPut)
{
    // Fed in batches as a decoder would: a flat colour gives that colour
    // everywhere, and a picture whose left half is dark keeps its edge in
    // the middle.
    for (const AxisCase& c : kAxes) {
        SCOPED_TRACE(std::to_string(c.in) + " -> " + std::to_string(c.out));
        const int32_t inW = c.in, inH = 9, outW = c.out, outH = 5;
        RowResampler r(inW, inH, outW, outH, 3, c.kernel, 4);
        std::vector<int16_t> out(size_t(outW) * 3 + 48);
        int16_t* planes[3] = { out.data(), out.data() + outW + 16, out.data() + 2 * (outW + 16) };
        int32_t made = 0;
        for (int32_t y = 0; y < inH; y += 4) {
            for (int32_t i = y; i < std::min(y + 4, inH); ++i) {
                uint8_t* row = r.slot(i);
                for (int32_t x = 0; x < inW; ++x) {
                    row[3 * x] = 200;                     // flat
                    row[3 * x + 1] = x < inW / 2 ? 0 : 255; // an edge
                    row[3 * x + 2] = 10;
                }
            }
            r.fedUpTo(std::min(y + 4, inH));
            for (; made < outH && r.ready(made); ++made) {
                r.make(made, planes);
                for (int32_t j = 0; j < outW; ++j) {
                    ASSERT_EQ(planes[0][j], 200 << kSampleBits);
                    ASSERT_EQ(planes[2][j], 10 << kSampleBits);
                }
                if (inW >= 8 && outW >= 8) {
                    EXPECT_LT(planes[1][outW / 4], 16 << kSampleBits);
                    EXPECT_GT(planes[1][outW * 3 / 4], 239 << kSampleBits);
                }
            }
        }
        EXPECT_EQ(made, outH);
    }
}

namespace {

// The passes written out on pictures of three interleaved channels: each
// sum rounded, shifted right by `shift` and clamped to the sample range.
std::vector<int32_t> PlainAcross(const std::vector<int32_t>& in, int32_t inW, int32_t lines, const AxisWeights& a, int shift)
{
    const int32_t outW = int32_t(a.first.size());
    std::vector<int32_t> out(size_t(outW) * size_t(lines) * 3);
    for (int32_t y = 0; y < lines; ++y)
        for (int32_t j = 0; j < outW; ++j)
            for (int32_t ch = 0; ch < 3; ++ch) {
                int32_t sum = 0;
                for (int32_t t = 0; t < a.used[size_t(j)]; ++t)
                    sum += a.weights[size_t(j) * size_t(a.taps) + size_t(t)]
                           * in[(size_t(y) * size_t(inW) + size_t(a.first[size_t(j)] + t)) * 3 + size_t(ch)];
                out[(size_t(y) * size_t(outW) + size_t(j)) * 3 + size_t(ch)]
                    = std::clamp((sum + (1 << (shift - 1))) >> shift, 0, int(kSampleMax));
            }
    return out;
}

std::vector<int32_t> PlainDown(const std::vector<int32_t>& in, int32_t width, const AxisWeights& a, int shift)
{
    const int32_t outH = int32_t(a.first.size());
    std::vector<int32_t> out(size_t(width) * size_t(outH) * 3);
    for (int32_t i = 0; i < outH; ++i)
        for (int32_t x = 0; x < width * 3; ++x) {
            int32_t sum = 0;
            for (int32_t k = 0; k < a.used[size_t(i)]; ++k)
                sum += a.weights[size_t(i) * size_t(a.taps) + size_t(k)]
                       * in[size_t(a.first[size_t(i)] + k) * size_t(width) * 3 + size_t(x)];
            out[size_t(i) * size_t(width) * 3 + size_t(x)] = std::clamp((sum + (1 << (shift - 1))) >> shift, 0, int(kSampleMax));
        }
    return out;
}

}

TEST(Resampler, RowsFedInBatchesGiveThePlainTwoPasses)
{
    // A random picture through the row resampler, fed as a decoder feeds it
    // (output rows made two at a time where they can be), against the two
    // passes written out with the same weights, in the order AcrossFirst
    // gives: the clamp between them makes the order matter.
    std::mt19937 random(11);
    const struct {
        int32_t inW, inH, outW, outH;
        Kernel kernel;
        bool acrossFirst;
    } cases[] = {
        { 301, 200, 211, 64, Kernel::Lanczos3, true },   // 1.43 and 3.1 times smaller
        { 120, 77, 37, 230, Kernel::Mitchell, false },   // flattened, then stretched
        { 45, 300, 208, 17, Kernel::Lanczos3, true },    // stretched across, 17.6 times fewer rows
        { 300, 200, 100, 100, Kernel::Lanczos3, false }, // 3 times fewer columns, 2 times fewer rows
        { 600, 400, 40, 5, Kernel::Lanczos3, true },     // 15 times fewer columns: too many for the byte windows
        // Odd sizes: one column or one row in or out, widths no vector divides.
        { 1, 50, 7, 20, Kernel::Mitchell, true },
        { 50, 1, 20, 3, Kernel::Mitchell, false },
        { 77, 33, 1, 5, Kernel::Lanczos3, false },
        { 33, 77, 65, 1, Kernel::Mitchell, true },
        { 131, 97, 17, 129, Kernel::Lanczos3, false },
        { 97, 131, 129, 33, Kernel::Lanczos3, true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.inW) + "x" + std::to_string(c.inH) + " -> " + std::to_string(c.outW) + "x"
                     + std::to_string(c.outH));
        ASSERT_EQ(AcrossFirst(c.inW, c.inH, c.outW, c.outH), c.acrossFirst);
        // Black and white: the ringing at sharp edges reaches the clamps.
        std::vector<int32_t> picture(size_t(c.inW) * size_t(c.inH) * 3);
        for (auto& v : picture)
            v = random() % 2 ? 255 : 0;
        const AxisWeights across = MakeAxisWeights(c.inW, c.outW, c.kernel, 16);
        const AxisWeights down = MakeAxisWeights(c.inH, c.outH, c.kernel, 2);
        std::vector<int32_t> expected;
        if (c.acrossFirst) {
            std::vector<int32_t> q6 = picture;
            for (auto& v : q6)
                v <<= kSampleBits;
            expected = PlainDown(PlainAcross(q6, c.inW, c.inH, across, kWeightBits), c.outW, down, kWeightBits);
        } else {
            expected = PlainAcross(PlainDown(picture, c.inW, down, kWeightBits - kSampleBits), c.inW, c.outH, across, kWeightBits);
        }

        // On every target this machine can run, and the plain code.
        simd::ForEachTarget([&](const std::string& target) {
        SCOPED_TRACE(target);
        RowResampler r(c.inW, c.inH, c.outW, c.outH, 3, c.kernel, 16);
        std::vector<int16_t> out(size_t(c.outW) * 3);
        std::vector<uint32_t> pixels(size_t(c.outW));
        auto to8 = [](int32_t q6) { return uint32_t((q6 + (1 << (kSampleBits - 1))) >> kSampleBits); };
        int16_t* planes[3] = { out.data(), out.data() + c.outW, out.data() + 2 * c.outW };
        int32_t made = 0;
        for (int32_t y = 0; y < c.inH; y += 16) {
            const int32_t end = std::min(y + 16, c.inH);
            for (int32_t i = y; i < end; ++i)
                for (int32_t x = 0; x < c.inW * 3; ++x)
                    r.slot(i)[x] = uint8_t(picture[size_t(i) * size_t(c.inW) * 3 + size_t(x)]);
            r.fedUpTo(end);
            for (; made < c.outH && r.ready(made); ++made) {
                r.make(made, planes);
                for (int ch = 0; ch < 3; ++ch)
                    for (int32_t j = 0; j < c.outW; ++j)
                        ASSERT_EQ(planes[ch][j], expected[(size_t(made) * size_t(c.outW) + size_t(j)) * 3 + size_t(ch)])
                            << "row " << made << " channel " << ch << " sample " << j;
                // The same row again as pixels.
                r.makePixels(made, pixels.data());
                for (int32_t j = 0; j < c.outW; ++j) {
                    const int32_t* rgb = &expected[(size_t(made) * size_t(c.outW) + size_t(j)) * 3];
                    ASSERT_EQ(pixels[size_t(j)], 0xff000000u | to8(rgb[0]) << 16 | to8(rgb[1]) << 8 | to8(rgb[2]))
                        << "row " << made << " pixel " << j;
                }
            }
        }
        EXPECT_EQ(made, c.outH);
        });
    }
}
