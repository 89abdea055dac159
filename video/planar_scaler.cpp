#include "video/planar_scaler.h"

#include <libyuv/planar_functions.h>
#include <libyuv/scale.h>

#include <algorithm>
#include <cstring>

namespace {

void FillPlanes(uint8_t* frame, const TI420Layout& layout, int64_t height) {
    std::memset(frame, BlackLuma, static_cast<size_t>(layout.YStride * height));
    std::memset(frame + layout.CbOffset, NeutralChroma,
                static_cast<size_t>(layout.Size - layout.CbOffset));
}

}  // namespace

TPlanarScaler::TPlanarScaler(int32_t inputWidth, int32_t inputHeight, int32_t pictureWidth,
                             int32_t pictureHeight, int32_t frameWidth, int32_t frameHeight)
    : FInputWidth(inputWidth),
      FInputHeight(inputHeight),
      FPictureWidth(pictureWidth),
      FPictureHeight(pictureHeight),
      FFrameWidth(frameWidth),
      FFrameHeight(frameHeight),
      FInput(CaptureI420Layout(inputWidth, inputHeight)),
      FOutput(PackedI420Layout(frameWidth, frameHeight)) {}

bool TPlanarScaler::CaptureIsOutput(const TPictureRect& source) const {
    return FInput == FOutput && source.Left == 0 && source.Top == 0 &&
           source.Width() == FFrameWidth && source.Height() == FFrameHeight &&
           FPictureWidth == FFrameWidth && FPictureHeight == FFrameHeight;
}

void TPlanarScaler::FillOutputBlack(uint8_t* output) const {
    FillPlanes(output, FOutput, FFrameHeight);
}

void TPlanarScaler::FillInputBlack(uint8_t* input) const {
    FillPlanes(input, FInput, (FInputHeight + 1) & ~1);
}

void TPlanarScaler::Scale(const uint8_t* input, const TPictureRect& source, bool highQuality,
                          uint8_t* output) {
    if (source.Width() <= 0 || source.Height() <= 0) return;
    ClearPadding(output);
    // An odd crop edge starts the chroma at the sample that covers it.
    const int64_t chroma = source.Top / 2 * FInput.ChromaStride + source.Left / 2;
    const uint8_t* y = input + source.Top * FInput.YStride + source.Left;
    const uint8_t* cb = input + FInput.CbOffset + chroma;
    const uint8_t* cr = input + FInput.CrOffset + chroma;
    // An odd top row shares its chroma row with the padding above: the scaler writes it.
    const int32_t top = FFrameHeight - FPictureHeight;
    const int64_t outChroma = top / 2 * FOutput.ChromaStride;
    libyuv::I420Scale(
        y, int(FInput.YStride), cb, int(FInput.ChromaStride), cr, int(FInput.ChromaStride),
        source.Width(), source.Height(), output + top * FOutput.YStride, int(FOutput.YStride),
        output + FOutput.CbOffset + outChroma, int(FOutput.ChromaStride),
        output + FOutput.CrOffset + outChroma, int(FOutput.ChromaStride), FPictureWidth,
        FPictureHeight, highQuality ? libyuv::kFilterBox : libyuv::kFilterNone);
}

// Black above the picture and right of it, in all three planes.
void TPlanarScaler::ClearPadding(uint8_t* output) const {
    const int32_t top = FFrameHeight - FPictureHeight;
    const int32_t chromaTop = top / 2;
    const int32_t chromaWidth = FFrameWidth / 2;
    const int32_t pictureChromaWidth = (FPictureWidth + 1) / 2;
    uint8_t* planes[2] = {output + FOutput.CbOffset, output + FOutput.CrOffset};
    if (top > 0) {
        libyuv::SetPlane(output, FFrameWidth, FFrameWidth, top, BlackLuma);
        if (chromaTop > 0) {
            for (uint8_t* plane : planes) {
                libyuv::SetPlane(plane, chromaWidth, chromaWidth, chromaTop, NeutralChroma);
            }
        }
    }
    if (FPictureWidth < FFrameWidth) {
        libyuv::SetPlane(output + int64_t{top} * FFrameWidth + FPictureWidth, FFrameWidth,
                         FFrameWidth - FPictureWidth, FPictureHeight, BlackLuma);
    }
    if (pictureChromaWidth < chromaWidth) {
        for (uint8_t* plane : planes) {
            libyuv::SetPlane(plane + int64_t{chromaTop} * chromaWidth + pictureChromaWidth,
                             chromaWidth, chromaWidth - pictureChromaWidth,
                             FFrameHeight / 2 - chromaTop, NeutralChroma);
        }
    }
}
