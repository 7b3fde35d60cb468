// SPDX-License-Identifier: GPL-3.0-or-later
// JPEG decoding of real photos: our loader (from memory, so only decoding is
// timed) beside libjpeg-turbo's own djpeg on the same file, when installed.
#include "platform/picture/JpegLoader.h"

#include <benchmark/benchmark.h>

#include "fixtures/Djpeg.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

using namespace kalvio;
namespace fs = std::filesystem;

const char* const kPhotoDir = KALVIO_PHOTO_DIR;

// About 2, 12 and 24 megapixels; baseline and progressive.
const char* const kPhotos[] = {
    "exif-orientation/Landscape_1.jpg",        // 1800 x 1200, baseline 4:2:0
    "Dragonfly_by_Bolly.jpg",                  // 4224 x 3168, progressive
    "ianare_phone_4032x3024.jpg",              // 4032 x 3024, camera photo
    "Painting-Colors_by__herobrine7gamer.jpg", // 6000 x 4000, baseline 4:4:4
};

std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

void Decode(benchmark::State& state, const std::string& path)
{
    std::vector<uint8_t> bytes = ReadFile(path);
    if (bytes.empty()) {
        state.SkipWithError(("cannot read " + path).c_str());
        return;
    }
    size_t pixels = 0;
    for (auto _ : state) {
        Bitmap bm = LoadJpegMemory(bytes.data(), bytes.size(), path);
        pixels = bm.pixelCount();
        benchmark::DoNotOptimize(bm.bits());
    }
    state.counters["Mpx"] = double(pixels) / 1e6;
    state.counters["Mpx/s"]
        = benchmark::Counter(double(pixels) / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

const int kRegistered = [] {
    if (!fs::is_directory(kPhotoDir)) {
        benchmark::RegisterBenchmark("BM_Decode/photos_missing", [](benchmark::State& state) {
            state.SkipWithError("the photo folder is missing");
            for (auto _ : state) { }
        });
        return 0;
    }
    for (const char* photo : kPhotos) {
        std::string path = std::string(kPhotoDir) + "/" + photo;
        std::string name = fs::path(photo).filename().string();
        benchmark::RegisterBenchmark(("BM_Decode/file:" + name).c_str(), Decode, path)
            ->Unit(benchmark::kMillisecond);
        bench::RegisterDjpeg(name, path);
    }
    return 0;
}();

}
