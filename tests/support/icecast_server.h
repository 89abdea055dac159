#pragma once
// A private Icecast 2 server for tests: a generated configuration in a temporary folder, a
// free port on 127.0.0.1, no directory listing (nothing leaves the machine). The object owns
// the server process: the destructor stops it (SIGTERM, then SIGKILL after a bound) and
// removes the folder. Needs the net library (Base64).
//
// Run as root, the server drops to the unprivileged user "icecast2", which then owns the
// folder; Icecast refuses to run as root otherwise.

#include <sys/types.h>

#include <cstdint>
#include <string>

class tIcecastServer {
  public:
    static constexpr const char* SourceUser = "source";
    static constexpr const char* SourcePassword = "kz-source-secret";
    static constexpr const char* AdminUser = "admin";
    static constexpr const char* AdminPassword = "kz-admin-secret";

    tIcecastServer() = default;
    ~tIcecastServer();
    tIcecastServer(const tIcecastServer&) = delete;
    tIcecastServer& operator=(const tIcecastServer&) = delete;

    // True when the icecast2 program is installed.
    static bool Installed();

    // Before Start: the server keeps a copy of what a source sends to mount in DumpFile().
    void DumpMount(const std::string& mount) { FDumpMount = mount; }
    std::string DumpFile() const { return FFolder + "/dump.ogg"; }

    // Writes the configuration and starts the server; true once it accepts connections
    // (bounded wait). On false, Error() says why and nothing is left running.
    bool Start();
    void Stop();
    // Stops the server and starts a new one on the same port, as a server that went away
    // and came back; true once it accepts connections again.
    bool Restart();

    uint16_t Port() const { return FPort; }
    const std::string& Error() const { return FError; }
    // The server's own error log, for failure messages.
    std::string ErrorLog() const;

    // A plain HTTP/1.0 GET: the whole answer, headers included, up to maxBytes or until
    // nothing arrives for timeoutMs. asAdmin adds the administrator's credentials.
    std::string Get(const std::string& path, size_t maxBytes = 1 << 20, int timeoutMs = 5000,
                    bool asAdmin = false) const;

    // The server statistics (XML), as the administrator sees them.
    std::string Stats() const;

    // Waits (at most timeoutMs) until a source is on the mount, or until none is.
    bool WaitForMount(const std::string& mount, bool present, int timeoutMs = 10000) const;

  private:
    bool MakeFolder();
    bool WriteConfig() const;
    bool Launch();
    bool WaitUntilListening();
    bool Exited();

    std::string FFolder;
    std::string FDumpMount;
    std::string FError;
    uint16_t FPort = 0;
    pid_t FPid = -1;
};
