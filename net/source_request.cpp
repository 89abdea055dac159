#include "net/source_request.h"

#include <cctype>

#include "settings/setting_text.h"
#include "settings/settings.h"

namespace {

constexpr char kCrLf[] = "\r\n";
constexpr std::string_view kAccepted = "HTTP/1.0 200 OK";

void AddLine(std::string& request, std::string_view line) {
    request += line;
    request += kCrLf;
}

// The settings refuse such values when they come in (with a log line); this keeps a value set
// any other way from ending its line early and adding lines of its own.
std::string RequestText(const std::string& value) {
    if (!HoldsControlCharacter(value)) return value;
    std::string kept;
    for (char c : value) {
        if (!HoldsControlCharacter(std::string_view(&c, 1))) kept += c;
    }
    return kept;
}

void AddOptional(std::string& request, std::string_view name, const std::string& value) {
    const std::string text = RequestText(value);
    if (!text.empty()) AddLine(request, std::string(name) + text);
}

}  // namespace

std::string Base64(std::string_view bytes) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t left = bytes.size() - i;
        uint32_t group = static_cast<uint8_t>(bytes[i]) << 16;
        if (left > 1) group |= static_cast<uint8_t>(bytes[i + 1]) << 8;
        if (left > 2) group |= static_cast<uint8_t>(bytes[i + 2]);
        text += kAlphabet[(group >> 18) & 63];
        text += kAlphabet[(group >> 12) & 63];
        text += left > 1 ? kAlphabet[(group >> 6) & 63] : '=';
        text += left > 2 ? kAlphabet[group & 63] : '=';
    }
    return text;
}

std::string SourceRequest(const TSettings& settings) {
    const TIcecastSettings& icecast = settings.Icecast;
    std::string request;
    AddLine(request, "SOURCE " + RequestText(icecast.MountPoint) + " HTTP/1.0");
    AddLine(request, "Authorization: Basic " + Base64(icecast.Username + ":" + icecast.Password));
    AddLine(request, "User-Agent: Kestrova-Ondrelay");
    AddLine(request, "content-type: application/ogg");
    AddOptional(request, "ice-name: ", settings.StreamName);
    AddOptional(request, "ice-genre: ", settings.StreamGenre);
    AddOptional(request, "ice-description: ", settings.StreamDesc);
    AddLine(request, std::string("ice-public: ") + (icecast.YP ? "1" : "0"));
    AddLine(request, "ice-bitrate: " + std::to_string(icecast.Bitrate));
    AddOptional(request, "ice-url: ", settings.StreamURL);
    AddLine(request, "ice-reset: 1");
    request += kCrLf;
    return request;
}

bool SourceReplyAccepted(std::string_view replyLine) {
    if (replyLine.size() < kAccepted.size() || replyLine.size() > MaxReplyLine) return false;
    for (size_t i = 0; i < kAccepted.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(replyLine[i])) != kAccepted[i]) return false;
    }
    return true;
}
