// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: any bytes through the JPEG loader, full size and as a
// rendition of a size drawn from the input. Each must give a bitmap (of the
// size asked for) or a PictureError: no crash, leak, hang or other exception.
//
// The system's libjpeg is not instrumented, so coverage of the decoder itself
// is invisible to the fuzzer. To steer it anyway, the outcome (error or
// warning kind, colour layout, size class) is turned into branches here,
// which the fuzzer does see.
#include "platform/picture/JpegLoader.h"
#include "platform/picture/JpegRendition.h"
#include "fuzz/jpeg_fuzz_limits.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

volatile unsigned g_sink;

#define KALVIO_CASE(n) \
    case n:            \
        g_sink = n;    \
        break;
#define KALVIO_CASE8(n)                                                                     \
    KALVIO_CASE(n) KALVIO_CASE(n + 1) KALVIO_CASE(n + 2) KALVIO_CASE(n + 3) KALVIO_CASE(n + 4) \
        KALVIO_CASE(n + 5) KALVIO_CASE(n + 6) KALVIO_CASE(n + 7)

// One distinct edge for each of 128 buckets.
__attribute__((noinline)) void Mark(unsigned bucket)
{
    switch (bucket & 127) {
        KALVIO_CASE8(0) KALVIO_CASE8(8) KALVIO_CASE8(16) KALVIO_CASE8(24)
        KALVIO_CASE8(32) KALVIO_CASE8(40) KALVIO_CASE8(48) KALVIO_CASE8(56)
        KALVIO_CASE8(64) KALVIO_CASE8(72) KALVIO_CASE8(80) KALVIO_CASE8(88)
        KALVIO_CASE8(96) KALVIO_CASE8(104) KALVIO_CASE8(112) KALVIO_CASE8(120)
    }
}

// Bucket of a message's kind: its letters up to the first digit or quote,
// so "bad Huffman code" and "Unsupported marker type 0x66" each get one.
unsigned KindOf(const std::string& text, size_t from)
{
    unsigned h = 2166136261u;
    for (size_t i = from; i < text.size() && i < from + 40; ++i) {
        char c = text[i];
        if ((c >= '0' && c <= '9') || c == '(')
            break;
        h = (h ^ uint8_t(c)) * 16777619u;
    }
    return h;
}

unsigned Log2(uint64_t v)
{
    unsigned n = 0;
    while (v > 1) {
        v >>= 1;
        ++n;
    }
    return n;
}

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Smaller than the program's limits so each run stays fast; the code
    // paths that enforce them are the same.
    const kalvio::JpegLimits limits = JpegFuzzLimits();
    kalvio::JpegWarnings warnings;
    try {
        kalvio::Bitmap bm = kalvio::LoadJpegMemory(data, size, "input", &warnings, limits);
        // Read back every pixel: each must be opaque 0xffRRGGBB.
        uint32_t all = 0xffffffffu;
        for (size_t i = 0; i < bm.pixelCount(); ++i)
            all &= bm.bits()[i];
        if ((all >> 24) != 0xff)
            __builtin_trap(); // a pixel without its 0xff top byte
        Mark(Log2(warnings.count + 1));
        Mark(16 + Log2(bm.pixelCount()));
        Mark(48 + KindOf(warnings.first, 0) % 80);
    } catch (const kalvio::PictureError& e) {
        std::string text = e.what();
        size_t cause = text.find("\": ");
        Mark(KindOf(text, cause == std::string::npos ? 0 : cause + 3));
    }
    const RenditionSize target = RenditionSizeFor(data, size);
    try {
        kalvio::Bitmap bm = kalvio::RenderJpegMemory(data, size, "input", target.width, target.height, nullptr, limits);
        if (bm.width() != target.width || bm.height() != target.height)
            __builtin_trap(); // not the size asked for
        uint32_t all = 0xffffffffu;
        for (size_t i = 0; i < bm.pixelCount(); ++i)
            all &= bm.bits()[i];
        if ((all >> 24) != 0xff)
            __builtin_trap();
        Mark(96 + Log2(uint64_t(target.width) * uint64_t(target.height)) % 32);
    } catch (const kalvio::PictureError& e) {
        Mark(KindOf(e.what(), 0) % 16 + 112);
    }
    return 0;
}
