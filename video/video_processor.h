#pragma once
// Stands between video capture and the Theora encoder. The capture thread pushes every
// captured frame with its time (PutFrame); the live encoder's thread pulls one processed frame
// per output frame time (GetFrame). The processor picks the first captured frame at or after
// the requested time, so captured frames repeat or drop as the capture rate and the encoding
// rate differ, and turns it into the encoder's input: cropped and scaled to the picture size,
// top row first, overlaid with the logo, with width and height rounded up to multiples of 16
// (the picture in the first columns of the last rows, the rest black). An RGB capture becomes
// 32-bit BGRX; a camera's Y'CbCr (I420, YUY2, UYVY, NV12, or JPEG's full-range I420) becomes
// I420 as it is taken in and a packed I420 frame after that, so camera frames reach the
// encoder without a colour conversion.
//
// Sizes and the overlay are fixed at creation from Settings.Processing; the crop rectangle
// and the scaling mode are read again for every processed frame. One producer thread and one
// consumer thread: only GetFrame removes frames, so the frame it chose and the scaling buffers
// belong to the consumer and are worked on outside the lock.
//
// Frame buffers come from a pool that grows to the most frames in use at once and is reused
// after that: a short run touches only the memory it needs.

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "video/bitmap_info_header.h"
#include "video/capture_intake.h"
#include "video/default_init_allocator.h"
#include "video/frame_format.h"
#include "video/frame_scaler.h"
#include "video/overlay_plane.h"
#include "video/planar_overlay.h"
#include "video/planar_scaler.h"

class TVideoProcessor final {
  public:
    // header: the capture format, 24-bit uncompressed, rows bottom-up (positive biHeight) or
    // top-down (negative); or Y'CbCr (YCbCrBitmapHeader), top row first either way. Throws
    // std::runtime_error("DIB Create error") after logging "CreateDIBSection Failed: " and the
    // header when the input or output cannot be set up.
    explicit TVideoProcessor(const TBitmapInfoHeader& header);
    // The same without the exception: nullptr when the constructor would throw.
    static std::unique_ptr<TVideoProcessor> Create(const TBitmapInfoHeader& header);

    TVideoProcessor(const TVideoProcessor&) = delete;
    TVideoProcessor& operator=(const TVideoProcessor&) = delete;

    // Bytes that GetFrame writes: OutputStride() x OutputHeight() for BGRX, and one and a half
    // times that for I420.
    int32_t GetFrameSize() const { return FFrameSize; }

    // Capture thread. Copies size bytes (a camera's Y'CbCr turned into I420 on the way; a frame
    // too short for that is dropped); time in seconds since the run's first frame (NaN or
    // infinite: the last time given). The frame is dropped when more than
    // MaxWaitingFrames - 1 frames are already waiting, or when it is older than the time of
    // the last GetFrame or WillAskFor (within a millisecond), which could never choose it:
    // requests never go back in time.
    void PutFrame(const void* data, int32_t size, double time);

    // Encoder thread, one caller only. Writes GetFrameSize() bytes of the first frame timed at
    // or after time (seconds; a frame stamped less than a millisecond before counts as at it)
    // into buffer and drops the older ones; false when none has arrived yet (nothing is
    // removed then).
    bool GetFrame(void* buffer, double time);

    // The same without the copy: the chosen frame's own GetFrameSize() bytes, which stay valid
    // and unchanged for as long as the handle is held; null when none has arrived yet. The
    // buffer goes back to the pool once the handle is released, which must happen on the
    // encoder thread (after any other thread reading it has handed it back).
    using TFrameHandle = std::shared_ptr<const uint8_t>;
    TFrameHandle GetFrame(double time);

    // Encoder thread: the time the next GetFrame asks for, told ahead. Captures older than it
    // (within a millisecond) could never be chosen and are dropped as they arrive. Frames whose
    // handles were released since the last GetFrame go back to the pool now.
    void WillAskFor(double time);

    // Encoder thread: after a GetFrame that found nothing, waits up to timeoutMs for the next
    // captured frame or WakeWaiter; false on time-out.
    bool WaitForFrame(int timeoutMs);
    // Any thread: ends the encoder's WaitForFrame at once (its stop).
    void WakeWaiter();

    // How far the last GetFrame got, for the log line at the end of a run.
    int32_t ProcessPos() const { return FProcessPos.load(std::memory_order_relaxed); }

