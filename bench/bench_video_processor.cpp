// Cost of one processed video frame: 640 x 480 capture to a 320 x 240 picture with an overlay,
// in the high-quality and the plain mode, and of the scaling step alone.

#include <benchmark/benchmark.h>
#include <libyuv/convert_argb.h>
#include <libyuv/scale_argb.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "settings/settings.h"
#include "video/frame_scaler.h"
#include "video/video_processor.h"

namespace {

constexpr int CaptureWidth = 640, CaptureHeight = 480;
constexpr int PictureWidth = 320, PictureHeight = 240;

TBitmapInfoHeader CaptureHeader() {
    TBitmapInfoHeader header;
    header.biWidth = CaptureWidth;
    header.biHeight = CaptureHeight;
    header.biBitCount = 24;
    return header;
}

std::vector<uint8_t> CaptureBytes() {
    std::vector<uint8_t> bytes(size_t(BitmapRowPitch(24, CaptureWidth)) * CaptureHeight);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 7 + i / 1913);
    return bytes;
}

// A 24-bit bottom-up BMP of the picture size: a frame of black (cut out by TransColor) around
// a grey field.
std::string WriteOverlay() {
    std::string path = (std::filesystem::temp_directory_path() /
                        ("bench_overlay_" + std::to_string(getpid()) + ".bmp"))
                           .string();
    TBitmapInfoHeader info;
    info.biWidth = PictureWidth;
    info.biHeight = PictureHeight;
    info.biBitCount = 24;
    const uint32_t pitch = uint32_t(BitmapRowPitch(24, PictureWidth));
    std::vector<uint8_t> file(14 + 40 + size_t(pitch) * PictureHeight, 0);
    file[0] = 'B';
    file[1] = 'M';
    file[10] = 14 + 40;
    std::memcpy(file.data() + 14, &info, sizeof info);
    for (int y = 20; y < PictureHeight - 20; ++y) {
        std::memset(file.data() + 54 + size_t(y) * pitch + 60, 150, (PictureWidth - 40) * 3);
    }
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    return path;
}

void ProcessFrames(benchmark::State& state, bool highQuality) {
    std::string overlay = WriteOverlay();
    Settings.Processing = TVideoProcessing{};
    Settings.Processing.Resize = true;
    Settings.Processing.ResizeW = PictureWidth;
    Settings.Processing.ResizeH = PictureHeight;
    Settings.Processing.HighQualityResize = highQuality;
    Settings.Processing.Overlay = true;
    Settings.Processing.OverlayImage = overlay;
    Settings.Processing.OverlayAlpha = 200;
    Settings.Processing.TransColor = true;
    TVideoProcessor processor(CaptureHeader());
    std::filesystem::remove(overlay);
    if (!processor.HasOverlay()) state.SkipWithError("overlay not loaded");

    std::vector<uint8_t> capture = CaptureBytes();
    std::vector<uint8_t> frame(size_t(processor.GetFrameSize()));
    double time = 0;
    for (auto _ : state) {
        // Each frame is new, so each is processed: copy in, scale, blend, copy out.
        processor.PutFrame(capture.data(), int32_t(capture.size()), time);
        benchmark::DoNotOptimize(processor.GetFrame(frame.data(), time));
        time += 1.0 / 30;
    }
    Settings.Processing = TVideoProcessing{};
}

void BM_ProcessFrameHighQualityWithOverlay(benchmark::State& state) {
    ProcessFrames(state, true);
}
void BM_ProcessFramePlainWithOverlay(benchmark::State& state) {
    ProcessFrames(state, false);
}

// The scaling step alone. The plain mode widens only the rows it keeps; compared with libyuv
// widening the whole capture before picking pixels.
void ScaleOnly(benchmark::State& state, bool highQuality) {
    TBitmapInfoHeader header = CaptureHeader();
    TFrameScaler scaler(header, PictureWidth, PictureHeight, PictureWidth * 4, PictureHeight);
    std::vector<uint8_t> capture = CaptureBytes();
    std::vector<uint8_t> frame(size_t(PictureWidth) * 4 * PictureHeight);
    const TPictureRect whole{0, 0, CaptureWidth, CaptureHeight};
    for (auto _ : state) {
        scaler.Scale(capture.data(), whole, highQuality, frame.data());
        benchmark::ClobberMemory();
    }
}

void LibyuvScaleOnly(benchmark::State& state, libyuv::FilterMode filter) {
    std::vector<uint8_t> capture = CaptureBytes();
    std::vector<uint8_t> argb(size_t(CaptureWidth) * 4 * CaptureHeight);
    std::vector<uint8_t> frame(size_t(PictureWidth) * 4 * PictureHeight);
    const int pitch = int(BitmapRowPitch(24, CaptureWidth));
    for (auto _ : state) {
        // Bottom-up rows: start at the last row and step backwards, as the processor does.
        libyuv::RGB24ToARGB(capture.data() + size_t(pitch) * (CaptureHeight - 1), -pitch,
                            argb.data(), CaptureWidth * 4, CaptureWidth, CaptureHeight);
        libyuv::ARGBScale(argb.data(), CaptureWidth * 4, CaptureWidth, CaptureHeight, frame.data(),
                          PictureWidth * 4, PictureWidth, PictureHeight, filter);
        benchmark::ClobberMemory();
    }
}

void BM_ScaleHighQuality(benchmark::State& state) {
    ScaleOnly(state, true);
}
void BM_ScaleNearestOwn(benchmark::State& state) {
    ScaleOnly(state, false);
}
void BM_ScaleNearestLibyuv(benchmark::State& state) {
    LibyuvScaleOnly(state, libyuv::kFilterNone);
}

}  // namespace

BENCHMARK(BM_ProcessFrameHighQualityWithOverlay)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ProcessFramePlainWithOverlay)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ScaleHighQuality)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ScaleNearestOwn)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ScaleNearestLibyuv)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
