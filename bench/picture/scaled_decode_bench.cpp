// SPDX-License-Identifier: GPL-3.0-or-later
// What libjpeg's scaled decoding costs in quality, the measurement behind the
// renditions' decoding at full size: each photo made to be hard (fixtures/HardPhotos.h)
// decoded at 1/2, 1/4 and 1/8 and resampled to targets that many times
// ("margin") smaller than the scaled picture, against ImageMagick's resize of
// the full file. Counters: psnr_db through the scaled decode, full_db through
// the full decode to the same target, loss_db the difference.
//
//   scaled_decode_bench --benchmark_filter=denominator:2
#include "platform/picture/JpegRendition.h"

#include <benchmark/benchmark.h>

#include "fixtures/HardPhotos.h"
#include "fixtures/ResizeReference.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using namespace kalvio;

std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

void ScaledLoss(benchmark::State& state, bench::HardPhotoFile file, uint32_t denominator, double margin)
{
    const std::string path = bench::HardPhotoPath(file);
    const std::vector<uint8_t> bytes = ReadFile(path);
    if (bytes.empty()) {
        state.SkipWithError("no hard photo (cjpeg missing?)");
        return;
    }
    const int32_t w = int32_t(std::lround(std::ceil(double(file.width) / denominator) / margin));
    const int32_t h = int32_t(std::lround(std::ceil(double(file.height) / denominator) / margin));
    const QImage ref = bench::ResizeReference(path, w, h);
    if (ref.isNull()) {
        state.SkipWithError("no ImageMagick reference");
        return;
    }
    Bitmap scaled;
    for (auto _ : state)
        scaled = RenderJpegMemoryScaled(bytes.data(), bytes.size(), path, w, h, denominator);
    const Bitmap full = RenderJpegMemoryScaled(bytes.data(), bytes.size(), path, w, h, 1);
    const double psnr = bench::Psnr(bench::Wrap(scaled), ref), fullPsnr = bench::Psnr(bench::Wrap(full), ref);
    state.counters["psnr_db"] = psnr;
    state.counters["full_db"] = fullPsnr;
    state.counters["loss_db"] = fullPsnr - psnr;
    state.counters["w"] = w;
    state.counters["h"] = h;
}

const int kRegistered = [] {
    if (std::system("command -v convert >/dev/null 2>&1") != 0)
        return 0;
    const struct {
        uint32_t denominator;
        std::vector<double> margins;
    } scales[] = {
        { 2, { 1.0, 1.25, 1.5, 1.75, 2.0, 2.5, 3.0, 4.0 } },
        { 4, { 1.0, 1.5, 2.0, 3.0 } },
        { 8, { 1.0, 1.5, 2.0 } },
    };
    for (const bench::HardPhotoFile& f : bench::HardPhotoFiles())
        for (const auto& s : scales)
            for (double m : s.margins)
                benchmark::RegisterBenchmark(("BM_ScaledDecodeLoss/file:" + bench::HardPhotoName(f) + "/denominator:"
                                              + std::to_string(s.denominator) + "/margin:" + std::to_string(m).substr(0, 4)).c_str(),
                                             ScaledLoss, f, s.denominator, m)
                    ->Unit(benchmark::kMillisecond)
                    ->Iterations(1);
    return 0;
}();

}
