#include "settings/log.h"

#include <ctime>
#include <mutex>

#include "settings/settings.h"

namespace {

std::mutex LogLock;
std::string PendingLog;  // guarded by LogLock

}  // namespace

std::string FormatLogTime(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    char text[128];
    // %x is the locale's short date, the counterpart of "ddddd". A stamp too long for the
    // buffer yields 0 and an empty stamp rather than undefined text.
    size_t length = std::strftime(text, sizeof text, "%x %H:%M:%S", &local);
    return std::string(text, length);
}

void LogLine(const std::string& message) {
    std::string line = FormatLogTime(std::time(nullptr)) + " " + message + "\r\n";
    std::lock_guard lock(LogLock);
    PendingLog += line;
}

void DebugLine(const std::string& message) {
    if (Settings.DebugMode.load(std::memory_order_relaxed)) LogLine(message);
}

std::string TakeLog() {
    std::string text;
    std::lock_guard lock(LogLock);
    text.swap(PendingLog);
    return text;
}
