// SPDX-License-Identifier: GPL-3.0-or-later
// Quality of the pictures as shown, against ImageMagick's resize of the same
// file (`convert FILE -auto-orient -resize WxH! ref.png`, PSNR as `compare -metric PSNR`
// gives it): every shared photo and every photo made to be hard
// (fixtures/HardPhotos.h) at 1920 x 1080 and 3840 x 2160. And the
// resamplers that were candidates, side by side on full decodes: ours, Qt's
// smooth scaling, pixman's separable convolution and libswscale (the last two
// when their development files were found), each timed and measured.
#include "platform/picture/JpegLoader.h"
#include "platform/picture/JpegRendition.h"
#include "platform/picture/Resampler.h"

#include <benchmark/benchmark.h>

#include "fixtures/HardPhotos.h"
#include "fixtures/ResizeReference.h"

#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#if KALVIO_HAVE_PIXMAN
#include <pixman.h>
#endif
#if KALVIO_HAVE_SWSCALE
extern "C" {
#include <libswscale/swscale.h>
}
#endif

namespace {

using namespace kalvio;
namespace fs = std::filesystem;

const char* const kPhotoDir = KALVIO_PHOTO_DIR;

using bench::Psnr;
using bench::Wrap;

void Quality(benchmark::State& state, const std::string& path, int w, int h)
{
    const QImage ref = bench::ResizeReference(path, w, h);
    if (ref.isNull()) {
        state.SkipWithError("no ImageMagick reference");
        return;
    }
    Bitmap ours;
    for (auto _ : state)
        ours = LoadPictureRendition(path, w, h);
    state.counters["psnr_db"] = Psnr(Wrap(ours), ref);
}

// ---- the candidates, on a full decode ----

Bitmap Ours(const Bitmap& src, int w, int h)
{
    const Kernel kernel = int64_t(w) * h > int64_t(src.width()) * src.height() ? Kernel::Mitchell : Kernel::Lanczos3;
    RowResampler r(src.width(), src.height(), w, h, 3, kernel, 16);
    Bitmap out = Bitmap::Unfilled(w, h);
    std::vector<int16_t> rows(size_t(w) * 3 + 48);
    int16_t* planes[3] = { rows.data(), rows.data() + w + 16, rows.data() + 2 * (w + 16) };
    int32_t y = 0;
    for (int32_t i = 0; i < src.height(); ++i) {
        uint8_t* slot = r.slot(i);
        const Pixel* p = src.row(i);
        for (int32_t x = 0; x < src.width(); ++x) {
            slot[3 * x] = RedOf(p[x]);
            slot[3 * x + 1] = GreenOf(p[x]);
            slot[3 * x + 2] = BlueOf(p[x]);
        }
        r.fedUpTo(i + 1);
        for (; y < h && r.ready(y); ++y) {
            r.make(y, planes);
            Pixel* o = out.row(y);
            for (int32_t x = 0; x < w; ++x)
                o[x] = RGB(uint8_t((planes[0][x] + 32) >> 6), uint8_t((planes[1][x] + 32) >> 6), uint8_t((planes[2][x] + 32) >> 6));
        }
    }
    return out;
}

Bitmap QtSmooth(const Bitmap& src, int w, int h)
{
    const QImage scaled = Wrap(src).scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    Bitmap out = Bitmap::Unfilled(w, h);
    for (int y = 0; y < h; ++y)
        std::copy_n(reinterpret_cast<const Pixel*>(scaled.constScanLine(y)), w, out.row(y));
    return out;
}

#if KALVIO_HAVE_PIXMAN
// pixman's separable convolution as cairo sets it up for its best filter:
// a Lanczos3 sampling kernel for reductions, a cubic reconstruction for
// enlargements.
Bitmap Pixman(const Bitmap& src, int w, int h)
{
    Bitmap out = Bitmap::Unfilled(w, h);
    pixman_image_t* s = pixman_image_create_bits(PIXMAN_x8r8g8b8, src.width(), src.height(),
                                                 const_cast<uint32_t*>(src.bits()), src.width() * 4);
    pixman_image_t* d = pixman_image_create_bits(PIXMAN_x8r8g8b8, w, h, out.bits(), w * 4);
    const double sx = double(src.width()) / w, sy = double(src.height()) / h;
    pixman_transform_t t;
    pixman_transform_init_scale(&t, pixman_double_to_fixed(sx), pixman_double_to_fixed(sy));
    pixman_image_set_transform(s, &t);
    pixman_image_set_repeat(s, PIXMAN_REPEAT_PAD);
    const bool reduce = sx * sy >= 1;
    int n = 0;
    pixman_fixed_t* params = pixman_filter_create_separable_convolution(
        &n, pixman_double_to_fixed(std::max(sx, 1.0)), pixman_double_to_fixed(std::max(sy, 1.0)),
        reduce ? PIXMAN_KERNEL_IMPULSE : PIXMAN_KERNEL_CUBIC, reduce ? PIXMAN_KERNEL_IMPULSE : PIXMAN_KERNEL_CUBIC,
        reduce ? PIXMAN_KERNEL_LANCZOS3 : PIXMAN_KERNEL_IMPULSE, reduce ? PIXMAN_KERNEL_LANCZOS3 : PIXMAN_KERNEL_IMPULSE, 4, 4);
    pixman_image_set_filter(s, PIXMAN_FILTER_SEPARABLE_CONVOLUTION, params, n);
    pixman_image_composite32(PIXMAN_OP_SRC, s, nullptr, d, 0, 0, 0, 0, 0, 0, w, h);
    std::free(params);
    pixman_image_unref(s);
    pixman_image_unref(d);
    return out;
}
#endif

#if KALVIO_HAVE_SWSCALE
Bitmap Swscale(const Bitmap& src, int w, int h)
{
    Bitmap out = Bitmap::Unfilled(w, h);
    SwsContext* c = sws_getContext(src.width(), src.height(), AV_PIX_FMT_BGR0, w, h, AV_PIX_FMT_BGR0,
                                   SWS_LANCZOS | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP, nullptr, nullptr, nullptr);
    const uint8_t* in[1] = { reinterpret_cast<const uint8_t*>(src.bits()) };
    const int inStride[1] = { src.width() * 4 };
    uint8_t* o[1] = { reinterpret_cast<uint8_t*>(out.bits()) };
    const int outStride[1] = { w * 4 };
    sws_scale(c, in, inStride, 0, src.height(), o, outStride);
    sws_freeContext(c);
    for (size_t i = 0; i < out.pixelCount(); ++i)
        out.bits()[i] |= 0xff000000u;
    return out;
}
#endif

using Candidate = Bitmap (*)(const Bitmap&, int, int);

void Compare(benchmark::State& state, const std::string& path, Candidate resample, int w, int h)
{
    const QImage ref = bench::ResizeReference(path, w, h);
    if (ref.isNull()) {
        state.SkipWithError("no ImageMagick reference");
        return;
    }
    const Bitmap full = LoadJpegFile(path);
    Bitmap out;
    for (auto _ : state)
        out = resample(full, w, h);
    state.counters["psnr_db"] = Psnr(Wrap(out), ref);
}

const int kRegistered = [] {
    if (std::system("command -v convert >/dev/null 2>&1") != 0)
        return 0;
    const bool shared = fs::is_directory(kPhotoDir);
    std::vector<fs::path> photos;
    if (shared)
        for (const auto& e : fs::recursive_directory_iterator(kPhotoDir))
            if (e.path().extension() == ".jpg")
                photos.push_back(e.path());
    std::sort(photos.begin(), photos.end());
    // Besides the shared photos, the ones made to be hard: nothing was tuned on them.
    if (std::system("command -v cjpeg >/dev/null 2>&1") == 0)
        for (const bench::HardPhotoFile& f : bench::HardPhotoFiles())
            if (const std::string path = bench::HardPhotoPath(f); !path.empty())
                photos.push_back(path);
    const std::pair<int, int> sizes[] = { { 1920, 1080 }, { 3840, 2160 } };
    for (const fs::path& p : photos)
        for (auto [w, h] : sizes)
            benchmark::RegisterBenchmark(("BM_RenditionQuality/file:" + p.filename().string() + "/w:" + std::to_string(w)
                                          + "/h:" + std::to_string(h)).c_str(), Quality, p.string(), w, h)
                ->Unit(benchmark::kMillisecond)
                ->Iterations(1);
    if (!shared)
        return 0;
    const std::pair<const char*, Candidate> candidates[] = {
        { "kalvio", Ours }, { "qt_smooth", QtSmooth },
#if KALVIO_HAVE_PIXMAN
        { "pixman_lanczos3", Pixman },
#endif
#if KALVIO_HAVE_SWSCALE
        { "swscale_lanczos", Swscale },
#endif
    };
    for (const char* file : { "Painting-Colors_by__herobrine7gamer.jpg", "Dragonfly_by_Bolly.jpg", "plasma_SafeLanding_1622x2880.jpg" })
        for (auto [w, h] : sizes)
            for (auto [name, candidate] : candidates)
                benchmark::RegisterBenchmark((std::string("BM_Resampler/kind:") + name + "/file:" + file + "/w:" + std::to_string(w)
                                              + "/h:" + std::to_string(h)).c_str(), Compare, std::string(kPhotoDir) + "/" + file,
                                             candidate, w, h)
                    ->Unit(benchmark::kMillisecond)
                    ->MeasureProcessCPUTime() // Qt scales on several threads
                    ->MinTime(0.5);
    return 0;
}();

}
