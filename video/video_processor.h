#pragma once
// Stands between video capture and the Theora encoder. The capture thread pushes every
// captured frame with its time (PutFrame); the live encoder's thread pulls one processed frame
// per output frame time (GetFrame). The processor picks the first captured frame at or after
// the requested time, so captured frames repeat or drop as the capture rate and the encoding
// rate differ, and turns it into the encoder's input: cropped and scaled to the picture size,
// top row first, overlaid with the logo, as 32-bit BGRX with width and height rounded up to
// multiples of 16 (the picture in the first columns of the last rows, the rest black).
//
// Sizes and the overlay are fixed at creation from Settings.Processing; the crop rectangle
// and the scaling mode are read again for every processed frame. One producer thread and one
// consumer thread: only GetFrame removes frames, so the frame it chose and the scaling buffers
// belong to the consumer and are worked on outside the lock.

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "video/bitmap_info_header.h"
#include "video/frame_scaler.h"
#include "video/overlay_plane.h"

class TVideoProcessor final {
  public:
    // header: the capture format, 24-bit uncompressed, rows bottom-up (positive biHeight) or
    // top-down (negative). Throws std::runtime_error("DIB Create error") after logging
    // "CreateDIBSection Failed: " and the header when the input or output cannot be set up.
    explicit TVideoProcessor(const TBitmapInfoHeader& header);
    // The same without the exception: nullptr when the constructor would throw.
    static std::unique_ptr<TVideoProcessor> Create(const TBitmapInfoHeader& header);

    TVideoProcessor(const TVideoProcessor&) = delete;
    TVideoProcessor& operator=(const TVideoProcessor&) = delete;

    // Bytes that GetFrame writes: OutputStride() x OutputHeight().
    int32_t GetFrameSize() const { return FOutputStride * FOutputHeader.biHeight; }

    // Capture thread. Copies size bytes; time in seconds since the run's first frame (NaN or
    // infinite: the last time given). The frame is dropped when more than
    // MaxWaitingFrames - 1 frames are already waiting.
    void PutFrame(const void* data, int32_t size, double time);

    // Encoder thread, one caller only. Writes GetFrameSize() bytes of the first frame timed at
    // or after time (seconds) into buffer and drops the older ones; false when none has
    // arrived yet (nothing is removed then).
    bool GetFrame(void* buffer, double time);

    // How far the last GetFrame got, for the log line at the end of a run.
    int32_t ProcessPos() const { return FProcessPos.load(std::memory_order_relaxed); }

    int32_t PictureWidth() const { return FPictureWidth; }
    int32_t PictureHeight() const { return FPictureHeight; }
    int32_t OutputWidth() const { return FOutputHeader.biWidth; }
    int32_t OutputHeight() const { return FOutputHeader.biHeight; }
    int32_t OutputStride() const { return FOutputStride; }  // bytes
    const TBitmapInfoHeader& OutputHeader() const { return FOutputHeader; }
    bool HasOverlay() const { return FOverlay.has_value(); }
    int32_t WaitingFrames() const;

    static constexpr size_t MaxWaitingFrames = 41;
    static constexpr size_t MaxSpareFrames = 4;

  private:
    struct TInputFrame {
        bool Processed = false;
        std::vector<uint8_t> Data;  // the capture, later the processed output frame
        double Time = 0;
    };

    void LoadOverlay();
    void QueueFrame(const void* data, int32_t size, double time);
    std::unique_ptr<TInputFrame> TakeSpare();
    void Recycle(std::deque<std::unique_ptr<TInputFrame>>::iterator end);
    void ProcessFrame(TInputFrame& frame);
    void ClearPadding(std::vector<uint8_t>& output) const;
    TPictureRect SourceRect() const;
    void SetPos(int32_t pos) { FProcessPos.store(pos, std::memory_order_relaxed); }

    TBitmapInfoHeader FInputHeader;
    TBitmapInfoHeader FOutputHeader;
    int32_t FPictureWidth = 0;
    int32_t FPictureHeight = 0;
    int32_t FOutputStride = 0;
    std::vector<uint8_t> FInputBits;  // the last capture processed
    std::optional<TFrameScaler> FScaler;
    std::optional<TOverlayPlane> FOverlay;

    mutable std::mutex FLock;
    std::deque<std::unique_ptr<TInputFrame>> FFrames;  // guarded by FLock; oldest first
    // Frames already taken out of the list, kept for the next captures: a frame's buffers are
    // several megabytes, and fresh ones cost page faults on every frame.
    std::vector<std::unique_ptr<TInputFrame>> FSpares;  // guarded by FLock
    double FLastTime = 0;                               // guarded by FLock
    std::atomic<int32_t> FProcessPos{0};
    std::atomic<bool> FAllocationFailed{false};  // a frame was dropped for lack of memory
};
