#pragma once
// Where the update check asks: a host name (or dotted address) and a port. Packagers set the
// host at build time; the environment variable KZ_UPDATE_HOST ("host" or "host:port")
// overrides it for tests and staging, and an empty value switches the check off.

#include <cstdint>
#include <optional>
#include <string>

struct TUpdateServer {
    std::string Host;
    uint16_t Port = 80;

    // The text of the request's host line: the host, with ":port" when the port is not 80.
    std::string HostLine() const;
    // The vendor's download page on the same server.
    std::string DownloadPage() const;
};

// Parses "host" or "host:port"; nullopt for an empty host or a port outside 1..65535.
std::optional<TUpdateServer> ParseUpdateServer(const std::string& text);

// environment (the variable's value, or nullptr when unset) wins over the built-in host.
std::optional<TUpdateServer> ChooseUpdateServer(const char* environment,
                                                const std::string& builtIn);

// ChooseUpdateServer(getenv("KZ_UPDATE_HOST"), the host this program was built with).
std::optional<TUpdateServer> ConfiguredUpdateServer();
