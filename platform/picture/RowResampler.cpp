// SPDX-License-Identifier: GPL-3.0-or-later
// The row resampler: decoded rows in, a window of them kept, output rows out
// as soon as their input is complete.
#include "platform/picture/ResamplerKernels.h"

#include <algorithm>

namespace kalvio {

using namespace resample;

bool AcrossFirst(int32_t inWidth, int32_t inHeight, int32_t outWidth, int32_t outHeight)
{
    return int64_t(outWidth) * inHeight > int64_t(outHeight) * inWidth;
}

RowResampler::RowResampler(int32_t inWidth, int32_t inHeight, int32_t outWidth, int32_t outHeight, int32_t channels,
                           Kernel kernel, int32_t batch)
    : m_inWidth(inWidth)
    , m_channels(channels)
    , m_x(MakeAxisWeights(inWidth, outWidth, kernel, 16))
    , m_y(MakeAxisWeights(inHeight, outHeight, kernel, 2))
    , m_ringRows(m_y.taps + batch)
    , m_acrossFirst(AcrossFirst(inWidth, inHeight, outWidth, outHeight))
    , m_bytes(m_acrossFirst && (channels == 1 || channels == 3) ? MakeByteWindows(m_x, channels, ByteWindowsShape()) : ByteWindows {})
    , m_byteRows(m_bytes.window > 0)
    , m_slotRows(m_acrossFirst ? batch : m_ringRows)
    // The vertical pass reads and writes whole groups of 16 samples; the
    // byte windows read up to kWindow bytes on.
    , m_stride(size_t(RoundUp(inWidth * channels, 16) + (m_byteRows ? kWindow : 0)))
    , m_ring(m_stride * size_t(m_slotRows), 0)
    // Across first, m_mid is the output row: its channels interleaved
    // (m_byteRows) or one after the other, as the rows of m_across hold them.
    , m_mid(m_byteRows ? size_t(RoundUp(outWidth * channels, 32))
                : m_acrossFirst ? size_t(RoundUp(outWidth, 32)) * size_t(channels)
                                : std::max(m_stride + 16, size_t(RoundUp(inWidth, 16) + m_x.taps + kWindow + 16)), 0)
    , m_planeStride(size_t(RoundUp(inWidth, 16) + m_x.taps + kWindow + 16))
    , m_planes((channels == 1 && !m_acrossFirst) || m_byteRows ? 0 : m_planeStride * size_t(channels), 0)
    , m_rows(size_t(2 * m_y.taps + 2))
    , m_outHeight(outHeight)
    , m_midNext(m_mid.size(), 0)
    , m_weightsA(m_rows.size())
    , m_weightsB(m_rows.size())
    , m_outWidth(outWidth)
{
    if (m_acrossFirst) {
        m_outPlane = size_t(RoundUp(outWidth, 32));
        m_across.assign(m_outPlane * size_t(channels) * size_t(m_ringRows), 0);
        m_acrossRows.resize(m_rows.size());
    }
    if (const int32_t lanes = HorizontalLanes(); lanes > 0)
        AddBlockWeights(m_x, lanes);
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
            int16_t* row = acrossRow(i);
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
        if (m_acrossFirst)
            m_acrossRows[size_t(t)] = acrossRow(row);
        else
            m_rows[size_t(t)] = slot(row);
        m_weightsA[size_t(t)] = t < used ? a[t] : 0;
        m_weightsB[size_t(t)] = t >= shift && t - shift < usedNext ? b[t - shift] : 0;
    }
    if (m_acrossFirst)
        VerticalPassQ6Two(m_acrossRows.data(), m_weightsA.data(), m_weightsB.data(), count, acrossWidth(),
                          m_mid.data(), m_midNext.data());
    else
        VerticalPassTwo(m_rows.data(), m_weightsA.data(), m_weightsB.data(), count, m_inWidth * m_channels, m_mid.data(),
                        m_midNext.data());
    m_midNextRow = y + 1;
    return true;
}

bool RowResampler::pairedVertical(int32_t y)
{
    if (m_midNextRow != y)
        return verticalTwo(y);
    m_mid.swap(m_midNext);
    m_midNextRow = -1;
    return true;
}

const int16_t* RowResampler::downAcross(int32_t y)
{
    if (!pairedVertical(y)) {
        const int32_t first = m_y.first[size_t(y)], used = m_y.used[size_t(y)];
        for (int32_t t = 0; t < m_y.taps; ++t) // padding taps weigh nothing
            m_acrossRows[size_t(t)] = acrossRow(first + (t < used ? t : 0));
        VerticalPassQ6(m_acrossRows.data(), m_y.weights.data() + size_t(y) * size_t(m_y.taps), m_y.taps, acrossWidth(),
                       m_mid.data());
    }
    return m_mid.data();
}

void RowResampler::makePixels(int32_t y, uint32_t* out)
{
    if (m_byteRows && m_channels == 3)
        return PackInterleavedRgb(downAcross(y), m_outWidth, out);
    if (m_acrossFirst && !m_byteRows) {
        const int16_t* row = downAcross(y);
        const size_t plane = m_channels > 1 ? m_outPlane : 0;
        const int16_t* planes[3] = { row, row + plane, row + 2 * plane };
        return PackRgb(planes, m_outWidth, out);
    }
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
    if (m_byteRows && m_channels == 3)
        return Deinterleave3(downAcross(y), m_outWidth, out);
    if (m_acrossFirst) {
        const int16_t* row = downAcross(y);
        for (int32_t c = 0; c < m_channels; ++c)
            std::copy_n(row + size_t(c) * m_outPlane, m_outWidth, out[c]);
        return;
    }
    if (!pairedVertical(y)) {
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
