// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/picture/JpegLoader.h"
#include "platform/picture/Orient.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "support/DelayedShare.h"

using namespace kalvio;
namespace fs = std::filesystem;

namespace {

std::string DataPath(const std::string& name)
{
    return std::string(KALVIO_TEST_DATA) + "/jpeg/" + name;
}

struct Mean {
    double r = 0, g = 0, b = 0;
};

Mean MeanColour(const Bitmap& bm)
{
    Mean m;
    for (size_t i = 0; i < bm.pixelCount(); ++i) {
        Pixel p = bm.bits()[i];
        m.r += RedOf(p);
        m.g += GreenOf(p);
        m.b += BlueOf(p);
    }
    double n = double(bm.pixelCount());
    return { m.r / n, m.g / n, m.b / n };
}

// Mean absolute difference per channel of two same-sized pictures.
double MeanDifference(const Bitmap& a, const Bitmap& b)
{
    double sum = 0;
    for (size_t i = 0; i < a.pixelCount(); ++i) {
        Pixel p = a.bits()[i], q = b.bits()[i];
        sum += std::abs(RedOf(p) - RedOf(q)) + std::abs(GreenOf(p) - GreenOf(q))
            + std::abs(BlueOf(p) - BlueOf(q));
    }
    return sum / (3.0 * double(a.pixelCount()));
}

std::string ErrorText(const std::string& path, const JpegLimits& limits = {})
{
    try {
        LoadJpegFile(path, nullptr, limits);
    } catch (const PictureError& e) {
        return e.what();
    }
    return "(no error)";
}

struct FileCase {
    const char* file;
    int width;         // expected size when the file decodes
    int height;
    bool damaged;      // decodes, but with warnings
    const char* error; // expected error text when it does not
};

// Every file in tests/data/jpeg, with what loading it must give.
const FileCase kFiles[] = {
    // Real pictures: baseline, progressive, arithmetic, grey, CMYK, YCCK, odd sizes.
    { "testorig.jpg", 227, 149, false, nullptr },
    { "testimgp.jpg", 227, 149, false, nullptr },
    { "testimgari.jpg", 227, 149, false, nullptr },
    { "testimggray.jpg", 227, 149, false, nullptr },
    { "seed_progressive_arith_422.jpg", 149, 227, false, nullptr },
    { "pillow_pil_sample_cmyk.jpg", 100, 100, false, nullptr },
    { "free_by_Peter_Nerlich_720_cmyk_adobe0.jpg", 720, 540, false, nullptr },
    { "free_by_Peter_Nerlich_720_ycck_adobe2.jpg", 720, 540, false, nullptr },
    { "im_background_1x118.jpg", 1, 118, false, nullptr },
    { "seed_1x1_420.jpg", 1, 1, false, nullptr },
    // Damaged data that still decodes: shown as decoded, warnings counted.
    { "pillow_truncated_jpeg.jpg", 100, 100, true, nullptr },
    { "header_only_baseline.jpg", 4096, 2304, true, nullptr },
    { "afl_id002785_bad_progression.jpg", 32, 117, true, nullptr },
    { "gh171_b64876977_bigoutput.jpg", 227, 65422, true, nullptr },
    { "gh305_CVE-2018-19664.jpg", 100, 100, true, nullptr },
    { "gh389_invalid_sos.jpg", 1002, 891, true, nullptr },
    { "gh478.jpg", 11280, 115, true, nullptr },
    { "moz1050342_000_bad_huffman.jpg", 152, 256, true, nullptr },
    { "moz891693_turbo-dht.jpg", 32, 32, true, nullptr },
    { "mozjpeg268_CVE-2017-15232_002.jpg", 678, 504, true, nullptr },
    // Errors: not JPEG, empty, no image, damaged header, unsupported kinds.
    { "zero_byte.jpg", 0, 0, false, "the file is empty" },
    { "html_named.jpg", 0, 0, false, "not a JPEG file" },
    { "png_named_jpg_checkershadow.jpg", 0, 0, false, "not a JPEG file" },
    { "soi_only.jpg", 0, 0, false, "contains no image" },
    { "soi_eoi.jpg", 0, 0, false, "contains no image" },
    { "tables_only_no_image.jpg", 0, 0, false, "contains no image" },
    { "header_to_sof_baseline.jpg", 0, 0, false, "missing SOS marker" },
    { "skimage_truncated.jpg", 0, 0, false, "Bogus Huffman table" },
    { "sf93_id000003_no_huff_table.jpg", 0, 0, false, "Huffman table 0x06 was not defined" },
    { "moz891693_55.jpg", 0, 0, false, "Invalid component ID" },
    { "moz759802_CVE-2012-2806_radamsa.jpg", 0, 0, false, "Invalid component ID" },
    { "sof_zero_width.jpg", 0, 0, false, "Empty JPEG image" },
    { "testorig12.jpg", 0, 0, false, "precision 12" },
    { "gh669_poc2min_12bit.jpg", 0, 0, false, "precision 12" },
    { "seed_lossless_10bit.jpg", 0, 0, false, "SOF type 0xc3" },
    { "gh670_poc3min.jpg", 0, 0, false, "SOF type 0xc3" },
    { "gh674_poc19min_lossless_12336sq.jpg", 0, 0, false, "SOF type 0xc3" },
    // Sizes that cannot be held: refused from the header, before decoding.
    { "bomb_baseline_65500x65500.jpg", 0, 0, false, "too large (65500 x 65500 pixels)" },
    { "bomb_progressive_65500x65500.jpg", 0, 0, false, "too large (65500 x 65500 pixels)" },
    { "gh197_slow_min.jpg", 0, 0, false, "too large (35584 x 18696 pixels)" },
    { "sof_65535x65535.jpg", 0, 0, false, "Maximum supported image dimension" },
    { "afl_id000246_dim_over_65500.jpg", 0, 0, false, "Maximum supported image dimension" },
    // Under the pixel limit, but a progressive CMYK picture this size needs
    // more decoder memory than allowed.
    { "gh198_bogus_marker_len.jpg", 0, 0, false, "not enough memory to decode" },
};

}

