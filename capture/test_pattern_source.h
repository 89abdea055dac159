#pragma once
// "Test Pattern": synthetic video in the capture side's format (BGR, top-down rows, each row
// padded to 4 bytes). The top three quarters show eight colour bars (white, yellow, cyan,
// green, magenta, red, blue, black); the bottom quarter is black with a white 32x32 square
// that moves 8 pixels right per frame. Every frame captured at a whole second is all white,
// which lets a decoder check timing and A/V sync.

#include <cstdint>
#include <vector>

#include "capture/paced_source.h"

class TTestPatternSource final : public TPacedSource {
  public:
    TTestPatternSource(TCaptureSink& sink, int width, int height, int fps, bool fast);
    ~TTestPatternSource() override;

    void Start() { StartThread(); }

    int RowPitch() const { return FRowPitch; }
    // Renders frame `index` into `frame` (RowPitch() * height bytes). Exposed for tests.
    void RenderFrame(int64_t index, std::vector<uint8_t>& frame) const;

  protected:
    void Execute() override;

  private:
    bool IsWhiteFrame(int64_t index) const { return index % FFps == 0; }
    int SquareLeft(int64_t index) const;
    void FillSquare(std::vector<uint8_t>& frame, int left, uint8_t value) const;
    // The frame without the square; drawn again after each white frame rather than kept, so
    // the source holds one frame's memory, not three.
    void DrawBars(std::vector<uint8_t>& frame) const;

    const int FWidth;
    const int FHeight;
    const int FFps;
    const int FRowPitch;
};
