#include "video/video_processor.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <stdexcept>
#include <string>

#include "settings/log.h"
#include "settings/settings.h"
#include "video/overlay_loader.h"

namespace {

// Beyond any capture device or Theora frame; keeps every byte count inside 32 bits.
constexpr int64_t MaxFrameDimension = 16384;

// Capture times arrive in whole milliseconds, cut down, and relative to a first frame cut down
// as well: a frame taken exactly at an output frame's time can be stamped up to (not quite) a
// millisecond before it. Taking the next frame instead would show every picture a frame early.
constexpr double CaptureTimeResolution = 0.001;

void LogBitmapHeader(const TBitmapInfoHeader& b) {
    LogLine("B.biSize: " + std::to_string(b.biSize));
    LogLine("B.biWidth: " + std::to_string(b.biWidth));
    LogLine("B.biHeight: " + std::to_string(b.biHeight));
    LogLine("B.biPlanes: " + std::to_string(b.biPlanes));
    LogLine("B.biBitCount: " + std::to_string(b.biBitCount));
    LogLine("B.biCompression: " + std::to_string(b.biCompression));
    LogLine("B.biSizeImage: " + std::to_string(b.biSizeImage));
}

[[noreturn]] void FailBitmap(const TBitmapInfoHeader& header, int error) {
    LogLine("CreateDIBSection Failed: " + std::to_string(error));
    LogBitmapHeader(header);
    throw std::runtime_error("DIB Create error");
}

// Whether a frame stamped frameTime can be the one chosen for a request at time.
bool CanServe(double frameTime, double time) {
    return frameTime > time - CaptureTimeResolution;
}

bool DimensionsUsable(int64_t width, int64_t height) {
    return width > 0 && height != 0 && width <= MaxFrameDimension &&
           std::llabs(height) <= MaxFrameDimension;
}

bool InputUsable(const TBitmapInfoHeader& h) {
    const bool rgb = h.biBitCount == 24 && h.biCompression == BI_RGB_COMPRESSION;
    return (rgb || IsYCbCrHeader(h)) && DimensionsUsable(h.biWidth, h.biHeight);
}

int32_t RoundUpTo16(int32_t value) {
    return (value + 15) & ~15;
}

// Allocation failure is reported like the other creation failures, not as bad_alloc. The
// block is only reserved: its pages cost nothing until a frame is written into them.
template <typename Bytes>
void Reserve(Bytes& bits, int64_t bytes, const TBitmapInfoHeader& header) {
    try {
        bits.reserve(static_cast<size_t>(bytes));
    } catch (const std::bad_alloc&) {
        FailBitmap(header, ENOMEM);
    }
}

}  // namespace

TVideoProcessor::TVideoProcessor(const TBitmapInfoHeader& header)
    : FInputHeader(header), FPlanar(IsYCbCrHeader(header)) {
    if (!InputUsable(FInputHeader)) FailBitmap(FInputHeader, EINVAL);
    if (FPlanar) FIntake.emplace(FInputHeader);

    const TVideoProcessing& options = Settings.Processing;
    if (options.Resize) {
        FPictureWidth = options.ResizeW;
        FPictureHeight = options.ResizeH;
    } else {
        TPictureRect source = SourceRect();
        FPictureWidth = source.Width();
        FPictureHeight = source.Height();
    }
    FOutputHeader.biSize = sizeof(TBitmapInfoHeader);
    FOutputHeader.biPlanes = 1;
    FOutputHeader.biBitCount = FPlanar ? 12 : 32;
    FOutputHeader.biCompression = FPlanar ? I420_COMPRESSION : BI_RGB_COMPRESSION;
    bool pictureUsable =
        FPictureWidth > 0 && FPictureHeight > 0 && DimensionsUsable(FPictureWidth, FPictureHeight);
    FOutputHeader.biWidth = pictureUsable ? RoundUpTo16(FPictureWidth) : FPictureWidth;
    FOutputHeader.biHeight = pictureUsable ? RoundUpTo16(FPictureHeight) : FPictureHeight;
    if (!pictureUsable || SourceRect().Width() <= 0 || SourceRect().Height() <= 0) {
        FailBitmap(FOutputHeader, EINVAL);
    }

    if (FPlanar) {
        FOutputStride = FOutputHeader.biWidth;
        FPlanarScaler.emplace(FInputHeader.biWidth, std::abs(FInputHeader.biHeight), FPictureWidth,
                              FPictureHeight, FOutputHeader.biWidth, FOutputHeader.biHeight);
        FFrameSize = static_cast<int32_t>(FPlanarScaler->OutputBytes());
    } else {
        FOutputStride = static_cast<int32_t>(BitmapRowPitch(32, FOutputHeader.biWidth));
        FScaler.emplace(FInputHeader, FPictureWidth, FPictureHeight, FOutputStride,
                        FOutputHeader.biHeight);
        FFrameSize = FOutputStride * FOutputHeader.biHeight;
    }
    Reserve(FInputBits, InputBytes(), FInputHeader);
    // One spare frame up front: too little memory for one output frame fails here, not later.
    FSpares.push_back(std::make_shared<TInputFrame>());
    Reserve(FSpares.back()->Data, GetFrameSize(), FOutputHeader);

    std::error_code error;
    if (options.Overlay && std::filesystem::exists(options.OverlayImage, error)) LoadOverlay();
}

