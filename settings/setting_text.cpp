#include "settings/setting_text.h"

#include <algorithm>
#include <cstdint>

bool HoldsControlCharacter(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F;
    });
}

namespace {

// Length of the well-formed UTF-8 sequence at text[at], or 0 when it is none (overlong forms,
// surrogates and code points past U+10FFFF included).
size_t Utf8Length(std::string_view text, size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    size_t length = 0;
    uint32_t point = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        point = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        point = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        point = lead & 0x07;
    } else {
        return 0;
    }
    if (at + length > text.size()) return 0;
    for (size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80) return 0;
        point = (point << 6) | (next & 0x3F);
    }
    const bool overlong = (length == 3 && point < 0x800) || (length == 4 && point < 0x10000);
    const bool surrogate = point >= 0xD800 && point <= 0xDFFF;
    const bool control = point >= 0x80 && point <= 0x9F;
    if (overlong || surrogate || control || point > 0x10FFFF) return 0;
    return length;
}

void AppendEscaped(std::string& out, unsigned char byte) {
    static const char Digits[] = "0123456789ABCDEF";
    out += "\\x";
    out += Digits[byte >> 4];
    out += Digits[byte & 0x0F];
}

}  // namespace

std::string EscapedText(std::string_view text, size_t maxBytes) {
    std::string out;
    size_t at = 0;
    while (at < text.size() && at < maxBytes) {
        const auto byte = static_cast<unsigned char>(text[at]);
        if (byte >= 0x20 && byte < 0x7F) {
            out += static_cast<char>(byte);
            ++at;
            continue;
        }
        const size_t length = byte >= 0x80 ? Utf8Length(text, at) : 0;
        if (length == 0) {
            AppendEscaped(out, byte);
            ++at;
        } else {
            out.append(text.substr(at, length));
            at += length;
        }
    }
    if (at < text.size()) out += "...";
    return out;
}
