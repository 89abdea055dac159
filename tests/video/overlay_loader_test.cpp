#include "video/overlay_loader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <future>

#include "settings/log.h"
#include "tests/support/image_files.h"

namespace {

class TOverlayLoaderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        FOptions.OverlayAlpha = 255;
        TakeLog();
    }

    std::optional<TBgraImage> Load(const std::string& name) {
        return LoadOverlayImage(FFolder.File(name), FOptions);
    }

    // Blue, green, red, alpha of pixel x of row y.
    static std::vector<int> Pixel(const TBgraImage& image, int x, int y = 0) {
        const uint8_t* p = image.Row(y) + 4 * x;
        return {p[0], p[1], p[2], p[3]};
    }
    static std::vector<int> Alphas(const TBgraImage& image) {
        std::vector<int> alphas;
        for (int y = 0; y < image.Height; ++y) {
            for (int x = 0; x < image.Width; ++x) alphas.push_back(image.Row(y)[4 * x + 3]);
        }
        return alphas;
    }

    TVideoProcessing FOptions;
    TTempFolder FFolder;
};

TEST_F(TOverlayLoaderTest, PngAlphaChannelIsScaledByOverlayAlpha) {
    TPngSpec spec = Png(4, 1, PNG_COLOR_TYPE_RGBA,
                        {10, 20, 30, 128, 10, 20, 30, 255, 10, 20, 30, 0, 10, 20, 30, 64});
    WritePng(FFolder.File("logo.png"), spec);
    std::optional<TBgraImage> image = Load("logo.png");
    ASSERT_TRUE(image);
    EXPECT_EQ(Pixel(*image, 0), (std::vector<int>{30, 20, 10, 127}));
    EXPECT_EQ(Alphas(*image), (std::vector<int>{127, 254, 0, 63}));

    FOptions.OverlayAlpha = 128;
    FOptions.TransColor = true;  // no effect on PNG files
    FOptions.OverlayColor = 0x1E140A;
    EXPECT_EQ(Alphas(*Load("logo.png")), (std::vector<int>{64, 127, 0, 32}));

    spec.ColourType = PNG_COLOR_TYPE_GRAY_ALPHA;
    spec.Pixels = {7, 128, 7, 255};
    spec.Width = 2;
    WritePng(FFolder.File("grey.png"), spec);
    image = Load("grey.png");
    EXPECT_EQ(Pixel(*image, 1), (std::vector<int>{7, 7, 7, 127}));
}

TEST_F(TOverlayLoaderTest, PngTransparentColourCutsOutOnlyThatColour) {
    FOptions.OverlayAlpha = 200;
    WritePng(FFolder.File("rgb.png"),
             Png(3, 1, PNG_COLOR_TYPE_RGB, {1, 2, 3, 1, 2, 4, 0, 0, 0}, {}, {0, 1, 0, 2, 0, 3}));
    EXPECT_EQ(Alphas(*Load("rgb.png")), (std::vector<int>{0, 200, 200}));

    WritePng(FFolder.File("grey.png"), Png(3, 1, PNG_COLOR_TYPE_GRAY, {9, 0, 10}, {}, {0, 9}));
    std::optional<TBgraImage> grey = Load("grey.png");
    EXPECT_EQ(Alphas(*grey), (std::vector<int>{0, 200, 200}));
    EXPECT_EQ(Pixel(*grey, 2), (std::vector<int>{10, 10, 10, 200}));
}

TEST_F(TOverlayLoaderTest, PngWithoutTransparencyTakesOverlayAlphaAndPaletteAlphaIsScaled) {
    FOptions.OverlayAlpha = 99;
    WritePng(FFolder.File("plain.png"), Png(2, 1, PNG_COLOR_TYPE_RGB, {0, 0, 0, 255, 255, 255}));
    EXPECT_EQ(Alphas(*Load("plain.png")), (std::vector<int>{99, 99}));

    FOptions.OverlayAlpha = 255;
    const std::vector<uint8_t> colours = {5, 6, 7, 8, 9, 10, 11, 12, 13};
    WritePng(FFolder.File("palette.png"),
             Png(3, 1, PNG_COLOR_TYPE_PALETTE, {0, 1, 2}, colours, {0, 128}));  // third: opaque
    std::optional<TBgraImage> image = Load("palette.png");
    EXPECT_EQ(Alphas(*image), (std::vector<int>{0, 127, 254}));
    EXPECT_EQ(Pixel(*image, 2), (std::vector<int>{13, 12, 11, 254}));

    // Entries only clear or opaque: colours cut out, the rest at exactly OverlayAlpha.
    WritePng(FFolder.File("cutout.png"),
             Png(3, 1, PNG_COLOR_TYPE_PALETTE, {0, 1, 2}, colours, {255, 0}));
    EXPECT_EQ(Alphas(*Load("cutout.png")), (std::vector<int>{255, 0, 255}));
}