void TVideoProcessor::LoadOverlay() {
    try {
        std::optional<TBgraImage> image =
            LoadOverlayImage(Settings.Processing.OverlayImage, Settings.Processing);
        if (image && FPlanar) {
            FPlanarOverlay.emplace(*image, FOutputHeader.biWidth, FOutputHeader.biHeight,
                                   FPictureHeight);
        } else if (image) {
            FOverlay.emplace(*image, FOutputHeader.biWidth, FOutputHeader.biHeight, FPictureHeight);
        }
    } catch (const std::bad_alloc&) {
        FOverlay.reset();
        FPlanarOverlay.reset();  // no room for the image or its plane: run without overlay
    }
}

std::unique_ptr<TVideoProcessor> TVideoProcessor::Create(const TBitmapInfoHeader& header) {
    try {
        return std::make_unique<TVideoProcessor>(header);
    } catch (const std::exception&) {
        return nullptr;
    }
}

// The crop rectangle in display coordinates, kept inside the captured picture whatever the
// crop values say.
TPictureRect TVideoProcessor::SourceRect() const {
    const int32_t width = FInputHeader.biWidth;
    const int32_t height = static_cast<int32_t>(std::llabs(FInputHeader.biHeight));
    const TVideoProcessing& options = Settings.Processing;
    if (!options.Crop) return {0, 0, width, height};
    TPictureRect rect;
    rect.Left = std::clamp(options.CropL, 0, width);
    rect.Top = std::clamp(options.CropT, 0, height);
    rect.Right = std::clamp(int64_t{width} - options.CropR, int64_t{rect.Left}, int64_t{width});
    rect.Bottom = std::clamp(int64_t{height} - options.CropB, int64_t{rect.Top}, int64_t{height});
    return rect;
}

int32_t TVideoProcessor::WaitingFrames() const {
    std::lock_guard lock(FLock);
    return static_cast<int32_t>(FFrames.size());
}

// A frame for a capture stamped `time`, its time settled; null when the capture is not wanted:
// the list is full, or the encoder already asks for a later picture. Requests never go back in
// time, so such a capture could never be chosen: dropped here, it costs neither a copy (nor a
// conversion) nor a wake-up of the encoder.
TVideoProcessor::TFramePtr TVideoProcessor::FrameFor(double time) {
    std::lock_guard lock(FLock);
    if (FFrames.size() >= MaxWaitingFrames) return nullptr;  // cheap refusal before the copy
    // A frame without a usable time would never be chosen: it takes the last known one.
    if (std::isfinite(time)) FLastTime = time;
    if (!CanServe(FLastTime, FAskedTime)) return nullptr;
    TFramePtr frame;
    if (FSpares.empty()) {
        frame = std::make_shared<TInputFrame>();
    } else {
        frame = std::move(FSpares.back());
        FSpares.pop_back();
    }
    frame->Time = FLastTime;
    return frame;
}

void TVideoProcessor::PutFrame(const void* data, int32_t size, double time) {
    // Runs on a capture callback, where an escaping exception ends the process: a frame that
    // finds no memory is dropped instead, and said once per run.
    try {
        QueueFrame(data, size, time);
    } catch (const std::bad_alloc&) {
        if (!FAllocationFailed.exchange(true)) LogLine("Video frame dropped: out of memory");
    }
}

