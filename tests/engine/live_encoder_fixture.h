#pragma once
// The fixture of the live encoder suites: real runs writing real files, from the stored
// defaults that matter to a run.

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/live_encoder.h"
#include "engine/ogg_file.h"
#include "ogg_test_support.h"
#include "settings/log.h"
#include "settings/settings.h"
#include "tests/support/temp_folder.h"

using namespace std::chrono_literals;

// Every test starts from the stored defaults that matter to a run, recording to a file.
class LiveEncoderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Folder = MakeTempFolder("live_encoder");
        Settings.DebugMode = true;
        Settings.CaptureToFile = true;
        Settings.CaptureFile = Folder + "run.ogg";
        Settings.VorbisQuality = -60;
        Settings.VorbisSampleFreq = 2;
        Settings.VorbisStereo = false;
        Settings.Theora = {320, 240, 15, 1000, 10, true, 90};
        Settings.TheoraFasterMode = true;
        Settings.Processing = {};
        Settings.Processing.OverlayAlpha = 255;
        Settings.StreamName = Settings.StreamDesc = Settings.StreamGenre = Settings.StreamURL = "";
        TakeLog();
    }
    void TearDown() override { Settings.DebugMode = false; }

    // A run recording into Settings.CaptureFile, as its owner would set it up.
    static std::unique_ptr<TLiveEncoder> StartRecording(const TWaveFormatEx* audio,
                                                        const TBitmapInfoHeader* video) {
        auto file = std::make_unique<tOggFile>();
        file->Open(Settings.CaptureFile);
        return std::make_unique<TLiveEncoder>(audio, video, std::move(file));
    }

    static bool WaitFor(const std::function<bool()>& done) {
        for (int i = 0; i < 5000 && !done(); ++i) std::this_thread::sleep_for(1ms);
        return done();
    }

    std::string Folder;
};

inline const TWaveFormatEx Mono22050 = MakeWaveFormat(WAVE_FORMAT_PCM, 1, 22050, 16);

inline TBitmapInfoHeader Bgr(int width, int height) {
    TBitmapInfoHeader header;
    header.biWidth = width;
    header.biHeight = -height;
    header.biBitCount = 24;
    header.biSizeImage = static_cast<uint32_t>(BitmapRowPitch(24, width) * height);
    return header;
}

inline std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