    int32_t PictureWidth() const { return FPictureWidth; }
    int32_t PictureHeight() const { return FPictureHeight; }
    int32_t OutputWidth() const { return FOutputHeader.biWidth; }
    int32_t OutputHeight() const { return FOutputHeader.biHeight; }
    int32_t OutputStride() const { return FOutputStride; }  // bytes (I420: of the Y plane)
    // Bgrx for RGB captures, I420 (packed: Y, Cb, Cr planes back to back) for Y'CbCr ones.
    TFrameFormat OutputFormat() const { return FPlanar ? TFrameFormat::I420 : TFrameFormat::Bgrx; }
    const TBitmapInfoHeader& OutputHeader() const { return FOutputHeader; }
    bool HasOverlay() const { return FOverlay.has_value() || FPlanarOverlay.has_value(); }
    int32_t WaitingFrames() const;

    static constexpr size_t MaxWaitingFrames = 41;
    // Free frame buffers kept for reuse: what the list swings by in a steady run (a frame
    // arriving while one waits), so buffers are not freed and allocated again, yet a burst (the
    // frames that pile up while a run starts) does not stay allocated.
    static constexpr size_t MaxSpareFrames = 2;

  private:
    // Grown without zeroing: every byte is written before it is read.
    using TBytes = std::vector<uint8_t, TDefaultInitAllocator<uint8_t>>;
    struct TInputFrame {
        bool Processed = false;
        TBytes Data;  // the capture, later the processed output frame
        double Time = 0;
    };
    using TFramePtr = std::shared_ptr<TInputFrame>;

    void LoadOverlay();
    void QueueFrame(const void* data, int32_t size, double time);
    bool CopyCapture(const uint8_t* data, int32_t size, TBytes& into);
    TFramePtr FrameFor(double time);
    TFramePtr Choose(double time);
    void Recycle(std::deque<TFramePtr>::iterator end);
    void Release(TFramePtr frame);
    void ReleaseReturnedFrames();
    void ProcessFrame(TInputFrame& frame);
    void TakeCapture(TInputFrame& frame);
    void ClearPadding(TBytes& output) const;
    void Scale(TInputFrame& frame, const TPictureRect& source);
    int64_t InputBytes() const;
    TPictureRect SourceRect() const;
    void SetPos(int32_t pos) { FProcessPos.store(pos, std::memory_order_relaxed); }

    TBitmapInfoHeader FInputHeader;
    TBitmapInfoHeader FOutputHeader;
    int32_t FPictureWidth = 0;
    int32_t FPictureHeight = 0;
    int32_t FOutputStride = 0;
    int32_t FFrameSize = 0;
    bool FPlanar = false;  // Y'CbCr in, I420 out
    TBytes FInputBits;     // the last capture processed (empty before the first)
    std::optional<TFrameScaler> FScaler;
    std::optional<TOverlayPlane> FOverlay;
    std::optional<TCaptureIntake> FIntake;       // for Y'CbCr: each capture becomes I420
    std::optional<TPlanarScaler> FPlanarScaler;  // instead of the two above for Y'CbCr
    std::optional<TPlanarOverlay> FPlanarOverlay;

    mutable std::mutex FLock;
    std::deque<TFramePtr> FFrames;  // guarded by FLock; oldest first
    // Frames already taken out of the list, kept for the next captures: a frame's buffers are
    // several megabytes, and fresh ones cost page faults on every frame.
    std::vector<TFramePtr> FSpares;  // guarded by FLock
    // Frames out of the list whose handle the encoder still holds; spares once released.
    std::vector<TFramePtr> FHandedOut;  // guarded by FLock
    double FLastTime = 0;               // guarded by FLock
    // The time of the last GetFrame or WillAskFor: earlier captures are never chosen.
    double FAskedTime = -INFINITY;  // guarded by FLock
    std::atomic<int32_t> FProcessPos{0};
    // Counts frames put and wake calls; WaitForFrame waits for a change since the last
    // GetFrame that found nothing.
    std::condition_variable FArrived;
    uint64_t FArrivals = 0;                      // guarded by FLock
    uint64_t FArrivalsSeen = 0;                  // guarded by FLock
    std::atomic<bool> FAllocationFailed{false};  // a frame was dropped for lack of memory
    std::atomic<bool> FShortFrameSeen{false};    // a frame too short to convert was dropped
};
