#pragma once
// Loads the logo image laid over every video frame and sets each pixel's alpha from the
// processing settings. BMP and JPEG files take the settings' alpha, with the transparent
// colour cut out when TransColor is on; PNG files combine their own transparency with the
// settings' alpha. Called once per run, on the thread that creates the video processor.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "settings/settings.h"
#include "video/bgra_image.h"

// Chooses the decoder by extension (".bmp", ".jpg", ".png", any case). Another extension
// writes "Unknown overlay image file type" to the log; an unreadable or undecodable file gives
// no image without a message.
std::optional<TBgraImage> LoadOverlayImage(const std::string& fileName,
                                           const TVideoProcessing& options);

// The two decoding paths over a file's bytes in memory.
std::optional<TBgraImage> LoadOverlayPicture(const uint8_t* data, size_t size, bool jpeg,
                                             const TVideoProcessing& options);
std::optional<TBgraImage> LoadOverlayPng(const uint8_t* data, size_t size,
                                         const TVideoProcessing& options);
