#include "tests/support/private_x_server.h"

#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

// The display number Xvfb wrote on a line of its own, or empty while there is none.
std::string DisplayNumberIn(const std::string& output) {
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.find_first_not_of("0123456789") == std::string::npos) return line;
    }
    return {};
}

}  // namespace

TPrivateXServer::TPrivateXServer(const std::string& logFile) {
    // Xvfb takes a free display itself and writes its number once it accepts connections
    // (-displayfd): two tests starting servers at once never end up sharing one display.
    FServer = std::make_unique<TBackgroundProcess>(
        "Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp", logFile);
    for (int waited = 0; waited < 200; ++waited) {
        const std::string number = DisplayNumberIn(FServer->Output());
        if (!number.empty() && fs::exists("/tmp/.X11-unix/X" + number)) {
            FDisplay = ":" + number;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    FServer.reset();
}
