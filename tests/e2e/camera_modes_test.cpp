// The "Test Pattern" device's camera modes (YUY2 and MJPEG, which keep their frames in Y'CbCr
// from capture to the encoder) against its own RGB mode: the same processing (crop, resize,
// an overlay with an alpha channel or a colour key) gives the same decoded picture, bars and
// overlay within 3 levels in every plane.

#include <cmath>
#include <cstdio>

#include "headless_fixture.h"
#include "settings/settings.h"
#include "settings/store/settings_store.h"
#include "tests/support/image_files.h"

namespace {

constexpr int Width = 320;  // the picture every mode is resized to
constexpr int Height = 240;
constexpr int FrameBytes = Width * Height * 3 / 2;

struct TYCbCr {
    double Y, Cb, Cr;
};

class CameraModesTest : public THeadlessTest {
  protected:
    void SetUp() override {
        Saved = Settings.Processing;
        WriteTestOverlays(Work);
    }
    void TearDown() override {
        Settings.Processing = Saved;
        SaveSettings();
        THeadlessTest::TearDown();
    }

    // Crop 8 on every side, resize to 320 x 240 (high quality), the overlay `image`.
    static void UseProcessing(const std::string& image) {
        TVideoProcessing& o = Settings.Processing;
        o.Crop = true;
        o.CropL = o.CropR = o.CropT = o.CropB = 8;
        o.Resize = true;
        o.ResizeW = Width;
        o.ResizeH = Height;
        o.HighQualityResize = true;
        o.Overlay = true;
        o.OverlayImage = image;
        o.OverlayAlpha = 255;
        o.TransColor = true;
        o.OverlayColor = 0;
        ASSERT_TRUE(SaveSettings());
    }

    // The third decoded picture (not a white one) of two seconds in `mode`, as I420 planes.
    std::vector<uint8_t> RecordPicture(const std::string& mode, const std::string& options = "") {
        const std::string file = Work.File("mode.ogg");
        const auto run = RunCommand(
            HeadlessCommand("--seconds 2 --file " + Quote(file) +
                            " --video-device 'Test Pattern' --audio-device '<None>' --video-mode " +
                            Quote(mode) + " " + options));
        EXPECT_EQ(run.ExitCode, 0) << mode << "\n" << run.Output;
        const std::string raw = file + ".yuv";
        RunCommand("ffmpeg -v error -y -threads 1 -i " + Quote(file) +
                   " -f rawvideo -pix_fmt yuv420p " + Quote(raw));
        std::vector<uint8_t> picture(FrameBytes);
        FILE* in = std::fopen(raw.c_str(), "rb");
        bool read = in != nullptr && std::fseek(in, 2L * FrameBytes, SEEK_SET) == 0 &&
                    std::fread(picture.data(), 1, picture.size(), in) == picture.size();
        if (in != nullptr) std::fclose(in);
        EXPECT_TRUE(read) << mode;
        return picture;
    }

    static TYCbCr Mean(const std::vector<uint8_t>& p, int cx, int cy) {
        TYCbCr sum{0, 0, 0};
        constexpr int Half = 4;
        for (int y = cy - Half; y < cy + Half; ++y) {
            for (int x = cx - Half; x < cx + Half; ++x) {
                sum.Y += p[y * Width + x];
                const size_t chroma = (y / 2) * (Width / 2) + x / 2;
                sum.Cb += p[Width * Height + chroma];
                sum.Cr += p[Width * Height * 5 / 4 + chroma];
            }
        }
        const double n = 4.0 * Half * Half;
        return {sum.Y / n, sum.Cb / n, sum.Cr / n};
    }

    TVideoProcessing Saved;
};

TEST_F(CameraModesTest, EveryModeMatchesTheRgbPathWithCropResizeAndOverlay) {
    // Bar centres below the overlay, and points on the overlay's two halves or its block.
    std::vector<std::pair<int, int>> probes;
    for (int bar = 0; bar < 8; ++bar) probes.emplace_back(bar * 40 + 20, 120);
    for (const std::string image : {"alpha.png", "key.jpg"}) {
        SCOPED_TRACE(image);
        UseProcessing(Work.File(image));
        std::vector<std::pair<int, int>> points = probes;
        if (image == "alpha.png") {
            points.insert(points.end(), {{14, 24}, {50, 24}});
        } else {
            points.insert(points.end(), {{32, 24}, {8, 8}, {56, 40}});
        }
        const std::vector<uint8_t> rgb = RecordPicture("BGR 640x480@30/1");
        const std::vector<uint8_t> rgb720 =
            RecordPicture("BGR 1280x720@30/1", "--capture-size 1280x720");
        for (const std::string mode : {"YUY2 640x480@30/1", "MJPG 640x480@30/1",
                                       "YUY2 1280x720@30/1", "MJPG 1280x720@30/1"}) {
            SCOPED_TRACE(mode);
            const std::vector<uint8_t> camera = RecordPicture(mode);
            const std::vector<uint8_t>& reference =
                mode.find("720") != std::string::npos ? rgb720 : rgb;
            for (auto [x, y] : points) {
                const TYCbCr want = Mean(reference, x, y), got = Mean(camera, x, y);
                EXPECT_NEAR(got.Y, want.Y, 3) << x << "," << y;
                EXPECT_NEAR(got.Cb, want.Cb, 3) << x << "," << y;
                EXPECT_NEAR(got.Cr, want.Cr, 3) << x << "," << y;
            }
        }
    }
}

}  // namespace
