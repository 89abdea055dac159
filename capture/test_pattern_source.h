#pragma once
// "Test Pattern": synthetic video in the capture side's format (BGR, top-down rows, each row
// padded to 4 bytes). The top three quarters show eight colour bars (white, yellow, cyan,
// green, magenta, red, blue, black); the bottom quarter is black with a white 32x32 square
// that moves 8 pixels right per frame. Every frame captured at a whole second is all white,
// which lets a decoder check timing and A/V sync.

#include <cstdint>
#include <memory>
#include <vector>

#include "capture/paced_source.h"

class TTestPatternSource final : public TPacedSource {
  public:
    TTestPatternSource(TCaptureSink& sink, int width, int height, int fps, bool fast);
    ~TTestPatternSource() override;

    void Start() { StartThread(); }

    int RowPitch() const { return FRowPitch; }
    // Renders frame `index` afresh into `frame` (RowPitch() * height bytes); public for tests.
    void RenderFrame(int64_t index, std::vector<uint8_t>& frame) const;

  protected:
    void Execute() override;

  private:
    bool IsWhiteFrame(int64_t index) const { return index % FFps == 0; }
    int SquareLeft(int64_t index) const;
    void FillSquare(std::vector<uint8_t>& frame, int left, uint8_t value) const;
    // The frame without the square.
    void DrawBars(std::vector<uint8_t>& frame) const;
    // A frame the sink does not hold, preferably one showing what frame `index` shows (bars or
    // white); a new one while fewer than MaxLentFrames are out; null when all are out.
    std::shared_ptr<TLentFrame> FreeFrame(int64_t index);
    // Turns `frame` into frame `index`, changing only what differs from what it shows.
    void Draw(int64_t index, TLentFrame& frame) const;

    const int FWidth;
    const int FHeight;
    const int FFps;
    const int FRowPitch;
    std::vector<std::shared_ptr<TLentFrame>> FFrames;  // generator thread only
};
