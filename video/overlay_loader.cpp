#include "video/overlay_loader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "settings/log.h"
#include "settings/setting_text.h"
#include "video/bmp_reader.h"
#include "video/jpeg_reader.h"
#include "video/png_reader.h"

namespace {

// A 32-bit 8192 x 8192 BMP with some headroom; anything larger cannot be a usable overlay.
constexpr off_t MaxFileBytes = 300 * 1024 * 1024;

bool IsRegularFile(const struct stat& status) {
    return S_ISREG(status.st_mode);
}

void ReportUnusable(const std::string& fileName, const std::string& why) {
    LogLine("Overlay image " + EscapedText(fileName, MaxPathBytes) + " cannot be used: " + why);
}

std::string ErrorText(int error) {
    char text[256];
    return strerror_r(error, text, sizeof text);
}

// Only a regular file is read: a FIFO would block the reader in open or read, a device
// could be endless. The name is looked at before opening; the descriptor again after, in
// case the name changed in between (opening without blocking, so a FIFO cannot hold it).
std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& fileName) {
    struct stat status {};
    if (stat(fileName.c_str(), &status) != 0) {
        ReportUnusable(fileName, ErrorText(errno));
        return std::nullopt;
    }
    if (!IsRegularFile(status)) {
        LogLine("Overlay image is not a regular file: " + fileName);
        return std::nullopt;
    }
    const int fd = open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        ReportUnusable(fileName, ErrorText(errno));
        return std::nullopt;
    }
    std::optional<std::vector<uint8_t>> bytes;
    if (fstat(fd, &status) != 0 || !IsRegularFile(status)) {
        ReportUnusable(fileName, "it changed while it was opened");
    } else if (status.st_size == 0) {
        ReportUnusable(fileName, "the file is empty");
    } else if (status.st_size > MaxFileBytes) {
        ReportUnusable(fileName, "the file is larger than 300 MB");
    } else {
        bytes.emplace(static_cast<size_t>(status.st_size));
        size_t done = 0;
        while (done < bytes->size()) {
            const ssize_t got = read(fd, bytes->data() + done, bytes->size() - done);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            done += static_cast<size_t>(got);
        }
        if (done != bytes->size()) {
            ReportUnusable(fileName, "the file could not be read whole");
            bytes.reset();
        }
    }
    close(fd);
    return bytes;
}

std::string LowerExtension(const std::string& fileName) {
    size_t dot = fileName.find_last_of("./");
    if (dot == std::string::npos || fileName[dot] != '.') return {};
    std::string extension = fileName.substr(dot);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

template <typename AlphaRule>
void SetAlpha(TBgraImage& image, AlphaRule rule) {
    for (int32_t y = 0; y < image.Height; ++y) {
        uint8_t* pixel = image.Row(y);
        for (int32_t x = 0; x < image.Width; ++x, pixel += 4) pixel[3] = rule(pixel);
    }
}

}  // namespace

std::optional<TBgraImage> LoadOverlayPicture(const uint8_t* data, size_t size, bool jpeg,
                                             const TVideoProcessing& options) {
    std::optional<TBgraImage> image = jpeg ? DecodeJpeg(data, size) : DecodeBmp(data, size);
    if (!image) return std::nullopt;
    const auto alpha = static_cast<uint8_t>(options.OverlayAlpha);
    const uint32_t colour = static_cast<uint32_t>(options.OverlayColor);  // 0x00BBGGRR
    const uint8_t red = colour & 0xFF, green = (colour >> 8) & 0xFF, blue = (colour >> 16) & 0xFF;
    const bool cutColour = options.TransColor;
    SetAlpha(*image, [&](const uint8_t* p) -> uint8_t {
        bool transparent = cutColour && p[0] == blue && p[1] == green && p[2] == red;
        return transparent ? 0 : alpha;
    });
    return image;
}

std::optional<TBgraImage> LoadOverlayPng(const uint8_t* data, size_t size,
                                         const TVideoProcessing& options) {
    std::optional<TPngImage> png = DecodePng(data, size);
    if (!png) return std::nullopt;
    const auto alpha = static_cast<uint8_t>(options.OverlayAlpha);
    const int64_t factor = options.OverlayAlpha;
    switch (png->Transparency) {
        case TPngTransparency::None:
            SetAlpha(png->Image, [&](const uint8_t*) { return alpha; });
            break;
        case TPngTransparency::Colour:
            SetAlpha(png->Image,
                     [&](const uint8_t* p) -> uint8_t { return p[3] == 0 ? 0 : alpha; });
            break;
        case TPngTransparency::Alpha:
            SetAlpha(png->Image,
                     [&](const uint8_t* p) { return static_cast<uint8_t>((p[3] * factor) >> 8); });
            break;
    }
    return std::move(png->Image);
}

std::optional<TBgraImage> LoadOverlayImage(const std::string& fileName,
                                           const TVideoProcessing& options) {
    std::string extension = LowerExtension(fileName);
    bool png = extension == ".png";
    if (!png && extension != ".bmp" && extension != ".jpg") {
        LogLine("Unknown overlay image file type");
        return std::nullopt;
    }
    std::optional<std::vector<uint8_t>> bytes = ReadWholeFile(fileName);
    if (!bytes) return std::nullopt;
    std::optional<TBgraImage> image =
        png ? LoadOverlayPng(bytes->data(), bytes->size(), options)
            : LoadOverlayPicture(bytes->data(), bytes->size(), extension == ".jpg", options);
    // The decoders refuse damaged, truncated and oversized pictures without a word.
    if (!image) ReportUnusable(fileName, "not a picture that can be decoded (" + extension + ")");
    return image;
}
