#include "video/processing_check.h"

namespace {

std::string ResizeProblem(const TVideoProcessing& options) {
    if (!options.Resize) return {};
    const auto usable = [](int32_t side) { return side >= 1 && side <= MaxPictureSide; };
    if (usable(options.ResizeW) && usable(options.ResizeH)) return {};
    return "Resize: " + std::to_string(options.ResizeW) + "x" + std::to_string(options.ResizeH) +
           " is not a picture size; each side must be 1 to " + std::to_string(MaxPictureSide) +
           " pixels";
}

// One direction of the crop: the two margins must leave at least one pixel of `side`.
std::string CropProblem(int32_t first, int32_t second, int32_t side, const char* names,
                        const char* measure) {
    if (first < 0 || second < 0)
        return std::string("Crop: the ") + names + " crops cannot be negative";
    if (side <= 0 || int64_t{first} + second < side) return {};
    return "Crop: " + std::to_string(first) + " + " + std::to_string(second) + " pixels from " +
           names + " leave nothing of a picture " + std::to_string(side) + " " + measure;
}

}  // namespace

std::string ProcessingProblem(const TVideoProcessing& options, int32_t width, int32_t height) {
    std::string problem = ResizeProblem(options);
    if (!problem.empty() || !options.Crop) return problem;
    problem = CropProblem(options.CropL, options.CropR, width, "left and right", "wide");
    if (!problem.empty()) return problem;
    return CropProblem(options.CropT, options.CropB, height, "top and bottom", "high");
}
