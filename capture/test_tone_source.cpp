#include "capture/test_tone_source.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr double ToneHz = 1000.0;
constexpr double Amplitude = 32767.0 / 2;
// Sound cards hand over small buffers; 10 ms keeps the same granularity.
constexpr int ChunksPerSecond = 100;
// In fast mode the source keeps this far ahead of the encoder: more than one video frame, so
// sound never holds the pictures up, yet little enough that a run stops within it of its
// length (an encoder of sound alone takes whatever is queued at once).
constexpr double FastLeadSeconds = 0.25;

}  // namespace

TTestToneSource::TTestToneSource(TCaptureSink& sink, int sampleRate, int channels, bool fast,
                                 int chunkFrames)
    : TPacedSource(sink, fast),
      FSampleRate(std::max(1, sampleRate)),
      FChannels(std::max(1, channels)),
      FChunkFrames(std::max(0, chunkFrames)),
      FSecond(static_cast<size_t>(FSampleRate) * FChannels, 0) {
    const int beepFrames = FSampleRate / 10;
    for (int i = 0; i < beepFrames; ++i) {
        const double phase = 2.0 * std::numbers::pi * ToneHz * i / FSampleRate;
        const auto value = static_cast<int16_t>(std::lround(Amplitude * std::sin(phase)));
        std::fill_n(FSecond.begin() + static_cast<ptrdiff_t>(i) * FChannels, FChannels, value);
    }
}

TTestToneSource::~TTestToneSource() {
    StopThread();
}

bool TTestToneSource::Deliver(int64_t firstFrame, int frameCount) {
    FChunk.resize(static_cast<size_t>(frameCount) * FChannels);
    for (int i = 0; i < frameCount; ++i) {
        const int64_t inSecond = (firstFrame + i) % FSampleRate;
        std::copy_n(FSecond.begin() + inSecond * FChannels, FChannels,
                    FChunk.begin() + static_cast<ptrdiff_t>(i) * FChannels);
    }
    const auto* bytes = reinterpret_cast<const uint8_t*>(FChunk.data());
    const int size = static_cast<int>(FChunk.size() * sizeof(int16_t));
    // A live device does not wait for a full queue; only the fast mode retries, since it
    // stands for "as fast as the encoder takes it".
    while (!FSink.WriteAudio(bytes, size)) {
        if (!FFast) return true;  // dropped, as a device's buffer would be
        if (!Pause(FastPollMs)) return false;
    }
    return true;
}

// The sample frame after the given chunk (counted from 1).
int64_t TTestToneSource::ChunkEnd(int64_t chunk) const {
    return FChunkFrames > 0 ? chunk * FChunkFrames : chunk * FSampleRate / ChunksPerSecond;
}

void TTestToneSource::Execute() {
    MarkStart();
    int64_t delivered = 0;
    for (int64_t chunk = 1; !Terminated(); ++chunk) {
        const int64_t end = ChunkEnd(chunk);
        const double endSeconds = static_cast<double>(end) / FSampleRate;
        if (!WaitForTurn(endSeconds, FastLeadSeconds)) break;
        if (!Deliver(delivered, static_cast<int>(end - delivered))) break;
        delivered = end;
    }
}