TEST(JpegLoader, EveryFileGivesItsExpectedOutcome)
{
    for (const FileCase& c : kFiles) {
        SCOPED_TRACE(c.file);
        std::string path = DataPath(c.file);
        if (c.error) {
            std::string text = ErrorText(path);
            EXPECT_NE(text.find(c.error), std::string::npos) << text;
            // The text names the file.
            EXPECT_NE(text.find(path), std::string::npos) << text;
            continue;
        }
        JpegWarnings warnings;
        try {
            Bitmap bm = LoadJpegFile(path, &warnings);
            EXPECT_EQ(bm.width(), c.width);
            EXPECT_EQ(bm.height(), c.height);
            EXPECT_EQ(warnings.count > 0, c.damaged) << warnings.first;
            EXPECT_EQ(warnings.first.empty(), !c.damaged);
            // Every pixel is opaque 0xffRRGGBB.
            bool opaque = true;
            for (size_t i = 0; i < bm.pixelCount(); ++i)
                opaque = opaque && (bm.bits()[i] >> 24) == 0xff;
            EXPECT_TRUE(opaque);
        } catch (const PictureError& e) {
            ADD_FAILURE() << e.what();
        }
    }
}

TEST(JpegLoader, EncodingsOfOnePictureDecodeAlike)
{
    // The reference pictures were made from one source at one quality:
    // progressive and arithmetic coding change only the entropy coding.
    Bitmap base = LoadJpegFile(DataPath("testorig.jpg"));
    for (const char* other : { "testimgp.jpg", "testimgari.jpg" }) {
        SCOPED_TRACE(other);
        Bitmap bm = LoadJpegFile(DataPath(other));
        ASSERT_EQ(bm.width(), base.width());
        EXPECT_LT(MeanDifference(base, bm), 1.0);
    }
    // The grey version is grey and matches the colour picture's brightness.
    Bitmap grey = LoadJpegFile(DataPath("testimggray.jpg"));
    double lumaDiff = 0;
    for (size_t i = 0; i < grey.pixelCount(); ++i) {
        Pixel g = grey.bits()[i], p = base.bits()[i];
        ASSERT_EQ(RedOf(g), GreenOf(g));
        ASSERT_EQ(RedOf(g), BlueOf(g));
        lumaDiff += std::abs(RedOf(g) - (0.299 * RedOf(p) + 0.587 * GreenOf(p) + 0.114 * BlueOf(p)));
    }
    EXPECT_LT(lumaDiff / double(grey.pixelCount()), 4.0);
    // The testorig picture is a reddish photo (red well above blue).
    Mean m = MeanColour(base);
    EXPECT_GT(m.r, m.b + 40);
}

