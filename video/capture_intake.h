#pragma once
// Takes a camera frame into the video processor: whatever Y'CbCr form the camera delivers
// (IsYCbCrHeader) becomes I420 in studio swing, in the capture layout, in the same pass that
// copies it out of the capture buffer. A JPEG camera's full range is brought to studio swing
// and a YUY2, UYVY or NV12 frame is rearranged on the way, so no frame is read twice.

#include <cstdint>

#include "video/bitmap_info_header.h"
#include "video/frame_format.h"

class TCaptureIntake final {
  public:
    // header: a Y'CbCr capture (IsYCbCrHeader).
    explicit TCaptureIntake(const TBitmapInfoHeader& header);

    // Bytes of one whole capture in its own form.
    int64_t SourceBytes() const { return FSourceBytes; }
    // Bytes Take writes for a whole capture: CaptureI420Layout's size.
    int64_t OutputBytes() const { return FOutput.Size; }

    // Writes the capture of `size` bytes into output (OutputBytes() of room) and returns the
    // bytes written. An I420 capture shorter than a whole one gives as much as it has (the
    // processor keeps the rest of the last one); a short capture in another form cannot be
    // rearranged and gives 0.
    int64_t Take(const uint8_t* source, int64_t size, uint8_t* output) const;

  private:
    uint32_t FForm;
    int32_t FWidth;
    int32_t FHeight;
    TI420Layout FOutput;
    int64_t FSourceBytes;
};
