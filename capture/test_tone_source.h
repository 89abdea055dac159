#pragma once
// "Test Tone": synthetic 16-bit PCM in the capture format. Silence, except a 1000 Hz sine at
// half of full scale during the first 100 ms of every second, starting at phase 0, so a
// decoder can find each beep's onset and compare it with the white video frames.

#include <cstdint>
#include <vector>

#include "capture/paced_source.h"

class TTestToneSource final : public TPacedSource {
  public:
    // chunkFrames: sample frames handed to the sink at a time, each when its last one is due;
    // 0 for 10 ms chunks, the granularity of a sound card.
    TTestToneSource(TCaptureSink& sink, int sampleRate, int channels, bool fast,
                    int chunkFrames = 0);
    ~TTestToneSource() override;

    void Start() { StartThread(); }

    // One second of the signal, interleaved; exposed for tests.
    const std::vector<int16_t>& OneSecond() const { return FSecond; }

  protected:
    void Execute() override;

  private:
    bool Deliver(int64_t firstFrame, int frameCount);
    int64_t ChunkEnd(int64_t chunk) const;

    const int FSampleRate;
    const int FChannels;
    const int FChunkFrames;
    std::vector<int16_t> FSecond;
    std::vector<int16_t> FChunk;
};
