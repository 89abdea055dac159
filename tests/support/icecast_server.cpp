#include "tests/support/icecast_server.h"

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "net/source_request.h"
#include "tests/support/file_bytes.h"
#include "tests/support/loopback_server.h"

extern char** environ;

namespace {

constexpr const char* kProgram = "/usr/bin/icecast2";
constexpr const char* kServerUser = "icecast2";
constexpr int kStartAttempts = 3;
constexpr int kStartWaitMs = 10000;
// Icecast takes over a second to end on its own; the tests need nothing of a clean exit.
constexpr int kStopWaitMs = 200;
constexpr int kPollMs = 50;

using tClock = std::chrono::steady_clock;

bool Before(tClock::time_point deadline) {
    return tClock::now() < deadline;
}

tClock::time_point DeadlineIn(int ms) {
    return tClock::now() + std::chrono::milliseconds(ms);
}

void Pause() {
    std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
}

// Icecast will not run as root; told to, it drops to this user once its socket is bound.
std::string ChangeOwnerSection() {
    if (geteuid() != 0) return "";
    return std::string("    <changeowner><user>") + kServerUser +
           "</user><group>icecast</group></changeowner>\n";
}

}  // namespace

tIcecastServer::~tIcecastServer() {
    Stop();
}

bool tIcecastServer::Installed() {
    return access(kProgram, X_OK) == 0;
}

bool tIcecastServer::MakeFolder() {
    char pattern[] = "/tmp/kz_icecast_XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        FError = "cannot create a temporary folder";
        return false;
    }
    FFolder = pattern;
    if (geteuid() == 0) {
        const passwd* user = getpwnam(kServerUser);
        if (user == nullptr || chown(FFolder.c_str(), user->pw_uid, user->pw_gid) != 0) {
            FError = std::string("running as root needs the user ") + kServerUser;
            return false;
        }
    }
    return true;
}

bool tIcecastServer::WriteConfig() const {
    std::ofstream config(FFolder + "/icecast.xml");
    config
        << "<icecast>\n"
           "  <location>test</location>\n"
           "  <admin>test@localhost</admin>\n"
           "  <limits><clients>16</clients><sources>4</sources><queue-size>1048576</queue-size>\n"
           "    <client-timeout>30</client-timeout><header-timeout>15</header-timeout>\n"
           "    <source-timeout>10</source-timeout><burst-on-connect>1</burst-on-connect>\n"
           "    <burst-size>65535</burst-size></limits>\n"
           "  <authentication>\n"
        << "    <source-password>" << SourcePassword << "</source-password>\n"
        << "    <relay-password>" << SourcePassword << "</relay-password>\n"
        << "    <admin-user>" << AdminUser << "</admin-user>\n"
        << "    <admin-password>" << AdminPassword << "</admin-password>\n"
        << "  </authentication>\n"
           "  <hostname>127.0.0.1</hostname>\n"
        << "  <listen-socket><port>" << FPort
        << "</port><bind-address>127.0.0.1</bind-address></listen-socket>\n"
        << "  <fileserve>1</fileserve>\n"
           "  <paths>\n"
           "    <basedir>/usr/share/icecast2</basedir>\n"
           "    <webroot>/usr/share/icecast2/web</webroot>\n"
           "    <adminroot>/usr/share/icecast2/admin</adminroot>\n"
        << "    <logdir>" << FFolder << "</logdir>\n"
        << "  </paths>\n"
           "  <logging><accesslog>access.log</accesslog><errorlog>error.log</errorlog>\n"
           "    <loglevel>4</loglevel></logging>\n"
           "  <security><chroot>0</chroot>\n"
        << ChangeOwnerSection() << "  </security>\n";
    if (!FDumpMount.empty())
        config << "  <mount type=\"normal\"><mount-name>" << FDumpMount
               << "</mount-name><dump-file>" << DumpFile() << "</dump-file></mount>\n";
    config << "</icecast>\n";
    return static_cast<bool>(config.flush());
}

bool tIcecastServer::Launch() {
    const std::string configPath = FFolder + "/icecast.xml";
    const std::string outputPath = FFolder + "/output.log";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    std::string arg0 = "icecast2", arg1 = "-c", arg2 = configPath;
    char* argv[] = {arg0.data(), arg1.data(), arg2.data(), nullptr};
    const int rc = posix_spawn(&FPid, kProgram, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        FPid = -1;
        FError = std::string("cannot start ") + kProgram;
        return false;
    }
    return true;
}

bool tIcecastServer::Exited() {
    if (FPid <= 0) return true;
    int status = 0;
    if (waitpid(FPid, &status, WNOHANG) != FPid) return false;
    FPid = -1;
    return true;
}

bool tIcecastServer::WaitUntilListening() {
    const auto deadline = DeadlineIn(kStartWaitMs);
    while (Before(deadline)) {
        if (Exited()) {
            FError =
                "icecast2 ended at start: " + ReadFileText(FFolder + "/output.log") + ErrorLog();
            return false;
        }
        if (ConnectTo(FPort).Valid()) return true;
        Pause();
    }
    FError = "icecast2 did not listen in time";
    return false;
}

bool tIcecastServer::Start() {
    Stop();
    for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
        // Another program may take the port between our look and the server's bind: try anew.
        FPort = UnusedPort();
        if (MakeFolder() && WriteConfig() && Launch() && WaitUntilListening()) return true;
        Stop();
    }
    return false;
}

bool tIcecastServer::Restart() {
    const uint16_t port = FPort;
    Stop();
    FPort = port;
    for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
        if (MakeFolder() && WriteConfig() && Launch() && WaitUntilListening()) return true;
        Stop();
        FPort = port;
    }
    return false;
}

void tIcecastServer::Stop() {
    if (FPid > 0) {
        kill(FPid, SIGTERM);
        const auto deadline = DeadlineIn(kStopWaitMs);
        while (!Exited() && Before(deadline)) Pause();
        if (FPid > 0) {
            kill(FPid, SIGKILL);
            waitpid(FPid, nullptr, 0);
            FPid = -1;
        }
    }
    if (!FFolder.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(FFolder, ignored);
        FFolder.clear();
    }
}

std::string tIcecastServer::ErrorLog() const {
    return FFolder.empty() ? "" : ReadFileText(FFolder + "/error.log");
}

std::string tIcecastServer::Get(const std::string& path, size_t maxBytes, int timeoutMs,
                                bool asAdmin) const {
    TUniqueFd connection = ConnectTo(FPort);
    if (!connection.Valid()) return "";
    std::string request = "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n";
    if (asAdmin)
        request +=
            "Authorization: Basic " + Base64(std::string(AdminUser) + ":" + AdminPassword) + "\r\n";
    request += "\r\n";
    if (!SendAll(connection.Get(), request)) return "";
    return ReadAvailable(connection.Get(), maxBytes, timeoutMs);
}

std::string tIcecastServer::Stats() const {
    return Get("/admin/stats", 1 << 20, 5000, true);
}

bool tIcecastServer::WaitForMount(const std::string& mount, bool present, int timeoutMs) const {
    const auto deadline = DeadlineIn(timeoutMs);
    while (Before(deadline)) {
        const bool found = Stats().find("<source mount=\"" + mount + "\"") != std::string::npos;
        if (found == present) return true;
        Pause();
    }
    return false;
}
