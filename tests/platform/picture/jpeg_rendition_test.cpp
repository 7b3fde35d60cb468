// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures decoded to the size they are shown, against ImageMagick's
// resize of the same files (committed references) and against the loader's
// own full-size results.
#include "platform/picture/JpegLoader.h"
#include "platform/picture/JpegRendition.h"

#include <gtest/gtest.h>

#include <QImage>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace kalvio;
namespace fs = std::filesystem;

namespace {

std::string Data(const std::string& name) { return std::string(KALVIO_TEST_DATA) + "/" + name; }

std::vector<uint8_t> Bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

// PSNR over the three colour channels, as ImageMagick's compare gives it.
double Psnr(const Bitmap& ours, const QImage& reference)
{
    const QImage ref = reference.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int y = 0; y < ours.height(); ++y)
        for (int x = 0; x < ours.width(); ++x) {
            const Pixel p = ours.pixel(x, y);
            const QRgb q = ref.pixel(x, y);
            const double dr = RedOf(p) - qRed(q), dg = GreenOf(p) - qGreen(q), db = BlueOf(p) - qBlue(q);
            sum += dr * dr + dg * dg + db * db;
        }
    const double mse = sum / (3.0 * double(ours.pixelCount()));
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

double MeanDifference(const Bitmap& a, const Bitmap& b)
{
    double sum = 0;
    for (size_t i = 0; i < a.pixelCount(); ++i) {
        const Pixel p = a.bits()[i], q = b.bits()[i];
        sum += std::abs(RedOf(p) - RedOf(q)) + std::abs(GreenOf(p) - GreenOf(q)) + std::abs(BlueOf(p) - BlueOf(q));
    }
    return sum / (3.0 * double(a.pixelCount()));
}

}

TEST(JpegRendition, MatchesImageMagicksResize)
{
    struct Case {
        const char* file;
        int width, height;
        const char* what;
    };
    const Case cases[] = {
        { "jpeg/testorig.jpg", 80, 50, "reduction (colour, 4:2:0)" },
        { "jpeg/testorig.jpg", 340, 220, "enlargement" },
        { "jpeg/testorig.jpg", 300, 100, "wider and flatter at once" },
        { "jpeg/testimgp.jpg", 160, 90, "progressive" },
        { "rendition/fossa_960x540.jpg", 300, 160, "reduction through libjpeg's half-size decoding" },
    };
    for (const Case& c : cases) {
        const std::string stem = fs::path(c.file).stem().string();
        const std::string ref = Data("rendition/" + stem + "_" + std::to_string(c.width) + "x"
                                     + std::to_string(c.height) + ".png");
        SCOPED_TRACE(ref + ": " + c.what);
        const QImage reference(QString::fromStdString(ref));
        ASSERT_FALSE(reference.isNull());
        const Bitmap ours = LoadPictureRendition(Data(c.file), c.width, c.height);
        ASSERT_EQ(ours.width(), c.width);
        ASSERT_EQ(ours.height(), c.height);
        EXPECT_GE(Psnr(ours, reference), 48.0);
    }
}

TEST(JpegRendition, AtItsOwnSizeIsTheFullDecode)
{
    for (const char* file : { "testorig.jpg", "testimgp.jpg", "pillow_pil_sample_cmyk.jpg" }) {
        SCOPED_TRACE(file);
        const std::vector<uint8_t> bytes = Bytes(Data("jpeg/") + file);
        const Bitmap full = LoadJpegMemory(bytes.data(), bytes.size(), file);
        EXPECT_TRUE(RenderJpegMemory(bytes.data(), bytes.size(), file, full.width(), full.height()) == full);
        EXPECT_TRUE(RenderJpegMemory(bytes.data(), bytes.size(), file, 0, 0) == full);
    }
}

// A photo stored sideways or mirrored is resampled as stored and then turned:
// at a size of a different shape than the picture, each of the eight
// orientations gives the upright photo's rendition.
TEST(JpegRendition, ExifOrientedPhotosComeOutUpright)
{
    const std::string dir = Data("orientation/");
    for (const char* shape : { "Landscape", "Portrait" }) {
        const Bitmap upright = LoadPictureRendition(dir + shape + "_1.jpg", 150, 70);
        for (const char* value : { "2", "3", "4", "5", "6", "7", "8" }) {
            const std::string file = std::string(shape) + "_" + value + ".jpg";
            if (!fs::exists(dir + file))
                continue;
            SCOPED_TRACE(file);
            const Bitmap turned = LoadPictureRendition(dir + file, 150, 70);
            ASSERT_EQ(turned.width(), 150);
            ASSERT_EQ(turned.height(), 70);
            // Separately compressed copies differ by a few levels; a wrong turn by tens.
            EXPECT_LT(MeanDifference(turned, upright), 8.0);
        }
    }
    // At its upright size a turned photo is its full decode, turned.
    const Bitmap full = LoadJpegFile(dir + "Portrait_6.jpg");
    EXPECT_TRUE(LoadPictureRendition(dir + "Portrait_6.jpg", full.width(), full.height()) == full);
}

TEST(JpegRendition, EveryColourLayoutKeepsItsColours)
{
    // The mean colour of a rendition is that of the full picture: CMYK and
    // YCCK are converted as the full-size loader converts them, grey stays
    // grey, and no channel is swapped.
    for (const char* file : { "testorig.jpg", "testimggray.jpg", "testimgari.jpg", "pillow_pil_sample_cmyk.jpg",
                              "free_by_Peter_Nerlich_720_cmyk_adobe0.jpg", "free_by_Peter_Nerlich_720_ycck_adobe2.jpg",
                              "seed_progressive_arith_422.jpg" }) {
        SCOPED_TRACE(file);
        const Bitmap full = LoadJpegFile(Data("jpeg/") + file);
        const Bitmap small = LoadPictureRendition(Data("jpeg/") + file, 37, 23);
        double meanFull[3] {}, meanSmall[3] {};
        for (size_t i = 0; i < full.pixelCount(); ++i) {
            const Pixel p = full.bits()[i];
            meanFull[0] += RedOf(p), meanFull[1] += GreenOf(p), meanFull[2] += BlueOf(p);
        }
        bool grey = true;
        for (size_t i = 0; i < small.pixelCount(); ++i) {
            const Pixel p = small.bits()[i];
            meanSmall[0] += RedOf(p), meanSmall[1] += GreenOf(p), meanSmall[2] += BlueOf(p);
            grey = grey && RedOf(p) == GreenOf(p) && GreenOf(p) == BlueOf(p);
            EXPECT_EQ(p >> 24, 0xffu);
        }
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(meanSmall[c] / double(small.pixelCount()), meanFull[c] / double(full.pixelCount()), 2.0) << c;
        EXPECT_EQ(grey, std::string(file) == "testimggray.jpg");
    }
}

TEST(JpegRendition, FailsLikeTheFullDecode)
{
    // Every test picture either gives a rendition of the size asked for or
    // the same error as the full-size loader.
    for (const auto& entry : fs::directory_iterator(Data("jpeg"))) {
        const std::string path = entry.path().string();
        SCOPED_TRACE(path);
        std::string fullError, renditionError;
        try {
            LoadJpegFile(path);
        } catch (const PictureError& e) {
            fullError = e.what();
        }
        try {
            const Bitmap bm = LoadPictureRendition(path, 64, 48);
            EXPECT_EQ(bm.width(), 64);
            EXPECT_EQ(bm.height(), 48);
        } catch (const PictureError& e) {
            renditionError = e.what();
        }
        EXPECT_EQ(renditionError, fullError);
    }
}