TEST(JpegLoader, CmykAndYcckAreConvertedToTheSameColours)
{
    // Both files were made from one photo (2880 x 2160, YCbCr) whose mean
    // colour is (160.5, 158.0, 153.9); Adobe CMYK stores inverted channels.
    Bitmap cmyk = LoadJpegFile(DataPath("free_by_Peter_Nerlich_720_cmyk_adobe0.jpg"));
    Bitmap ycck = LoadJpegFile(DataPath("free_by_Peter_Nerlich_720_ycck_adobe2.jpg"));
    EXPECT_LT(MeanDifference(cmyk, ycck), 6.0);
    for (const Bitmap* bm : { &cmyk, &ycck }) {
        Mean m = MeanColour(*bm);
        EXPECT_NEAR(m.r, 160.5, 3.0);
        EXPECT_NEAR(m.g, 158.0, 3.0);
        EXPECT_NEAR(m.b, 153.9, 3.0);
    }
    // Pillow's CMYK sample: top-left is pure magenta + yellow ink (red),
    // the bottom-right corner nearly full black ink.
    Bitmap sample = LoadJpegFile(DataPath("pillow_pil_sample_cmyk.jpg"));
    Pixel tl = sample.pixel(0, 0), br = sample.pixel(99, 99);
    EXPECT_GT(RedOf(tl), 200);
    EXPECT_LT(GreenOf(tl), 60);
    EXPECT_LT(BlueOf(tl), 60);
    EXPECT_LT(RedOf(br) + GreenOf(br) + BlueOf(br), 90);
}

TEST(JpegLoader, TruncatedPictureKeepsWhatWasDecoded)
{
    // The progressive file lost its last scans: the picture is still the
    // photo (not a flat fill), and the damage is reported as a warning.
    JpegWarnings warnings;
    Bitmap bm = LoadJpegFile(DataPath("pillow_truncated_jpeg.jpg"), &warnings);
    EXPECT_EQ(warnings.count, 1);
    EXPECT_NE(warnings.first.find("Premature end"), std::string::npos);
    Pixel first = bm.pixel(0, 0);
    bool varies = false;
    for (size_t i = 0; i < bm.pixelCount(); ++i)
        varies = varies || bm.bits()[i] != first;
    EXPECT_TRUE(varies);
}

