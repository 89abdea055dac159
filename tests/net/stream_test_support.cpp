#include "tests/net/stream_test_support.h"

#include <chrono>
#include <thread>

#include "settings/log.h"
#include "settings/settings.h"

void AimAt(uint16_t port, const std::string& password) {
    Settings.DebugMode = true;
    Settings.Icecast.Server = "127.0.0.1";
    Settings.Icecast.Port = port;
    Settings.Icecast.Username = "source";
    Settings.Icecast.Password = password;
    Settings.Icecast.MountPoint = "/live.ogg";
    Settings.Icecast.Bitrate = 128;
    Settings.Icecast.YP = false;
    Settings.StreamName.clear();
    Settings.StreamGenre.clear();
    Settings.StreamDesc.clear();
    Settings.StreamURL.clear();
    TakeLog();
}

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

bool InOrder(const std::string& text, std::initializer_list<std::string> parts) {
    size_t at = 0;
    for (const std::string& part : parts) {
        at = text.find(part, at);
        if (at == std::string::npos) return false;
        at += part.size();
    }
    return true;
}