TEST_F(TOverlayLoaderTest, JpegTransColourCutsOutExactlyTheOverlayColour) {
    // Three flat 8 x 8 grey blocks survive quality 100 unchanged: 0, 10 and 200.
    std::vector<uint8_t> grey(24 * 8);
    for (size_t i = 0; i < grey.size(); ++i) grey[i] = i % 24 < 8 ? 0 : i % 24 < 16 ? 10 : 200;
    WriteJpeg(FFolder.File("logo.JPG"), 24, 8, 1, grey);
    auto blockAlphas = [&] {
        std::optional<TBgraImage> image = Load("logo.JPG");
        EXPECT_TRUE(image);
        return image ? std::vector<int>{image->Row(4)[4 * 3 + 3], image->Row(4)[4 * 11 + 3],
                                        image->Row(4)[4 * 19 + 3]}
                     : std::vector<int>{};
    };

    FOptions.TransColor = true;  // defaults: black cut out, the rest opaque
    EXPECT_EQ(blockAlphas(), (std::vector<int>{0, 255, 255}));
    FOptions.OverlayColor = 0x0A0A0A;
    FOptions.OverlayAlpha = 200;
    EXPECT_EQ(blockAlphas(), (std::vector<int>{200, 0, 200}));
    FOptions.OverlayColor = 0x0A0A0B;  // one off in red
    EXPECT_EQ(blockAlphas(), (std::vector<int>{200, 200, 200}));
    FOptions.TransColor = false;
    FOptions.OverlayColor = 0;
    EXPECT_EQ(blockAlphas(), (std::vector<int>{200, 200, 200}));

    std::vector<uint8_t> rgb = {255, 0, 0, 255, 0, 0};
    rgb.resize(8 * 8 * 3);
    for (size_t i = 0; i < rgb.size(); i += 3) rgb[i] = 255;  // all red
    WriteJpeg(FFolder.File("red.jpg"), 8, 8, 3, rgb);
    std::vector<int> red = Pixel(*Load("red.jpg"), 4, 4);
    EXPECT_LE(red[0], 2) << "blue byte first";
    EXPECT_GE(red[2], 253) << "red byte third";
}

// Builds a BMP: file header, 40-byte info header, palette, rows as given.
std::vector<uint8_t> Bmp(int width, int height, int bits, const std::vector<uint8_t>& palette,
                         const std::vector<uint8_t>& rows, uint32_t compression = 0) {
    TBitmapInfoHeader info;
    info.biWidth = width;
    info.biHeight = height;
    info.biBitCount = uint16_t(bits);
    info.biCompression = compression;
    info.biClrUsed = uint32_t(palette.size() / 4);
    uint32_t offset = 14 + 40 + uint32_t(palette.size());
    std::vector<uint8_t> file = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0};
    for (int i = 0; i < 4; ++i) file.push_back(uint8_t(offset >> (8 * i)));
    file.resize(14 + 40);
    std::memcpy(file.data() + 14, &info, 40);
    file.insert(file.end(), palette.begin(), palette.end());
    file.insert(file.end(), rows.begin(), rows.end());
    return file;
}

