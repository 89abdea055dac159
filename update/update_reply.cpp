#include "update/update_reply.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>

#ifndef KZ_VERSION_MAJOR
#define KZ_VERSION_MAJOR 0
#define KZ_VERSION_MINOR 0
#endif

namespace {

constexpr std::string_view kVersionHeader = "X-ZIZIZADA-VERSION";

bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// Lines split at CR, LF or CR LF.
std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != '\r' && text[i] != '\n') continue;
        lines.push_back(text.substr(start, i - start));
        if (i + 1 < text.size() && text[i] == '\r' && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    return lines;
}

bool StartsWithNoCase(std::string_view text, std::string_view upperPrefix) {
    return text.size() >= upperPrefix.size() &&
           std::equal(upperPrefix.begin(), upperPrefix.end(), text.begin(), [](char u, char c) {
               return u == std::toupper(static_cast<unsigned char>(c));
           });
}

bool HasRedirectStatus(std::string_view statusLine) {
    return statusLine.find("302") != std::string_view::npos;
}

// A number with '.' as decimal separator, whatever the locale; anything else is 0.
double ParseVersion(std::string_view text) {
    text = Trim(text);
    double value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || !std::isfinite(value)) return 0;
    return value;
}

// The value of a version header line, or nullopt for another line. The value is what follows
// the name and its colon, so "X-Zizizada-Version:2.14" (no blank) reads as 2.14 too.
std::optional<double> VersionHeaderValue(std::string_view line) {
    if (!StartsWithNoCase(line, kVersionHeader)) return std::nullopt;
    std::string_view rest = line.substr(kVersionHeader.size());
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
    if (rest.empty() || rest.front() != ':') return std::nullopt;
    return ParseVersion(rest.substr(1));
}

}  // namespace

std::string UpdateRequest(const TUpdateServer& server) {
    return "GET /updateversion.php HTTP/1.1\r\n"
           "host: " +
           server.HostLine() +
           "\r\n"
           "connection: close\r\n"
           "\r\n";
}

std::vector<double> AnnouncedVersions(std::string_view reply) {
    const std::vector<std::string_view> lines = SplitLines(Trim(reply));
    if (lines.size() < 2 || !HasRedirectStatus(lines.front())) return {};
    std::vector<double> versions;
    for (size_t i = 1; i < lines.size(); ++i) {
        if (const auto value = VersionHeaderValue(lines[i])) versions.push_back(*value);
    }
    return versions;
}

std::optional<TUpdateNotice> NoticeFor(double announced, double current) {
    if (std::fabs(current - announced) <= kVersionTolerance || announced <= current)
        return std::nullopt;
    if (announced >= std::numeric_limits<int32_t>::max()) return std::nullopt;
    const double major = std::trunc(announced);
    // 1.15 - 1 is 0.1499999...: without the allowance its hundredths would read 14.
    const double hundredths = std::trunc((announced - major) * 100 + 1e-6);
    return TUpdateNotice{static_cast<int32_t>(major), static_cast<int32_t>(hundredths)};
}

std::optional<TUpdateNotice> NewestNoticeInReply(std::string_view reply, double current) {
    std::optional<TUpdateNotice> newest;
    double newestVersion = current;
    for (double version : AnnouncedVersions(reply)) {
        if (version <= newestVersion) continue;
        // A version too large to pass on leaves the highest one that can be.
        if (const auto notice = NoticeFor(version, current)) {
            newest = notice;
            newestVersion = version;
        }
    }
    return newest;
}

std::string UpdateVersionText(const TUpdateNotice& notice) {
    const double version = notice.Major + notice.Minor / 100.0;
    // to_chars, unlike printf, writes '.' whatever the locale says.
    char text[64];
    const auto [end, ec] =
        std::to_chars(text, text + sizeof text, version, std::chars_format::fixed, 3);
    std::string result(text, ec == std::errc() ? end : text);
    while (!result.empty() && result.back() == '0') result.pop_back();
    return result;
}

std::string UpdatePromptText(const TUpdateNotice& notice) {
    return "There is a newer version of Ondrelay available (V" + UpdateVersionText(notice) +
           ").  Would you like to download it?";
}

double VersionFromParts(int major, int minor) {
    return ParseVersion(std::to_string(major) + "." + std::to_string(minor));
}

double ProgramVersion() {
    return VersionFromParts(KZ_VERSION_MAJOR, KZ_VERSION_MINOR);
}
