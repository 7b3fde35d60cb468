// Replays the fuzzer's regression corpus (tests/data/jpeg-corpus) through the
// loader, full size and as a rendition: every file must give a bitmap (of the
// size asked for) or a PictureError, nothing else.
#include "fuzz/jpeg_fuzz_limits.h"
#include "platform/JpegLoader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

using namespace kalvio;
namespace fs = std::filesystem;

TEST(JpegCorpus, EveryFileLoadsOrFailsCleanly)
{
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(std::string(KALVIO_TEST_DATA) + "/jpeg-corpus"))
        files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    ASSERT_GT(files.size(), 10u) << "the regression corpus is missing";

    size_t decoded = 0, refused = 0;
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.filename().string());
        std::ifstream in(file, std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
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
