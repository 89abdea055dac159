#pragma once
// Carries sound from the capture callback to the live encoder as 16-bit PCM at the rate and
// channel count of the settings. When the capture format already is that format the bytes
// pass straight through one queue; otherwise a worker thread converts whole 2048-byte blocks
// from an input queue into the output queue.
//
// Threads: the capture thread calls Write, the live encoder's thread calls Read, the worker
// (converting mode only) moves bytes between the queues. Each queue has its own lock; no lock
// is held across both. The owner creates and destroys the processor.

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/byte_queue.h"
#include "base/event.h"
#include "base/thread.h"
#include "engine/audio_converter.h"
#include "engine/wave_format.h"

class TAudioProcessor final : public TWorkerThread {
  public:
    static constexpr int32_t SourceBlockSize = 2048;  // capture bytes per conversion

    // captureFormat is the format the device really delivers. The extensible form is needed
    // for WAVE_FORMAT_EXTENSIBLE; the plain record cannot carry its subformat.
    explicit TAudioProcessor(const TWaveFormatEx& captureFormat);
    explicit TAudioProcessor(const TWaveFormatExtensible& captureFormat);
    ~TAudioProcessor() override;

    // Capture thread: queues one captured buffer whole, or refuses it whole when the queue
    // lacks room (the buffer is then lost).
    bool Write(const void* data, int32_t length);

    // Encoder thread: takes up to maxLength bytes of output PCM, whole sample frames only, so
    // a frame split across captured buffers is never handed out in halves. Returns the bytes
    // copied, 0 when nothing is ready.
    int32_t Read(void* dest, int32_t maxLength);
    // Encoder thread: after a Read that came short, waits up to timeoutMs for more output
    // (or WakeReader); false on time-out. Output written since that Read ends it at once.
    bool WaitForOutput(int timeoutMs) { return FOutputArrived.WaitFor(timeoutMs); }
    // Any thread: ends the encoder's WaitForOutput at once (its stop).
    void WakeReader() { FOutputArrived.Set(); }

    const TWaveFormatEx& OutputFormat() const { return FOutputFormat; }

    // False in converting mode, also when the capture format could not be converted.
    bool PassThrough() const { return !FInputQueue; }

  protected:
    void Execute() override;
    void Wake() override { FInputArrived.Set(); }

  private:
    // 16-bit PCM, mono or stereo by VorbisStereo, rate by VorbisSampleFreq.
    static TWaveFormatEx TargetFormat();

    // Worker steps; each returns true when it moved some bytes.
    bool ConvertBlock();
    bool QueuePending();

    TWaveFormatEx FOutputFormat;
    std::unique_ptr<tByteQueue> FOutputQueue;
    std::unique_ptr<tByteQueue> FInputQueue;      // converting mode only
    std::unique_ptr<TAudioConverter> FConverter;  // null when the format cannot be converted
    // Worker only, allocated once: the block being converted and its output.
    std::array<uint8_t, SourceBlockSize> FSourceBlock{};
    std::vector<int16_t> FConvertBuffer;  // five seconds of output
    int32_t FConvertBufferSize = 0;       // bytes
    int32_t FPendingOffset = 0;           // converted bytes already queued
    int32_t FPendingLength = 0;           // converted bytes not yet queued
    // Set by Write and by the stop: the idle worker waits on it instead of polling.
    TEvent FInputArrived;
    // Set whenever output is queued, and by WakeReader; reset by Read before it looks.
    TEvent FOutputArrived;
};
