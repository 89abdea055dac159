#include "capture/test_pattern_source.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int SquareSize = 32;
constexpr int SquareStep = 8;
// How far ahead of the encoder a fast source may run: enough that the encoder never waits for
// it, yet only a few frames, since every frame waiting holds a frame buffer.
constexpr double FastLeadSeconds = 0.15;
// Frames a sink may hold at once, like a camera's ring of buffers: a sink that copies holds
// none; the test device's graph, its queue of 4 and the one being converted.
constexpr size_t MaxLentFrames = 8;

struct Bgr {
    uint8_t b, g, r;
};
constexpr Bgr BarColours[8] = {{255, 255, 255}, {0, 255, 255}, {255, 255, 0}, {0, 255, 0},
                               {255, 0, 255},   {0, 0, 255},   {255, 0, 0},   {0, 0, 0}};

}  // namespace

TTestPatternSource::TTestPatternSource(TCaptureSink& sink, int width, int height, int fps,
                                       bool fast)
    : TPacedSource(sink, fast),
      FWidth(width),
      FHeight(height),
      FFps(std::max(1, fps)),
      FRowPitch((width * 3 + 3) & ~3) {}

void TTestPatternSource::DrawBars(std::vector<uint8_t>& frame) const {
    frame.assign(static_cast<size_t>(FRowPitch) * FHeight, 0);
    const int barRows = FHeight * 3 / 4;
    for (int y = 0; y < barRows; ++y) {
        uint8_t* row = frame.data() + static_cast<size_t>(y) * FRowPitch;
        for (int x = 0; x < FWidth; ++x) {
            const Bgr& colour = BarColours[x * 8 / FWidth];
            row[x * 3] = colour.b;
            row[x * 3 + 1] = colour.g;
            row[x * 3 + 2] = colour.r;
        }
    }
}

TTestPatternSource::~TTestPatternSource() {
    StopThread();
}

int TTestPatternSource::SquareLeft(int64_t index) const {
    const int travel = std::max(1, FWidth - SquareSize + SquareStep);
    return static_cast<int>((index * SquareStep) % travel);
}

void TTestPatternSource::FillSquare(std::vector<uint8_t>& frame, int left, uint8_t value) const {
    const int top = FHeight * 3 / 4 + (FHeight / 4 - SquareSize) / 2;
    const int right = std::min(FWidth, left + SquareSize);
    for (int y = std::max(0, top); y < std::min(FHeight, top + SquareSize); ++y) {
        uint8_t* row = frame.data() + static_cast<size_t>(y) * FRowPitch;
        std::fill(row + left * 3, row + right * 3, value);
    }
}

void TTestPatternSource::RenderFrame(int64_t index, std::vector<uint8_t>& frame) const {
    if (IsWhiteFrame(index)) {
        frame.assign(static_cast<size_t>(FRowPitch) * FHeight, 255);
        return;
    }
    DrawBars(frame);
    FillSquare(frame, SquareLeft(index), 255);
}

// Only the square moves between two ordinary frames: each frame is drawn over the one its
// memory showed before, and the sink keeps it without a copy where it can.
void TTestPatternSource::Execute() {
    MarkStart();
    for (int64_t index = 0; !Terminated(); ++index) {
        // Capture times carry millisecond resolution.
        const double time = std::round(static_cast<double>(index) * 1000.0 / FFps) / 1000.0;
        if (!WaitForTurn(time, FastLeadSeconds)) break;
        const std::shared_ptr<TLentFrame> frame = FreeFrame(index);
        // The sink holds every frame: this one is lost, as a camera's is when the program
        // holds all of its buffers.
        if (!frame) continue;
        Draw(index, *frame);
        frame->Lend();
        FSink.PutLentVideoFrame(frame, time);
    }
}

std::shared_ptr<TLentFrame> TTestPatternSource::FreeFrame(int64_t index) {
    std::shared_ptr<TLentFrame> chosen;
    for (const auto& frame : FFrames) {
        if (frame->Lent()) continue;
        const bool sameKind =
            frame->DrawnIndex >= 0 && IsWhiteFrame(frame->DrawnIndex) == IsWhiteFrame(index);
        if (sameKind) return frame;
        if (!chosen) chosen = frame;
    }
    if (chosen || FFrames.size() >= MaxLentFrames) return chosen;
    return FFrames.emplace_back(std::make_shared<TLentFrame>());
}

void TTestPatternSource::Draw(int64_t index, TLentFrame& frame) const {
    const int64_t shown = frame.DrawnIndex;
    frame.DrawnIndex = index;
    if (IsWhiteFrame(index)) {
        if (shown < 0 || !IsWhiteFrame(shown)) RenderFrame(index, frame.Pixels);
        return;
    }
    // In a picture under 128 rows the square reaches into the bars, where erasing it would
    // leave black: such a small picture is drawn whole.
    const bool erasable = FHeight / 4 >= SquareSize;
    if (shown < 0 || IsWhiteFrame(shown) || !erasable) {
        DrawBars(frame.Pixels);
    } else {
        FillSquare(frame.Pixels, SquareLeft(shown), 0);
    }
    FillSquare(frame.Pixels, SquareLeft(index), 255);
}
