#pragma once
// Shared set-up for the video processor suites: default processing settings, an empty log,
// and reading pixels out of an output frame.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "settings/log.h"
#include "settings/settings.h"
#include "tests/support/image_files.h"
#include "video/video_processor.h"

class TProcessorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Settings.Processing = TVideoProcessing{};
        Settings.Processing.OverlayAlpha = 255;
        TakeLog();
    }
    void TearDown() override { Settings.Processing = TVideoProcessing{}; }

    // One output frame, fetched for time 0 after putting the capture.
    struct TOutput {
        int Width = 0;
        int Height = 0;
        std::vector<uint8_t> Bytes;

        TBgr At(int x, int y) const {
            const uint8_t* p = Bytes.data() + (size_t(y) * Width + x) * 4;
            return {p[0], p[1], p[2]};
        }
    };

    static TOutput Process(TVideoProcessor& processor, const TCapture& capture, double time = 0) {
        processor.PutFrame(capture.Bytes.data(), int32_t(capture.Bytes.size()), time);
        TOutput output{processor.OutputWidth(), processor.OutputHeight(),
                       std::vector<uint8_t>(size_t(processor.GetFrameSize()))};
        EXPECT_TRUE(processor.GetFrame(output.Bytes.data(), time));
        return output;
    }

    static TOutput ProcessOnce(const TCapture& capture) {
        TVideoProcessor processor(capture.Header);
        return Process(processor, capture);
    }
};

inline TBgr Uniform(uint8_t value) {
    return {value, value, value};
}

inline std::ostream& operator<<(std::ostream& out, const TBgr& c) {
    return out << "(" << int(c.B) << "," << int(c.G) << "," << int(c.R) << ")";
}
