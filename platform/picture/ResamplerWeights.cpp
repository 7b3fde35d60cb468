// SPDX-License-Identifier: GPL-3.0-or-later
// The resampler's filters and the weights made of them, by output sample and
// again in the by-block forms the vector code reads.
#include "platform/picture/ResamplerKernels.h"

#include <cmath>
#include <numbers>
#include <numeric>
#include <vector>

namespace kalvio {

using resample::RoundUp;

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

ByteWindows MakeByteWindows(const AxisWeights& axis, int32_t channels, ByteWindowShape shape)
{
    ByteWindows bw;
    bw.channels = channels;
    bw.shape = shape;
    const int32_t lanes = shape.lanes;
    if (lanes <= 0 || (shape.sliding && lanes % 4 != 0))
        return bw;
    // A sliding window serves four lanes; a fixed one the whole step.
    const int32_t perWindow = shape.sliding ? 4 : lanes;
    const int32_t outputs = int32_t(axis.first.size()) * channels, steps = outputs / lanes;
    const int32_t windows = steps * (lanes / perWindow);
    int32_t span = 0, pairs = 0;
    bw.blockFirst.resize(size_t(windows));
    for (int32_t w = 0; w < windows; ++w) {
        const int32_t base = channels * axis.first[size_t(w * perWindow / channels)];
        bw.blockFirst[size_t(w)] = base;
        for (int32_t k = w * perWindow; k < (w + 1) * perWindow; ++k) {
            const size_t j = size_t(k / channels);
            if (channels * axis.first[j] + k % channels < base)
                return bw; // the outputs' inputs must not go back (window 0)
            // A sliding window holds each lane's first pair; a fixed one all its taps.
            const int32_t taps = shape.sliding ? std::min(axis.used[j], 2) : axis.used[j];
            span = std::max(span, channels * (axis.first[j] + taps - 1) + k % channels + 1 - base);
            pairs = std::max(pairs, (axis.used[j] + 1) / 2);
        }
    }
    if (shape.sliding)
        // The last window slides 2 * channels bytes a pair on from its
        // first: it must stay in the kWindow bytes a row is padded with.
        bw.window = span <= 16 && 2 * channels * pairs + 16 <= kWindow ? 16 : 0;
    else
        bw.window = span <= 64 ? 64 : span <= kWindow ? kWindow : 0;
    if (bw.window == 0)
        return bw;
    bw.pairs = pairs;
    bw.index.assign(size_t(steps) * size_t(lanes) * 4, 0x80);
    bw.weights.assign(size_t(steps) * size_t(pairs) * size_t(lanes), 0);
    for (int32_t k = 0; k < steps * lanes; ++k) {
        const int32_t s = k / lanes, i = k % lanes, c = k % channels;
        const size_t j = size_t(k / channels);
        const int16_t* w = axis.weights.data() + j * size_t(axis.taps);
        for (int32_t h = 0; h < 2; ++h) {
            // An unused tap weighs nothing, wherever its index points.
            const int32_t at = channels * (axis.first[j] + h) + c - bw.blockFirst[size_t(k / perWindow)];
            bw.index[size_t(k) * 4 + 2 * size_t(h)] = uint8_t(std::min(at, bw.window - 1));
        }
        for (int32_t t = 0; t < axis.used[j]; ++t) {
            int32_t& cell = bw.weights[(size_t(s) * size_t(pairs) + size_t(t / 2)) * size_t(lanes) + size_t(i)];
            cell = int32_t(uint32_t(cell) | uint32_t(uint16_t(w[t])) << (16 * (t % 2)));
        }
    }
    return bw;
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

}
