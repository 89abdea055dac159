#pragma once
// Where the preview sits inside the black panel: as large as fits with two pixels spare,
// keeping the video's aspect ratio, centred. Sizes round to the nearest pixel with halves
// going to the even neighbour, so the same panel always gives the same picture.

#include <optional>

struct TPreviewBounds {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    bool operator==(const TPreviewBounds&) const = default;
};

// Nothing when the video or the panel has no area to show.
std::optional<TPreviewBounds> PlacePreview(int videoWidth, int videoHeight, int clientWidth,
                                           int clientHeight);

// numerator / denominator to the nearest integer, halves to even; both non-negative,
// denominator positive.
long long DivideRoundHalfEven(long long numerator, long long denominator);
