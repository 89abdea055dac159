#include "update/update_server.h"

#include <charconv>
#include <cstdlib>

#ifndef KZ_UPDATE_HOST
#define KZ_UPDATE_HOST ""
#endif

std::string TUpdateServer::HostLine() const {
    return Port == 80 ? Host : Host + ":" + std::to_string(Port);
}

std::string TUpdateServer::DownloadPage() const {
    return "http://" + HostLine() + "/zizizada.php";
}

std::optional<TUpdateServer> ParseUpdateServer(const std::string& text) {
    TUpdateServer server;
    const auto colon = text.rfind(':');
    server.Host = text.substr(0, colon);
    if (colon != std::string::npos) {
        const std::string port = text.substr(colon + 1);
        const char* end = port.data() + port.size();
        auto [ptr, ec] = std::from_chars(port.data(), end, server.Port);
        if (ec != std::errc() || ptr != end || server.Port == 0) return std::nullopt;
    }
    if (server.Host.empty()) return std::nullopt;
    return server;
}

std::optional<TUpdateServer> ChooseUpdateServer(const char* environment,
                                                const std::string& builtIn) {
    return ParseUpdateServer(environment != nullptr ? environment : builtIn);
}

std::optional<TUpdateServer> ConfiguredUpdateServer() {
    return ChooseUpdateServer(std::getenv("KZ_UPDATE_HOST"), KZ_UPDATE_HOST);
}
