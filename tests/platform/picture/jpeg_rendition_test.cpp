// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures decoded to the size they are shown, against ImageMagick's
// resize of the same files (committed references) and against the loader's
// own full-size results.
#include "platform/picture/JpegLoader.h"
#include "platform/picture/JpegRendition.h"
#include "platform/simd/SimdTarget.h"

#include <gtest/gtest.h>

#include "support/HardPhoto.h"

#include <QBuffer>
#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
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

// One axis of a Lanczos 3 resize in double precision, written out plainly:
// output j centred at (j + 0.5) * in / out, the kernel stretched by the
// reduction, samples past the ends left out and the rest made to sum to one.
std::vector<std::vector<std::pair<int32_t, double>>> LanczosWeights(int32_t in, int32_t out)
{
    auto sinc = [](double x) { return x == 0 ? 1.0 : std::sin(M_PI * x) / (M_PI * x); };
    const double scale = double(in) / out, blur = std::max(1.0, scale);
    std::vector<std::vector<std::pair<int32_t, double>>> axis(static_cast<size_t>(out));
    for (int32_t j = 0; j < out; ++j) {
        const double centre = (j + 0.5) * scale;
        double total = 0;
        for (int32_t i = std::max(0, int32_t(centre - 3 * blur)); i < std::min(in, int32_t(centre + 3 * blur) + 1); ++i) {
            const double x = (i + 0.5 - centre) / blur;
            if (std::fabs(x) < 3) {
                axis[size_t(j)].emplace_back(i, sinc(x) * sinc(x / 3));
                total += axis[size_t(j)].back().second;
            }
        }
        for (auto& [i, w] : axis[size_t(j)])
            w /= total;
    }
    return axis;
}

// The reduction of `full` to w x h by that model, rounded to bytes at the end.
Bitmap LanczosModel(const Bitmap& full, int32_t w, int32_t h)
{
    const auto across = LanczosWeights(full.width(), w), down = LanczosWeights(full.height(), h);
    std::vector<double> rows(size_t(full.height()) * size_t(w) * 3);
    for (int32_t y = 0; y < full.height(); ++y)
        for (int32_t x = 0; x < w; ++x)
            for (auto [i, weight] : across[size_t(x)]) {
                const Pixel p = full.pixel(i, y);
                double* out = &rows[(size_t(y) * size_t(w) + size_t(x)) * 3];
                out[0] += weight * RedOf(p), out[1] += weight * GreenOf(p), out[2] += weight * BlueOf(p);
            }
    Bitmap result = Bitmap::Unfilled(w, h);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            double c[3] {};
            for (auto [i, weight] : down[size_t(y)])
                for (int k = 0; k < 3; ++k)
                    c[k] += weight * rows[(size_t(i) * size_t(w) + size_t(x)) * 3 + size_t(k)];
            auto byte = [](double v) { return uint8_t(std::clamp(std::lround(v), 0L, 255L)); };
            result.row(y)[x] = RGB(byte(c[0]), byte(c[1]), byte(c[2]));
        }
    return result;
}

// A small photo full of fine detail (noise, fabric, text, stripes), saved as
// a camera would at quality 95.
std::vector<uint8_t> DetailedJpeg(int32_t width, int32_t height)
{
    const std::vector<uint8_t> rgb = test::HardPhoto(width, height);
    const QImage image(rgb.data(), width, height, width * 3, QImage::Format_RGB888);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 95);
    return { bytes.begin(), bytes.end() };
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
        { "rendition/fossa_960x540.jpg", 300, 160, "reduction of a photo by 3.2 and 3.4" },
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

// libjpeg's scaled decoding keeps too little of such a photo's detail at any
// margin over the target (about 30 dB at 1.5 times through 1/2): renditions
// of it must hold the goal at the reductions where it used to be taken.
TEST(JpegRendition, DetailedPhotosKeepTheirDetailAtLargeReductions)
{
    const std::vector<uint8_t> file = DetailedJpeg(768, 512);
    ASSERT_FALSE(file.empty());
    const Bitmap full = LoadJpegMemory(file.data(), file.size(), "detailed");
    struct Case {
        int32_t width, height;
        const char* what;
    };
    const Case cases[] = {
        { 256, 170, "3 times: 1/2 would give 1.5 times the target" },
        { 96, 64, "8 times: 1/4 would give twice the target" },
        { 48, 32, "16 times: 1/8 would give twice the target" },
        { 500, 60, "flattened: 1/2 would give 3 times the height" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Bitmap ours = RenderJpegMemory(file.data(), file.size(), "detailed", c.width, c.height);
        const Bitmap model = LanczosModel(full, c.width, c.height);
        const QImage reference(reinterpret_cast<const uchar*>(model.bits()), c.width, c.height, c.width * 4,
                               QImage::Format_RGB32);
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

// The vector code of every target this machine can run gives the plain
// code's pixels, bit for bit: on the hard photos (fine detail and sharp
// edges reach the clamps between the passes), colour, grey and CMYK files,
// and sizes of one column or one row and widths no vector divides, each
// way round (across first or down first).
TEST(JpegRendition, EveryTargetGivesThePlainPixels)
{
    const std::vector<uint8_t> detailed = DetailedJpeg(1203, 677);
    ASSERT_FALSE(detailed.empty());
    struct File {
        std::string name;
        std::vector<uint8_t> bytes;
    };
    std::vector<File> files { { "detailed 1203 x 677", detailed } };
    for (const char* name : { "rendition/fossa_960x540.jpg", "jpeg/testimgp.jpg", "jpeg/testimggray.jpg",
                              "jpeg/pillow_pil_sample_cmyk.jpg", "jpeg/im_background_1x118.jpg" })
        files.push_back({ name, Bytes(Data(name)) });
    const std::pair<int32_t, int32_t> sizes[] = {
        { 384, 216 }, // 3.1 and 3.1 times smaller
        { 401, 301 }, // 3 times fewer columns, 2.2 times fewer rows: down first
        { 129, 17 },  // flattened
        { 1, 37 },
        { 37, 1 },
        { 1283, 721 }, // larger
    };
    for (const File& f : files) {
        SCOPED_TRACE(f.name);
        for (auto [w, h] : sizes) {
            SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
            std::map<std::string, Bitmap> made;
            simd::ForEachTarget([&](const std::string& target) {
                made.emplace(target, RenderJpegMemory(f.bytes.data(), f.bytes.size(), f.name, w, h));
            });
            ASSERT_GE(made.size(), 2u);
            const Bitmap& plain = made.at("plain");
            ASSERT_EQ(plain.width(), w);
            for (const auto& [target, bitmap] : made)
                EXPECT_TRUE(bitmap == plain) << target;
        }
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