TEST(JpegLoader, LimitsAreEnforced)
{
    const std::string progressive = DataPath("testimgp.jpg"); // 227 x 149, 10 scans
    JpegLimits pixels;
    pixels.maxPixels = 227 * 149 - 1;
    EXPECT_NE(ErrorText(progressive, pixels).find("too large (227 x 149 pixels)"), std::string::npos);
    pixels.maxPixels = 227 * 149;
    EXPECT_EQ(LoadJpegFile(progressive, nullptr, pixels).width(), 227);

    JpegLimits scans;
    scans.maxScans = 5;
    EXPECT_NE(ErrorText(progressive, scans).find("too many scans"), std::string::npos);
    scans.maxScans = 10;
    EXPECT_EQ(LoadJpegFile(progressive, nullptr, scans).width(), 227);

    // The progressive decoder keeps every coefficient: about 100 KB here.
    JpegLimits memory;
    memory.maxDecoderBytes = 64 * 1024;
    EXPECT_NE(ErrorText(progressive, memory).find("not enough memory"), std::string::npos);
}

TEST(JpegLoader, MemoryAndFileLoadersAgree)
{
    std::ifstream in(DataPath("testorig.jpg"), std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Bitmap fromMemory = LoadJpegMemory(bytes.data(), bytes.size(), "memory");
    EXPECT_TRUE(fromMemory == LoadJpegFile(DataPath("testorig.jpg")));
    try {
        LoadJpegMemory(bytes.data(), 300, "cut short");
        ADD_FAILURE() << "no error";
    } catch (const PictureError& e) {
        EXPECT_NE(std::string(e.what()).find("\"cut short\""), std::string::npos) << e.what();
    }
}

class JpegFileErrors : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/kalvio-jpeg-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::permissions(dir, fs::perms::owner_all, ec);
        fs::remove_all(dir, ec);
    }
    std::string dir;
};

TEST_F(JpegFileErrors, UnreadablePathsNameTheFileAndTheCause)
{
    std::string missing = dir + "/missing.jpg";
    EXPECT_NE(ErrorText(missing).find("\"" + missing + "\": No such file or directory"),
              std::string::npos);
    std::string folder = dir + "/folder.jpg";
    fs::create_directory(folder);
    EXPECT_NE(ErrorText(folder).find("Is a directory"), std::string::npos) << ErrorText(folder);
    if (geteuid() != 0) {
        std::string locked = dir + "/locked.jpg";
        fs::copy_file(DataPath("testorig.jpg"), locked);
        fs::permissions(locked, fs::perms::none);
        EXPECT_NE(ErrorText(locked).find("Permission denied"), std::string::npos);
    }
}

TEST_F(JpegFileErrors, OnlyRegularFilesOfSaneSizeAreRead)
{
    // A named pipe would block a plain open until a writer came; a device
    // could be read forever.
    std::string pipe = dir + "/pipe.jpg";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_NE(ErrorText(pipe).find("not a regular file"), std::string::npos) << ErrorText(pipe);
    std::string device = dir + "/zero.jpg";
    fs::create_symlink("/dev/zero", device);
    EXPECT_NE(ErrorText(device).find("not a regular file"), std::string::npos) << ErrorText(device);

    // A huge (sparse) file is refused without being read.
    std::string huge = dir + "/huge.jpg";
    fs::copy_file(DataPath("testorig.jpg"), huge);
    fs::resize_file(huge, (uintmax_t(1) << 30) + 1);
    EXPECT_NE(ErrorText(huge).find("too large (1073741825 bytes)"), std::string::npos)
        << ErrorText(huge);
    JpegLimits small;
    small.maxFileBytes = 5770 - 1; // testorig.jpg has 5770 bytes
    EXPECT_NE(ErrorText(DataPath("testorig.jpg"), small).find("too large (5770 bytes)"),
              std::string::npos);
    small.maxFileBytes = 5770;
    EXPECT_EQ(LoadJpegFile(DataPath("testorig.jpg"), nullptr, small).width(), 227);
}

TEST_F(JpegFileErrors, PathsAreBytesNotText)
{
    // A name that is not valid UTF-8 loads, and shows up unchanged in errors.
    std::string name = dir + "/caf\xe9 \xff.JPG";
    fs::copy_file(DataPath("testorig.jpg"), name);
    EXPECT_EQ(LoadPictureFile(name).width(), 227);
    std::string broken = dir + "/\xb2\xe2\xca\xd4.jpeg";
    fs::copy_file(DataPath("soi_only.jpg"), broken);
    try {
        LoadPictureFile(broken);
        ADD_FAILURE() << "no error";
    } catch (const PictureError& e) {
        EXPECT_NE(std::string(e.what()).find(broken), std::string::npos);
    }
}

