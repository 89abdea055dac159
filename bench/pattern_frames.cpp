// pattern_frames: writes to stdout the raw BGR frames (top row first) that a --fast run of
// kestrova_headless encodes, so that peers can encode exactly the same pictures. Output frame
// n is the first captured frame timed after n / output-fps seconds less a millisecond, as the
// video processor chooses it: capture times carry whole milliseconds, cut down.
//
//   pattern_frames WIDTH HEIGHT CAPTURE_FPS OUTPUT_FPS SECONDS > pattern.bgr

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "capture/test_pattern_source.h"

namespace {

class TNoSink final : public TCaptureSink {
  public:
    bool WriteAudio(const uint8_t*, int) override { return true; }
    void PutVideoFrame(const uint8_t*, int, double) override {}
    double EncodedSeconds() const override { return 0; }
};

// The video processor takes a frame stamped up to (not quite) this long before an output
// frame's time as at it; without it every third frame at 30 fps would repeat the one before.
constexpr double CaptureTimeResolution = 0.001;

double CaptureTime(int64_t index, int fps) {
    return std::round(static_cast<double>(index) * 1000.0 / fps) / 1000.0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: pattern_frames WIDTH HEIGHT CAPTURE_FPS OUTPUT_FPS SECONDS\n");
        return 2;
    }
    const int width = std::atoi(argv[1]), height = std::atoi(argv[2]);
    const int captureFps = std::atoi(argv[3]), outputFps = std::atoi(argv[4]);
    const int seconds = std::atoi(argv[5]);
    if (width < 16 || height < 16 || captureFps < 1 || outputFps < 1 || seconds < 1) return 2;
    TNoSink sink;
    TTestPatternSource source(sink, width, height, captureFps, true);
    std::vector<uint8_t> frame;
    int64_t captured = 0;
    for (int64_t n = 0; n < int64_t{seconds} * outputFps; ++n) {
        const double earliest = static_cast<double>(n) / outputFps - CaptureTimeResolution;
        while (CaptureTime(captured, captureFps) <= earliest) ++captured;
        source.RenderFrame(captured, frame);
        for (int y = 0; y < height; ++y) {
            std::fwrite(frame.data() + static_cast<size_t>(y) * source.RowPitch(), 3,
                        static_cast<size_t>(width), stdout);
        }
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
