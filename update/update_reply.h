#pragma once
// The update exchange as text: the request the check sends, the versions a reply announces,
// and the notice each newer version gives the window. Plain functions, no I/O.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "update/update_server.h"

// What the window is told: the newer version as a whole number and hundredths (2.14 is 2 and
// 14), the form in which it travels to the window's thread.
struct TUpdateNotice {
    int32_t Major = 0;
    int32_t Minor = 0;
    bool operator==(const TUpdateNotice&) const = default;
};

// Versions closer than this count as the same.
inline constexpr double kVersionTolerance = 0.001;

// "GET /updateversion.php HTTP/1.1", host and connection lines, an empty line; CR LF each.
std::string UpdateRequest(const TUpdateServer& server);

// The value of every version header of a redirect reply, in order; nothing when the reply
// has fewer than two lines or its status line holds no "302". A value that does not parse
// as a number is 0.
std::vector<double> AnnouncedVersions(std::string_view reply);

// The notice for an announced version, or nullopt when it is not newer than current (or too
// large to pass on).
std::optional<TUpdateNotice> NoticeFor(double announced, double current);

// The one notice a reply gives: for the highest version it announces that is newer than
// current, whatever the order and number of its version headers; nullopt when none is.
std::optional<TUpdateNotice> NewestNoticeInReply(std::string_view reply, double current);

// The version as the prompt shows it: three decimals with trailing zeros dropped, so 2 and 14
// give "2.14", 1 and 50 give "1.5", 3 and 0 give "3.".
std::string UpdateVersionText(const TUpdateNotice& notice);

// The question the window asks.
std::string UpdatePromptText(const TUpdateNotice& notice);

// This program's version as the check compares it: major "." minor read as a number, so 1.5
// and 1.50 are the same and minor 12 gives 1.12.
double ProgramVersion();
double VersionFromParts(int major, int minor);