TEST_F(JpegFileErrors, ExtensionChoosesTheFormat)
{
    struct Case {
        const char* name;
        bool jpeg;
    };
    const Case cases[] = {
        { "a.jpg", true }, { "a.JPG", true }, { "a.Jpeg", true }, { "a.jPeG", true },
        { ".jpg", true }, { "a.b.jpg", true },
        { "a.png", false }, { "a", false }, { "a.jpg.txt", false }, { "a.jpe", false },
        { "a.jpgx", false }, { "a.", false }, { "a jpg", false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(IsJpegFileName(c.name), c.jpeg);
        std::string path = dir + "/" + c.name;
        fs::copy_file(DataPath("testorig.jpg"), path);
        if (c.jpeg) {
            EXPECT_EQ(LoadPictureFile(path).height(), 149);
        } else {
            try {
                LoadPictureFile(path);
                ADD_FAILURE() << "loaded";
            } catch (const PictureError& e) {
                EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
                EXPECT_NE(std::string(e.what()).find(".jpg and .jpeg"), std::string::npos);
            }
        }
    }
    // A folder named like a picture does not give its files an extension.
    fs::create_directory(dir + "/pics.jpg");
    EXPECT_FALSE(IsJpegFileName(dir + "/pics.jpg/photo"));
}

namespace {

std::string OrientationPath(const std::string& name)
{
    return std::string(KALVIO_TEST_DATA) + "/orientation/" + name;
}

std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

// `jpeg` with APPn segments (marker, payload) put right after its start marker.
std::vector<uint8_t> WithSegments(std::vector<uint8_t> jpeg,
                                  const std::vector<std::pair<uint8_t, std::vector<uint8_t>>>& segments)
{
    std::vector<uint8_t> inserted;
    for (const auto& [marker, payload] : segments) {
        const size_t length = payload.size() + 2;
        inserted.insert(inserted.end(), { 0xff, marker, uint8_t(length >> 8), uint8_t(length) });
        inserted.insert(inserted.end(), payload.begin(), payload.end());
    }
    jpeg.insert(jpeg.begin() + 2, inserted.begin(), inserted.end());
    return jpeg;
}

// An Exif block whose only tag is the orientation `value` (big-endian).
std::vector<uint8_t> ExifBlock(uint8_t value)
{
    return { 'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1,
             0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, value, 0, 0, 0, 0, 0, 0 };
}

}

// Photos stored sideways, mirrored or upside down (each a small copy of the
// same photo, its Exif block kept) all come out as the upright one.
TEST(JpegLoader, ExifOrientedPhotosComeOutUpright)
{
    struct Case {
        const char* file;
        const char* upright;
    };
    const Case cases[] = {
        { "Landscape_0.jpg", "Landscape_1.jpg" }, // value 0: as stored
        { "Landscape_2.jpg", "Landscape_1.jpg" }, { "Landscape_3.jpg", "Landscape_1.jpg" },
        { "Landscape_4.jpg", "Landscape_1.jpg" }, { "Landscape_5.jpg", "Landscape_1.jpg" },
        { "Landscape_6.jpg", "Landscape_1.jpg" }, { "Landscape_7.jpg", "Landscape_1.jpg" },
        { "Landscape_8.jpg", "Landscape_1.jpg" }, { "Portrait_3.jpg", "Portrait_1.jpg" },
        { "Portrait_6.jpg", "Portrait_1.jpg" }, { "Portrait_8.jpg", "Portrait_1.jpg" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const Bitmap upright = LoadJpegFile(OrientationPath(c.upright));
        const Bitmap turned = LoadPictureFile(OrientationPath(c.file));
        ASSERT_EQ(turned.width(), upright.width());
        ASSERT_EQ(turned.height(), upright.height());
        // Separately compressed copies differ by a few levels (up to 4.4 here); the same
        // photo turned the wrong way differs by 39 to 85.
        EXPECT_LT(MeanDifference(turned, upright), 8.0);
    }
    const Bitmap landscape = LoadJpegFile(OrientationPath("Landscape_1.jpg"));
    EXPECT_GT(MeanDifference(Oriented(landscape, Orientation::Rotate180), landscape), 20.0);
    EXPECT_GT(MeanDifference(Oriented(landscape, Orientation::MirrorHorizontal), landscape), 20.0);

    // A camera's portrait (orientation 6, beside XMP and Photoshop blocks),
    // and a 2 x 1 picture with orientation 8.
    const Bitmap camera = LoadJpegFile(OrientationPath("canon_orient6.jpg"));
    EXPECT_EQ(camera.width(), 120);
    EXPECT_EQ(camera.height(), 160);
    const Bitmap tiny = LoadJpegFile(OrientationPath("pillow_orientation_rectangle.jpg"));
    EXPECT_EQ(tiny.width(), 1);
    EXPECT_EQ(tiny.height(), 2);
    // Two Exif blocks, neither with an orientation.
    EXPECT_EQ(LoadJpegFile(OrientationPath("pillow_jfif_unit_cm.jpg")).width(), 1);
}

// Which APP1 segment counts, and damaged blocks that must not fail the picture.
TEST(JpegLoader, OrientationComesFromTheFirstExifBlock)
{
    const std::vector<uint8_t> plain = ReadBytes(DataPath("testorig.jpg")); // 227 x 149, no Exif
    const Bitmap stored = LoadJpegMemory(plain.data(), plain.size(), "plain");
    const std::vector<uint8_t> xmp = { 'h', 't', 't', 'p', ':', '/', '/', 'n', 's', 0 };
    std::vector<uint8_t> pastTheEnd = ExifBlock(6);
    pastTheEnd[13] = 200; // the directory starts past the block's end
    std::vector<uint8_t> cutShort = ExifBlock(6);
    cutShort.resize(20);
    constexpr uint8_t APP1 = 0xe1, APP2 = 0xe2;
    struct Case {
        const char* what;
        std::vector<std::pair<uint8_t, std::vector<uint8_t>>> segments;
        Orientation expected;
    };
    const Case cases[] = {
        { "Exif alone", { { APP1, ExifBlock(6) } }, Orientation::Rotate90 },
        { "XMP first", { { APP1, xmp }, { APP1, ExifBlock(8) } }, Orientation::Rotate270 },
        { "two Exif blocks", { { APP1, ExifBlock(3) }, { APP1, ExifBlock(6) } }, Orientation::Rotate180 },
        { "Exif in APP2", { { APP2, ExifBlock(6) } }, Orientation::Upright },
        { "directory past the end", { { APP1, pastTheEnd } }, Orientation::Upright },
        { "block cut short", { { APP1, cutShort } }, Orientation::Upright },
        { "value 9", { { APP1, ExifBlock(9) } }, Orientation::Upright },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<uint8_t> jpeg = WithSegments(plain, c.segments);
        JpegWarnings warnings;
        const Bitmap loaded = LoadJpegMemory(jpeg.data(), jpeg.size(), c.what, &warnings);
        EXPECT_TRUE(loaded == Oriented(stored, c.expected));
        EXPECT_EQ(warnings.count, 0) << warnings.first;
    }
}

namespace {

std::string ContentOf(size_t size)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = char((i * 131 + i / 251) & 0xff);
    return bytes;
}

std::string ReadText(const std::string& path, const JpegLimits& limits = {})
{
    const std::vector<uint8_t> bytes = ReadPictureBytes(path, limits);
    return std::string(bytes.begin(), bytes.end());
}

}

// A file's bytes come whole whatever its size against the pieces it is read
// in, from a local disk and from a share that hands out pieces of its own
// (a FUSE file system), and a picture decodes alike from both.
TEST_F(JpegFileErrors, BytesArriveWholeFromDiskAndShare)
{
    const size_t sizes[] = { 0, 1, 4095, 65536, 256 * 1024 - 1, 256 * 1024, 256 * 1024 + 1, 3 * 256 * 1024 + 5 };
    test::DelayedShare::Tree tree;
    for (const size_t size : sizes) {
        const std::string name = "f" + std::to_string(size) + ".jpg";
        std::ofstream(dir + "/" + name, std::ios::binary) << ContentOf(size);
        tree.AddFile(name, std::make_shared<const std::string>(ContentOf(size)));
    }
    std::ifstream in(DataPath("testorig.jpg"), std::ios::binary);
    tree.AddFile("photo/testorig.jpg", std::make_shared<const std::string>(std::istreambuf_iterator<char>(in),
                                                                            std::istreambuf_iterator<char>()));
    for (const size_t size : sizes) {
        SCOPED_TRACE(size);
        EXPECT_EQ(ReadText(dir + "/f" + std::to_string(size) + ".jpg"), ContentOf(size));
    }
    // A file at the limit is read, one byte more is refused.
    JpegLimits limits;
    limits.maxFileBytes = 256 * 1024;
    EXPECT_EQ(ReadText(dir + "/f262144.jpg", limits).size(), 256u * 1024);
    EXPECT_NE(ErrorText(dir + "/f262145.jpg", limits).find("too large (262145 bytes)"), std::string::npos);

    test::DelayedShare share(std::move(tree), std::chrono::microseconds(0));
    if (!share.Usable())
        GTEST_SKIP() << share.Why();
    for (const size_t size : sizes) {
        SCOPED_TRACE(size);
        EXPECT_EQ(ReadText(share.Path("f" + std::to_string(size) + ".jpg")), ContentOf(size));
    }
    EXPECT_TRUE(LoadJpegFile(share.Path("photo/testorig.jpg")) == LoadJpegFile(DataPath("testorig.jpg")));
}

// A share that opens files but never sends their data: the reads wait, and
// when the share goes each ends with an error that names its file.
TEST(JpegShareReads, ReadsThatNeverGetDataEndWithAnErrorWhenTheShareGoes)
{
    constexpr int kFiles = 4;
    test::DelayedShare::Tree tree;
    const auto content = std::make_shared<const std::string>(ContentOf(4 << 20));
    for (int i = 0; i < kFiles; ++i)
        tree.AddFile("p" + std::to_string(i) + ".jpg", content);
    auto share = std::make_unique<test::DelayedShare>(std::move(tree), std::chrono::microseconds(0));
    if (!share->Usable())
        GTEST_SKIP() << share->Why();
    share->WithholdReads();
    std::vector<std::string> errors(kFiles);
    std::vector<std::thread> readers;
    for (int i = 0; i < kFiles; ++i)
        readers.emplace_back([&, i, path = share->Path("p" + std::to_string(i) + ".jpg")] {
            errors[i] = ErrorText(path);
            errors[i] += " | " + path;
        });
    share->AwaitWithheld(size_t(kFiles), std::chrono::minutes(2));
    EXPECT_EQ(share->FilesWithheld(), size_t(kFiles)) << "not every read reached the share";
    share.reset();
    for (std::thread& t : readers)
        t.join();
    for (const std::string& e : errors) {
        const std::string path = e.substr(e.find(" | ") + 3);
        EXPECT_NE(e.find("\"" + path + "\""), std::string::npos) << e;
        EXPECT_NE(e.find("Transport endpoint is not connected"), std::string::npos) << e;
    }
}