TEST_F(TOverlayLoaderTest, BmpRowOrdersAndDepthsDecodeToTheSamePicture) {
    FOptions.TransColor = true;
    FOptions.OverlayColor = 0x030201;  // red 1, green 2, blue 3
    // 2 x 2 picture: top row (3,2,1) and (9,9,9); bottom row (0,0,0) and (4,5,6), as B, G, R.
    const std::vector<std::vector<int>> expected = {
        {3, 2, 1, 0}, {9, 9, 9, 255}, {0, 0, 0, 255}, {4, 5, 6, 255}};
    auto check = [&](const std::string& name, const std::vector<uint8_t>& bytes) {
        WriteFileBytes(FFolder.File(name), bytes);
        std::optional<TBgraImage> image = Load(name);
        ASSERT_TRUE(image) << name;
        EXPECT_EQ((std::vector<std::vector<int>>{Pixel(*image, 0, 0), Pixel(*image, 1, 0),
                                                 Pixel(*image, 0, 1), Pixel(*image, 1, 1)}),
                  expected)
            << name;
    };
    check("bottom_up.bmp", Bmp(2, 2, 24, {}, {0, 0, 0, 4, 5, 6, 0, 0, 3, 2, 1, 9, 9, 9, 0, 0}));
    check("top_down.BMP", Bmp(2, -2, 24, {}, {3, 2, 1, 9, 9, 9, 0, 0, 0, 0, 0, 4, 5, 6, 0, 0}));
    check("wide.bmp", Bmp(2, 2, 32, {}, {0, 0, 0, 77, 4, 5, 6, 77, 3, 2, 1, 77, 9, 9, 9, 77}));
    const std::vector<uint8_t> palette = {0, 0, 0, 0, 3, 2, 1, 0, 9, 9, 9, 0, 4, 5, 6, 0};
    check("palette8.bmp", Bmp(2, 2, 8, palette, {0, 3, 0, 0, 1, 2, 0, 0}));
    check("palette4.bmp", Bmp(2, 2, 4, palette, {0x03, 0, 0, 0, 0x12, 0, 0, 0}));
    // Colour masks (5-6-5 here) cannot hold (3,2,1) exactly: only pure colours are checked.
    std::vector<uint8_t> masks = {0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0};  // 5-6-5
    WriteFileBytes(FFolder.File("565.bmp"),
                   Bmp(1, 2, 16, masks, {0x1F, 0x00, 0, 0, 0x00, 0xF8, 0, 0}, 3));
    std::optional<TBgraImage> image = Load("565.bmp");
    ASSERT_TRUE(image);
    EXPECT_EQ(Pixel(*image, 0, 0), (std::vector<int>{0, 0, 255, 255}));
    EXPECT_EQ(Pixel(*image, 0, 1), (std::vector<int>{255, 0, 0, 255}));
}

TEST_F(TOverlayLoaderTest, OtherExtensionsAreRefusedWithALogLine) {
    WritePng(FFolder.File("logo.gif"), Png(1, 1, PNG_COLOR_TYPE_GRAY, {0}));
    WritePng(FFolder.File("logo.jpeg"), Png(1, 1, PNG_COLOR_TYPE_GRAY, {0}));
    for (const char* name : {"logo.gif", "logo.jpeg", "logo", "png"}) {
        EXPECT_FALSE(Load(name)) << name;
        EXPECT_NE(TakeLog().find("Unknown overlay image file type\r\n"), std::string::npos) << name;
    }
    WritePng(FFolder.File("logo.Png"), Png(1, 1, PNG_COLOR_TYPE_GRAY, {0}));
    EXPECT_TRUE(Load("logo.Png"));
    EXPECT_EQ(TakeLog(), "");
}

// Every overlay that cannot be used is named in the log with the reason.
TEST_F(TOverlayLoaderTest, UnusableFilesAreNamedWithTheReason) {
    WritePng(FFolder.File("good.png"),
             Png(16, 16, PNG_COLOR_TYPE_RGB, std::vector<uint8_t>(16 * 16 * 3, 7)));
    const std::vector<uint8_t> good = ReadFileBytes(FFolder.File("good.png"));
    WriteFileBytes(FFolder.File("empty.png"), {});
    WriteFileBytes(FFolder.File("cut.png"), std::vector<uint8_t>(good.begin(), good.begin() + 40));
    WriteFileBytes(FFolder.File("garbage.jpg"), std::vector<uint8_t>(500, 0x5A));
    WriteFileBytes(FFolder.File("garbage.bmp"), std::vector<uint8_t>(500, 0x42));
    const std::pair<const char*, std::string> cases[] = {
        {"missing.png", "No such file or directory"},
        {"empty.png", "the file is empty"},
        {"cut.png", "not a picture that can be decoded (.png)"},
        {"garbage.jpg", "not a picture that can be decoded (.jpg)"},
        {"garbage.bmp", "not a picture that can be decoded (.bmp)"},
    };
    for (const auto& [name, why] : cases) {
        TakeLog();
        EXPECT_FALSE(Load(name)) << name;
        const std::string log = TakeLog();
        const std::string line = "Overlay image " + FFolder.File(name) + " cannot be used: " + why;
        EXPECT_NE(log.find(line + "\r\n"), std::string::npos) << log;
        EXPECT_EQ(log.find("\r\n"), log.size() - 2) << "one line: " << log;
    }
}

