#include "settings/video_mode.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace {

// Beyond any camera; keeps a stored size from overflowing a frame's byte count.
constexpr int MaxSide = 16384;

// A decimal number at the front of `text`, which is advanced past it.
std::optional<int> TakeNumber(std::string_view& text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data()) return std::nullopt;
    text.remove_prefix(static_cast<size_t>(end - text.data()));
    return value;
}

bool TakeChar(std::string_view& text, char c) {
    if (text.empty() || text.front() != c) return false;
    text.remove_prefix(1);
    return true;
}

bool IsFormatName(std::string_view format) {
    return std::all_of(format.begin(), format.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
    });
}

}  // namespace

std::string VideoModeText(const TVideoMode& mode) {
    std::string text = mode.Format.empty() ? "" : mode.Format + " ";
    return text + std::to_string(mode.Width) + "x" + std::to_string(mode.Height) + "@" +
           std::to_string(mode.RateNum) + "/" + std::to_string(mode.RateDen);
}

std::optional<TVideoMode> ParseVideoMode(std::string_view text) {
    TVideoMode mode;
    if (const size_t space = text.find(' '); space != std::string_view::npos) {
        mode.Format = std::string(text.substr(0, space));
        text.remove_prefix(space + 1);
        if (mode.Format.empty() || !IsFormatName(mode.Format)) return std::nullopt;
    }
    const auto width = TakeNumber(text);
    if (!width || !TakeChar(text, 'x')) return std::nullopt;
    const auto height = TakeNumber(text);
    if (!height || !TakeChar(text, '@')) return std::nullopt;
    const auto num = TakeNumber(text);
    std::optional<int> den = 1;
    if (TakeChar(text, '/')) den = TakeNumber(text);
    if (!num || !den || !text.empty()) return std::nullopt;
    if (*width < 1 || *width > MaxSide || *height < 1 || *height > MaxSide) return std::nullopt;
    if (*num < 0 || *den < 1) return std::nullopt;
    mode.Width = *width;
    mode.Height = *height;
    mode.RateNum = *num;
    mode.RateDen = *den;
    return mode;
}

std::optional<TVideoMode> StoredVideoMode(const std::map<std::string, std::string>& modes,
                                          const std::string& device) {
    const auto stored = modes.find(device);
    if (stored == modes.end()) return std::nullopt;
    return ParseVideoMode(stored->second);
}
