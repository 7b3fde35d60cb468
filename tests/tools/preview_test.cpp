// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>

#include <QImage>

#include "platform/graphics/BitmapDraw.h"
#include "platform/picture/JpegLoader.h"
#include "platform/system/Random.h"
#include "transition/FrameComposer.h"
#include "tools/preview/PreviewFrames.h"
#include "tools/preview/PreviewOptions.h"

namespace kalvio::preview {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Split(const std::string& line)
{
    std::vector<std::string> out;
    size_t i = 0;
    while (i < line.size()) {
        size_t j = line.find(' ', i);
        if (j == std::string::npos)
            j = line.size();
        if (j > i)
            out.push_back(line.substr(i, j - i));
        i = j + 1;
    }
    return out;
}

TEST(PreviewOptions, Accepted)
{
    auto r = ParsePreviewOptions(Split("--old a.jpg --new b.jpg --style 117 --progress 0 --out o.png"));
    ASSERT_TRUE(std::holds_alternative<PreviewOptions>(r)) << std::get<std::string>(r);
    PreviewOptions o = std::get<PreviewOptions>(r);
    EXPECT_EQ(o.oldPath, "a.jpg");
    EXPECT_EQ(o.newPath, "b.jpg");
    EXPECT_EQ(o.outPath, "o.png");
    EXPECT_FALSE(o.sheet);
    EXPECT_EQ(o.style, 117);
    EXPECT_EQ(o.progress, 0);
    EXPECT_EQ(o.step, 4);
    EXPECT_FALSE(o.seed);

    r = ParsePreviewOptions(Split("--sheet s.png --seed 18446744073709551615 --step 100 --new b.jpg --old a.jpg"));
    ASSERT_TRUE(std::holds_alternative<PreviewOptions>(r)) << std::get<std::string>(r);
    o = std::get<PreviewOptions>(r);
    EXPECT_TRUE(o.sheet);
    EXPECT_EQ(o.outPath, "s.png");
    EXPECT_EQ(o.step, 100);
    EXPECT_EQ(o.seed, UINT64_MAX);
}

TEST(PreviewOptions, Refused)
{
    const char* cases[] = {
        "--old a.jpg --new b.jpg --style 118 --progress 5 --out o.png",
        "--old a.jpg --new b.jpg --style -1 --progress 5 --out o.png",
        "--old a.jpg --new b.jpg --style 1x --progress 5 --out o.png",
        "--old a.jpg --new b.jpg --style 1 --progress 101 --out o.png",
        "--old a.jpg --new b.jpg --style 1 --progress 5 --out o.png --step 0",
        "--old a.jpg --new b.jpg --style 1 --progress 5 --out o.png --seed -3",
        "--old a.jpg --new b.jpg --style 1 --progress 5",
        "--old a.jpg --style 1 --progress 5 --out o.png",
        "--old a.jpg --new b.jpg --style 1 --progress 5 --out o.png --out p.png",
        "--old a.jpg --new b.jpg --style 1 --progress 5 --out",
        "--old a.jpg --new b.jpg --sheet s.png --style 3",
        "--old a.jpg --new b.jpg --progress 5 --out o.png --verbose 1",
    };
    for (const char* c : cases) {
        auto r = ParsePreviewOptions(Split(c));
        ASSERT_TRUE(std::holds_alternative<std::string>(r)) << c;
        const std::string& message = std::get<std::string>(r);
        EXPECT_FALSE(message.empty()) << c;
        EXPECT_EQ(message.find('\n'), std::string::npos) << c;
    }
}

const std::string kData = KALVIO_TEST_DATA "/jpeg/";

TEST(PreviewFrames, OldPictureIsStretchedToTheNewSize)
{
    Bitmap small(10, 5, RGB(1, 1, 1));
    small.setPixel(9, 4, RGB(200, 0, 0));
    Bitmap big(40, 20, RGB(0, 0, 250));
    const Bitmap start = ComposeFrame(small, big, 60, 0, 4);
    ASSERT_EQ(start.width(), 40);
    ASSERT_EQ(start.height(), 20);
    Bitmap expected(40, 20);
    StretchCopy(expected, expected.rect(), small, small.rect());
    EXPECT_EQ(start, expected);
    EXPECT_EQ(ComposeFrame(small, big, 60, 100, 4), big);
}

TEST(PreviewFrames, SheetHoldsAThumbnailOfEveryStyle)
{
    const Bitmap oldPicture(300, 150, RGB(0, 0, 0));
    const Bitmap newPicture(300, 150, RGB(255, 255, 255));
    const Bitmap sheet = ComposeSheet(oldPicture, newPicture, 4, 60);
    // 4 styles a row of 3 thumbnails 60 x 30 each: 30 rows for 118 styles.
    EXPECT_EQ(sheet.width(), 6 + 4 * (3 * 60 + 2 * 6 + 18));
    EXPECT_EQ(sheet.height(), 6 + 30 * (18 + 30 + 12));
    // Style 1's 75% thumbnail is the third of the second cell in the first row.
    Bitmap expected(60, 30);
    RenderFrame({ Bitmap(60, 30, RGB(0, 0, 0)), Bitmap(60, 30, RGB(255, 255, 255)), expected, 1, 75, 4, nullptr });
    const int32_t x0 = 6 + 1 * (3 * 60 + 2 * 6 + 18) + 2 * (60 + 6), y0 = 6 + 18;
    for (int32_t y = 0; y < 30; ++y)
        for (int32_t x = 0; x < 60; ++x)
            ASSERT_EQ(sheet.pixel(x0 + x, y0 + y), expected.pixel(x, y)) << x << "," << y;
}

// Runs the built tool; returns its exit status and stderr.
struct ToolRun {
    int status;
    std::string err;
};
ToolRun RunTool(const std::string& args)
{
    const fs::path errFile = fs::temp_directory_path() / ("kalvio-preview-err-" + std::to_string(getpid()));
    const std::string command = std::string(KALVIO_PREVIEW_TOOL) + " " + args + " 2>" + errFile.string();
    const int raw = std::system(command.c_str());
    std::ifstream in(errFile);
    std::string err((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    fs::remove(errFile);
    return { WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, err };
}

struct ToolFixture : ::testing::Test {
    fs::path dir;
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("kalvio-preview-test-" + std::to_string(getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
};

TEST_F(ToolFixture, WritesTheFrameAsAnRgbPng)
{
    const std::string out = (dir / "frame.png").string();
    ToolRun r = RunTool("--old " + kData + "testimggray.jpg --new " + kData + "testorig.jpg --style 60 --progress 40 --seed 1 --out " + out);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    QImage image(QString::fromStdString(out));
    ASSERT_FALSE(image.isNull());
    // IHDR: bit depth 8, colour type 2 (RGB, no alpha).
    std::ifstream png(out, std::ios::binary);
    char header[26] = {};
    png.read(header, sizeof header);
    EXPECT_EQ(header[24], 8);
    EXPECT_EQ(header[25], 2);

    RandomSeed(1);
    const Bitmap expected = ComposeFrame(LoadPictureFile(kData + "testimggray.jpg"), LoadPictureFile(kData + "testorig.jpg"), 60, 40, 4);
    ASSERT_EQ(image.width(), expected.width());
    ASSERT_EQ(image.height(), expected.height());
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ASSERT_EQ(image.pixel(x, y), expected.pixel(x, y)) << x << "," << y;
}

TEST_F(ToolFixture, BadArgumentsWriteNothing)
{
    const std::string out = (dir / "out.png").string();
    const std::string pictures = "--old " + kData + "testorig.jpg --new " + kData + "testimgp.jpg ";
    const std::string cases[] = {
        pictures + "--style 118 --progress 5 --out " + out,
        pictures + "--style 5 --progress 101 --out " + out,
        "--old " + kData + "no-such.jpg --new " + kData + "testimgp.jpg --style 5 --progress 5 --out " + out,
        "--old " + kData + "png_named_jpg_checkershadow.jpg --new " + kData + "testimgp.jpg --style 5 --progress 5 --out " + out,
        "--old " + kData + "zero_byte.jpg --new " + kData + "testimgp.jpg --sheet " + out,
        pictures + "--style 5 --progress 5 --out " + (dir / "missing" / "out.png").string(),
        pictures + "--style 5",
    };
    for (const std::string& c : cases) {
        ToolRun r = RunTool(c);
        EXPECT_EQ(r.status, 1) << c;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << c << "\n" << r.err;
        EXPECT_TRUE(fs::is_empty(dir)) << c;
    }
}

}
}
