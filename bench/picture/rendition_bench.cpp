// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures decoded to the size they are shown: decode plus resample of every
// shared photo of 12 megapixels or more to 1920 x 1080 and 3840 x 2160, beside djpeg's
// full decode of the same file; and what the costly tiny files of the loader
// tests cost with and without the decoding budget.
#include "platform/picture/JpegDecoder.h"
#include "platform/picture/JpegLoader.h"
#include "platform/picture/JpegRendition.h"
#include "support/CostlyJpeg.h"

#include <benchmark/benchmark.h>

#include "fixtures/Djpeg.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

using namespace kalvio;
namespace fs = std::filesystem;

const char* const kPhotoDir = KALVIO_PHOTO_DIR;

std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

void Rendition(benchmark::State& state, const std::string& path, int32_t width, int32_t height)
{
    const std::vector<uint8_t> bytes = ReadFile(path);
    if (bytes.empty()) {
        state.SkipWithError(("cannot read " + path).c_str());
        return;
    }
    for (auto _ : state) {
        Bitmap bm = RenderJpegMemory(bytes.data(), bytes.size(), path, width, height);
        benchmark::DoNotOptimize(bm.bits());
    }
}

// The costly files: processor time of one attempt, and libjpeg's memory.
void Costly(benchmark::State& state, test::CostlyKind kind, bool rendition, bool budget)
{
    const std::vector<uint8_t> file = test::CostlyJpeg(kind);
    JpegLimits limits;
    if (!budget)
        limits.maxBlockScans = UINT64_MAX;
    JpegCost cost;
    bool refused = false;
    for (auto _ : state) {
        try {
            Bitmap bm = rendition ? RenderJpegMemory(file.data(), file.size(), "costly", 1920, 1080, nullptr, limits, nullptr, &cost)
                                  : LoadJpegMemory(file.data(), file.size(), "costly", nullptr, limits, nullptr, &cost);
            benchmark::DoNotOptimize(bm.bits());
        } catch (const PictureError&) {
            refused = true;
        }
    }
    state.counters["refused"] = refused;
    state.counters["decoder_mb"] = double(cost.decoderBytes) / 1e6;
    state.counters["file_bytes"] = double(file.size());
}

// A progressive copy of the 24-megapixel baseline photo (the same picture,
// losslessly recoded by jpegtran), made once.
std::string ProgressiveCopy(const std::string& path)
{
    const std::string copy = (fs::temp_directory_path() / ("kalvio-progressive-" + fs::path(path).filename().string())).string();
    if (!fs::exists(copy)) {
        const std::string command = "jpegtran -progressive -copy none -outfile '" + copy + "' '" + path + "' 2>/dev/null";
        if (std::system(command.c_str()) != 0)
            return {};
    }
    return copy;
}

double Megapixels(const std::string& path)
{
    const std::vector<uint8_t> bytes = ReadFile(path);
    try {
        jpeg::Decoder d;
        jpeg::OpenDecoder(d, bytes.data(), bytes.size(), path, {}, nullptr);
        return double(d.cinfo.image_width) * d.cinfo.image_height / 1e6;
    } catch (const PictureError&) {
        return 0;
    }
}

const int kRegistered = [] {
    using test::CostlyKind;
    const struct {
        const char* name;
        CostlyKind kind;
    } costly[] = { { "progressive_100_scans", CostlyKind::ProgressiveScans }, { "baseline_grey", CostlyKind::BaselineGrey },
                   { "baseline_colour", CostlyKind::BaselineColour }, { "arithmetic_grey", CostlyKind::ArithmeticGrey } };
    for (const auto& c : costly) {
        for (bool rendition : { false, true }) {
            // Full-size decodes of the 250-megapixel files make 1 GB bitmaps;
            // only the scans file is timed that way.
            if (!rendition && c.kind != CostlyKind::ProgressiveScans)
                continue;
            for (bool budget : { true, false })
                benchmark::RegisterBenchmark((std::string("BM_CostlyPicture/file:") + c.name + "/path:"
                                              + (rendition ? "rendition" : "full") + "/budget:" + (budget ? "1" : "0")).c_str(),
                                             Costly, c.kind, rendition, budget)
                    ->Unit(benchmark::kMillisecond)
                    ->Iterations(1);
        }
    }
    if (!fs::is_directory(kPhotoDir))
        return 0;
    // Every shared photo of 12 megapixels or more, and a progressive copy of
    // the 24-megapixel baseline one.
    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(kPhotoDir))
        if (e.path().extension() == ".jpg" && Megapixels(e.path().string()) >= 12)
            files.push_back(e.path().string());
    std::sort(files.begin(), files.end());
    const std::string painting = std::string(kPhotoDir) + "/Painting-Colors_by__herobrine7gamer.jpg";
    if (const std::string copy = ProgressiveCopy(painting); !copy.empty())
        files.push_back(copy);
    for (const std::string& path : files) {
        const std::string name = fs::path(path).filename().string();
        for (auto [w, h] : { std::pair { 1920, 1080 }, std::pair { 3840, 2160 } })
            benchmark::RegisterBenchmark(("BM_Rendition/file:" + name + "/w:" + std::to_string(w) + "/h:" + std::to_string(h)).c_str(),
                                         Rendition, path, w, h)
                ->Unit(benchmark::kMillisecond);
        bench::RegisterDjpeg(name, path);
    }
    return 0;
}();

}