void TVideoProcessor::QueueFrame(const void* data, int32_t size, double time) {
    TFramePtr frame = FrameFor(time);
    if (!frame) return;
    frame->Processed = false;
    frame->Data.clear();
    if (data != nullptr && size > 0 &&
        !CopyCapture(static_cast<const uint8_t*>(data), size, frame->Data)) {
        return;
    }
    {
        std::lock_guard lock(FLock);
        if (FFrames.size() >= MaxWaitingFrames) return;
        FFrames.push_back(std::move(frame));
        ++FArrivals;
    }
    FArrived.notify_all();
}

// The capture into `into`, which has room for the output as well (processing turns it into the
// output frame): packed RGB as it is, a camera's Y'CbCr as I420 in studio swing. False when the
// frame cannot be used.
bool TVideoProcessor::CopyCapture(const uint8_t* data, int32_t size, TBytes& into) {
    const size_t captured = FIntake ? size_t(FIntake->OutputBytes()) : size_t(size);
    into.reserve(std::max(captured, size_t(GetFrameSize())));
    // Grown unfilled and written in one pass (an element-wise assign would not be).
    into.resize(captured);
    if (!FIntake) {
        std::memcpy(into.data(), data, captured);
        return true;
    }
    const int64_t taken = FIntake->Take(data, size, into.data());
    if (taken > 0) {
        into.resize(static_cast<size_t>(taken));
        return true;
    }
    if (!FShortFrameSeen.exchange(true)) {
        LogLine("Video frame dropped: " + std::to_string(size) + " bytes where the format needs " +
                std::to_string(FIntake->SourceBytes()));
    }
    return false;
}

void TVideoProcessor::WillAskFor(double time) {
    std::lock_guard lock(FLock);
    if (std::isfinite(time)) FAskedTime = time;
    // A frame the encoder has just let go of takes the next capture, which may arrive before
    // the next GetFrame.
    ReleaseReturnedFrames();
}

bool TVideoProcessor::WaitForFrame(int timeoutMs) {
    std::unique_lock lock(FLock);
    return FArrived.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [this] { return FArrivals != FArrivalsSeen; });
}

void TVideoProcessor::WakeWaiter() {
    {
        std::lock_guard lock(FLock);
        ++FArrivals;
    }
    FArrived.notify_all();
}

bool TVideoProcessor::GetFrame(void* buffer, double time) {
    TFrameHandle frame = GetFrame(time);
    if (!frame) return false;
    std::memcpy(buffer, frame.get(), static_cast<size_t>(GetFrameSize()));
    return true;
}

TVideoProcessor::TFrameHandle TVideoProcessor::GetFrame(double time) {
    TFramePtr chosen = Choose(time);
    if (!chosen) return nullptr;
    if (!chosen->Processed) ProcessFrame(*chosen);
    SetPos(8);
    const uint8_t* bytes = chosen->Data.data();
    TFrameHandle handle(std::move(chosen), bytes);
    SetPos(9);
    SetPos(10);
    return handle;
}

// The first waiting frame timed at or after `time` (within the capture clock's resolution), the
// older ones dropped; null when none.
TVideoProcessor::TFramePtr TVideoProcessor::Choose(double time) {
    SetPos(1);
    TFramePtr chosen;
    {
        std::lock_guard lock(FLock);
        SetPos(2);
        ReleaseReturnedFrames();
        if (std::isfinite(time)) FAskedTime = time;
        auto found = std::find_if(FFrames.begin(), FFrames.end(), [time](const auto& frame) {
            return CanServe(frame->Time, time);
        });
        if (found != FFrames.end()) {
            SetPos(3);
            chosen = *found;
        }
        SetPos(4);
        if (chosen) {
            Recycle(found);
        } else {
            FArrivalsSeen = FArrivals;
        }
        SetPos(5);
    }
    SetPos(6);
    if (!chosen) SetPos(10);
    return chosen;
}

// Caller holds FLock. Frames before `end` are no longer wanted.
void TVideoProcessor::Recycle(std::deque<TFramePtr>::iterator end) {
    for (auto frame = FFrames.begin(); frame != end; ++frame) Release(std::move(*frame));
    FFrames.erase(FFrames.begin(), end);
}

// Caller holds FLock. A frame the encoder still reads waits until its handle is released; a
// few free ones are kept as spares.
void TVideoProcessor::Release(TFramePtr frame) {
    if (frame.use_count() > 1) {
        FHandedOut.push_back(std::move(frame));
    } else if (FSpares.size() < MaxSpareFrames) {
        FSpares.push_back(std::move(frame));
    }
}