TEST_F(TOverlayLoaderTest, DamagedAndOversizedFilesGiveNoImage) {
    WritePng(FFolder.File("good.png"),
             Png(64, 64, PNG_COLOR_TYPE_RGB, std::vector<uint8_t>(64 * 64 * 3, 7)));
    std::vector<uint8_t> grey(64 * 64, 50);
    WriteJpeg(FFolder.File("good.jpg"), 64, 64, 1, grey);
    std::vector<uint8_t> rows(size_t(BitmapRowPitch(24, 64)) * 64, 1);
    WriteFileBytes(FFolder.File("good.bmp"), Bmp(64, 64, 24, {}, rows));
    for (const char* name : {"good.png", "good.jpg", "good.bmp"}) {
        ASSERT_TRUE(Load(name)) << name;
        std::vector<uint8_t> bytes = ReadFileBytes(FFolder.File(name));
        for (size_t keep : {bytes.size() - 20, bytes.size() / 2, size_t{30}, size_t{1}}) {
            WriteFileBytes(FFolder.File(std::string("cut_") + name),
                           std::vector<uint8_t>(bytes.begin(), bytes.begin() + keep));
            EXPECT_FALSE(Load(std::string("cut_") + name)) << name << " cut to " << keep;
        }
        std::vector<uint8_t> garbage = bytes;
        for (size_t i = bytes.size() / 3; i < bytes.size(); i += 7) garbage[i] ^= 0x5A;
        WriteFileBytes(FFolder.File(std::string("bad_") + name), garbage);
        Load(std::string("bad_") + name);  // decodes to something or nothing, never crashes
    }

    WritePng(FFolder.File("wide.png"),
             Png(8193, 1, PNG_COLOR_TYPE_GRAY, std::vector<uint8_t>(8193)));
    EXPECT_FALSE(Load("wide.png"));
    WriteJpeg(FFolder.File("tall.jpg"), 8, 8200, 1, std::vector<uint8_t>(8 * 8200));
    EXPECT_FALSE(Load("tall.jpg"));
    // A header claiming 9000 x 9000 over a few bytes is refused before any allocation.
    WriteFileBytes(FFolder.File("huge.bmp"), Bmp(9000, -9000, 24, {}, rows));
    EXPECT_FALSE(Load("huge.bmp"));
    WriteFileBytes(FFolder.File("claims_more.bmp"), Bmp(64, 65, 24, {}, rows));
    EXPECT_FALSE(Load("claims_more.bmp"));
}

}  // namespace

// 32-bit colour masks wider than 24 bits: the channel scaling must not overflow.
TEST_F(TOverlayLoaderTest, BmpMasksWiderThan24BitsScaleCorrectly) {
    // Red takes the 28 high bits, green the next 2, blue the lowest 2.
    const std::vector<uint8_t> masks = {0xF0, 0xFF, 0xFF, 0xFF, 0x0C, 0, 0, 0, 0x03, 0, 0, 0};
    // Pixels: full red; half red (top bit only); full green and blue.
    const std::vector<uint8_t> rows = {0xF0, 0xFF, 0xFF, 0xFF, 0x00, 0x00,
                                       0x00, 0x80, 0x0F, 0x00, 0x00, 0x00};
    WriteFileBytes(FFolder.File("wide_masks.bmp"), Bmp(3, -1, 32, masks, rows, 3));
    std::optional<TBgraImage> image = Load("wide_masks.bmp");
    ASSERT_TRUE(image);
    EXPECT_EQ(Pixel(*image, 0), (std::vector<int>{0, 0, 255, 255}));
    EXPECT_EQ(Pixel(*image, 1), (std::vector<int>{0, 0, 127, 255}));
    EXPECT_EQ(Pixel(*image, 2), (std::vector<int>{255, 255, 0, 255}));
}

// Only regular files are read: a FIFO would block the loading thread in open, a directory or
// a device is no picture. They are refused with a line, without waiting.
TEST_F(TOverlayLoaderTest, FilesThatAreNotRegularAreRefusedWithoutWaiting) {
    const std::string fifo = FFolder.File("fifo.png");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_directory(FFolder.File("folder.bmp"));
    for (const std::string& name : {std::string("fifo.png"), std::string("folder.bmp")}) {
        auto loading = std::async(std::launch::async, [&] { return Load(name); });
        if (loading.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
            // Let the blocked open through, so the test can end and report.
            int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            ADD_FAILURE() << name << " blocked the loader";
            loading.wait();
            close(writer);
            continue;
        }
        EXPECT_FALSE(loading.get()) << name;
        EXPECT_NE(TakeLog().find("Overlay image is not a regular file: " + FFolder.File(name)),
                  std::string::npos)
            << name;
    }
}
