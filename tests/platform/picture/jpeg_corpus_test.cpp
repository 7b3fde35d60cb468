// SPDX-License-Identifier: GPL-3.0-or-later
// Replays the fuzzers' regression corpora: every file of tests/data/jpeg-corpus
// through the loader, full size and as a rendition, must give a bitmap (of the
// size asked for) or a PictureError, nothing else; every file of
// tests/data/exif-corpus through the Exif reader an orientation, read within
// its bytes (the sanitizer build checks that).
#include "fuzz/jpeg_fuzz_limits.h"
#include "platform/picture/ExifOrientation.h"
#include "platform/picture/JpegLoader.h"
#include "platform/picture/JpegRendition.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

using namespace kalvio;
namespace fs = std::filesystem;

namespace {

std::vector<fs::path> CorpusFiles(const char* folder)
{
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(std::string(KALVIO_TEST_DATA) + "/" + folder))
        files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<uint8_t> ReadAll(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

}

TEST(JpegCorpus, EveryFileLoadsOrFailsCleanly)
{
    const std::vector<fs::path> files = CorpusFiles("jpeg-corpus");
    ASSERT_GT(files.size(), 10u) << "the regression corpus is missing";

    size_t decoded = 0, refused = 0;
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.filename().string());
        const std::vector<uint8_t> bytes = ReadAll(file);
        try {
            Bitmap bm = LoadJpegMemory(bytes.data(), bytes.size(), file.string(), nullptr,
                                       JpegFuzzLimits());
            EXPECT_FALSE(bm.isEmpty());
            EXPECT_LE(bm.pixelCount(), JpegFuzzLimits().maxPixels);
            ++decoded;
        } catch (const PictureError& e) {
            EXPECT_NE(std::string(e.what()).find(file.string()), std::string::npos) << e.what();
            ++refused;
        } catch (const std::exception& e) {
            ADD_FAILURE() << "unexpected exception: " << e.what();
        }
        const RenditionSize target = RenditionSizeFor(bytes.data(), bytes.size());
        try {
            Bitmap bm = RenderJpegMemory(bytes.data(), bytes.size(), file.string(), target.width, target.height,
                                         nullptr, JpegFuzzLimits());
            EXPECT_EQ(bm.width(), target.width);
            EXPECT_EQ(bm.height(), target.height);
        } catch (const PictureError& e) {
            EXPECT_NE(std::string(e.what()).find(file.string()), std::string::npos) << e.what();
        } catch (const std::exception& e) {
            ADD_FAILURE() << "unexpected exception: " << e.what();
        }
    }
    // A corpus of only failures (or only successes) would test little.
    EXPECT_GT(decoded, 0u);
    EXPECT_GT(refused, 0u);
}

TEST(ExifCorpus, EveryBlockGivesAnOrientation)
{
    const std::vector<fs::path> files = CorpusFiles("exif-corpus");
    ASSERT_GT(files.size(), 10u) << "the regression corpus is missing";
    size_t upright = 0, turned = 0;
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.filename().string());
        const std::vector<uint8_t> bytes = ReadAll(file);
        const int value = int(ReadExifOrientation(bytes.data(), bytes.size()));
        EXPECT_GE(value, 1);
        EXPECT_LE(value, 8);
        (value == 1 ? upright : turned) += 1;
    }
    // The corpus reaches both the refusals and the tag itself.
    EXPECT_GT(upright, 0u);
    EXPECT_GT(turned, 0u);
}
