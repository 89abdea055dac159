#pragma once
// Where captured samples go: the same two entry points the capture taps feed. Called on the
// source's own thread; implementations forward to the current run's live encoder.

#include <cstdint>
#include <limits>

class TCaptureSink {
  public:
    virtual ~TCaptureSink() = default;

    // Capture-format PCM bytes; false when the audio queue is full (the bytes were not taken).
    virtual bool WriteAudio(const uint8_t* data, int size) = 0;

    // One BGR frame with its time in seconds since the run's first frame.
    virtual void PutVideoFrame(const uint8_t* data, int size, double timeSeconds) = 0;

    // Media seconds encoded so far; lets a source fed "as fast as the encoder takes it" stay a
    // bounded distance ahead instead of overflowing the encoder's wait lists.
    virtual double EncodedSeconds() const = 0;
    // A fast source delivers nothing timed after this: a run of a set length then ends where
    // it should even when its owner looks late, instead of the encoder racing on meanwhile.
    virtual double FastEndSeconds() const { return std::numeric_limits<double>::infinity(); }
};
