#pragma once
// Where captured samples go: the entry points the capture taps feed. Called on the
// source's own thread; implementations forward to the current run's live encoder.

#include <atomic>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

// A picture its source draws in place from frame to frame. A sink may keep it instead of
// copying it, until it calls Return(); meanwhile the source draws in another one.
class TLentFrame {
  public:
    std::vector<uint8_t> Pixels;
    int64_t DrawnIndex = -1;  // the source's note of the frame Pixels show; -1: none yet

    void Lend() { FLent.store(true, std::memory_order_relaxed); }
    // Whatever the sink did with the pixels happens before the source draws in them again.
    void Return() { FLent.store(false, std::memory_order_release); }
    bool Lent() const { return FLent.load(std::memory_order_acquire); }

  private:
    std::atomic<bool> FLent{false};
};

class TCaptureSink {
  public:
    virtual ~TCaptureSink() = default;

    // Capture-format PCM bytes; false when the audio queue is full (the bytes were not taken).
    virtual bool WriteAudio(const uint8_t* data, int size) = 0;

    // One BGR frame with its time in seconds since the run's first frame.
    virtual void PutVideoFrame(const uint8_t* data, int size, double timeSeconds) = 0;
    // One BGR frame lent by its source: a sink that can keep it without copying holds `frame`
    // and returns it when done; others take it as any frame.
    virtual void PutLentVideoFrame(const std::shared_ptr<TLentFrame>& frame, double timeSeconds) {
        PutVideoFrame(frame->Pixels.data(), static_cast<int>(frame->Pixels.size()), timeSeconds);
        frame->Return();
    }

    // Media seconds encoded so far; lets a source fed "as fast as the encoder takes it" stay a
    // bounded distance ahead instead of overflowing the encoder's wait lists.
    virtual double EncodedSeconds() const = 0;
    // A fast source delivers nothing timed after this: a run of a set length then ends where
    // it should even when its owner looks late, instead of the encoder racing on meanwhile.
    virtual double FastEndSeconds() const { return std::numeric_limits<double>::infinity(); }
};