// Caller holds FLock; runs on the encoder thread, where handles are released.
void TVideoProcessor::ReleaseReturnedFrames() {
    auto returned = std::partition(FHandedOut.begin(), FHandedOut.end(),
                                   [](const TFramePtr& frame) { return frame.use_count() > 1; });
    std::vector<TFramePtr> returnedFrames(std::make_move_iterator(returned),
                                          std::make_move_iterator(FHandedOut.end()));
    FHandedOut.erase(returned, FHandedOut.end());
    for (TFramePtr& frame : returnedFrames) Release(std::move(frame));
}

void TVideoProcessor::ProcessFrame(TInputFrame& frame) {
    SetPos(11);
    if (frame.Processed) return;
    SetPos(12);
    const TPictureRect source = SourceRect();
    // A camera frame of the encoder's size and layout is the output already: no copy at all.
    const bool asCaptured = FPlanar && frame.Data.size() == size_t(InputBytes()) &&
                            FPlanarScaler->CaptureIsOutput(source);
    if (!asCaptured) TakeCapture(frame);
    SetPos(13);
    SetPos(14);
    SetPos(15);
    if (!asCaptured) Scale(frame, source);
    SetPos(16);
    if (FOverlay) FOverlay->BlendOnto(frame.Data.data(), FOutputStride);
    if (FPlanarOverlay) FPlanarOverlay->BlendOnto(frame.Data.data());
    SetPos(17);
    frame.Processed = true;
    SetPos(18);
}

// The frame's buffer becomes the output, grown without a fill: the scaler writes the whole
// picture, and only the padding needs clearing.
void TVideoProcessor::Scale(TInputFrame& frame, const TPictureRect& source) {
    frame.Data.resize(static_cast<size_t>(GetFrameSize()));
    const bool highQuality = Settings.Processing.HighQualityResize;
    const bool someSource = source.Width() > 0 && source.Height() > 0;
    if (FPlanar) {
        if (!someSource) FPlanarScaler->FillOutputBlack(frame.Data.data());
        FPlanarScaler->Scale(FInputBits.data(), source, highQuality, frame.Data.data());
        return;
    }
    if (someSource) {
        ClearPadding(frame.Data);
    } else {
        std::fill(frame.Data.begin(), frame.Data.end(), uint8_t{0});
    }
    FScaler->Scale(FInputBits.data(), source, highQuality, frame.Data.data());
}

int64_t TVideoProcessor::InputBytes() const {
    return FPlanar ? FPlanarScaler->InputBytes() : FScaler->InputBytes();
}

// Moves the frame's capture into the input bitmap.
void TVideoProcessor::TakeCapture(TInputFrame& frame) {
    const auto inputBytes = static_cast<size_t>(InputBytes());
    if (frame.Data.size() == inputBytes) {
        // A whole capture: keep it as the last one without copying it.
        frame.Data.swap(FInputBits);
        return;
    }
    // A short capture fills only the start of the input bitmap; the rest keeps the last one,
    // black before the first.
    if (FInputBits.size() != inputBytes) {
        FInputBits.resize(inputBytes);
        if (FPlanar) {
            FPlanarScaler->FillInputBlack(FInputBits.data());
        } else {
            std::fill(FInputBits.begin(), FInputBits.end(), uint8_t{0});
        }
    }
    std::copy_n(frame.Data.begin(), std::min(frame.Data.size(), inputBytes), FInputBits.begin());
}

// Black above the picture and right of it: the picture fills the first columns of the last
// rows.
void TVideoProcessor::ClearPadding(TBytes& output) const {
    const size_t stride = static_cast<size_t>(FOutputStride);
    const size_t topRows = static_cast<size_t>(FOutputHeader.biHeight - FPictureHeight);
    std::fill_n(output.begin(), topRows * stride, uint8_t{0});
    const size_t pictureBytes = static_cast<size_t>(FPictureWidth) * 4;
    if (pictureBytes >= stride) return;
    for (size_t row = topRows; row < static_cast<size_t>(FOutputHeader.biHeight); ++row) {
        std::fill_n(output.begin() + row * stride + pictureBytes, stride - pictureBytes,
                    uint8_t{0});
    }
}
