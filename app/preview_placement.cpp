#include "app/preview_placement.h"

long long DivideRoundHalfEven(long long numerator, long long denominator) {
    const long long quotient = numerator / denominator;
    const long long twiceRemainder = 2 * (numerator % denominator);
    if (twiceRemainder > denominator) return quotient + 1;
    if (twiceRemainder == denominator) return quotient + (quotient % 2);
    return quotient;
}

std::optional<TPreviewBounds> PlacePreview(int videoWidth, int videoHeight, int clientWidth,
                                           int clientHeight) {
    const long long spareWidth = clientWidth - 2;
    const long long spareHeight = clientHeight - 2;
    if (videoWidth <= 0 || videoHeight <= 0 || spareWidth <= 0 || spareHeight <= 0)
        return std::nullopt;
    // Exact integer arithmetic: h / w x W in floating point can land a hair beside a half.
    long long width = spareWidth;
    long long height = DivideRoundHalfEven(videoHeight * width, videoWidth);
    if (height > spareHeight) {
        height = spareHeight;
        width = DivideRoundHalfEven(videoWidth * height, videoHeight);
    }
    TPreviewBounds bounds;
    bounds.Width = static_cast<int>(width);
    bounds.Height = static_cast<int>(height);
    bounds.Left = static_cast<int>(spareWidth / 2 + 1 - width / 2);
    bounds.Top = static_cast<int>(spareHeight / 2 + 1 - height / 2);
    return bounds;
}
