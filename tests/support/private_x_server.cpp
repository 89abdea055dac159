#include "tests/support/private_x_server.h"

#include <chrono>
#include <filesystem>
#include <thread>

namespace fs = std::filesystem;

TPrivateXServer::TPrivateXServer(const std::string& logFile) {
    for (int number = 90; number < 190; ++number) {
        if (fs::exists("/tmp/.X" + std::to_string(number) + "-lock")) continue;
        FDisplay = ":" + std::to_string(number);
        FServer = std::make_unique<TBackgroundProcess>(
            "Xvfb " + FDisplay + " -screen 0 1280x1024x24 -nolisten tcp", logFile);
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
        for (int waited = 0; waited < 100 && !fs::exists(socket); ++waited)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (fs::exists(socket)) return;
        FServer.reset();
    }
    FDisplay.clear();
}
