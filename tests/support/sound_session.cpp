#include "tests/support/sound_session.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "tests/support/file_bytes.h"
#include "tests/support/run_command.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using TClock = std::chrono::steady_clock;
using TEnvironment = std::vector<std::pair<std::string, std::string>>;

constexpr int StartWaitMs = 10000;
// Each process gets this long after SIGTERM before its group is killed.
constexpr int EndWaitMs = 1000;
constexpr int PollMs = 50;

// The program's full path, found as the shell finds it; empty when it is not installed.
std::string ProgramPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t at = 0;
    while (at <= folders.size()) {
        const size_t end = std::min(folders.find(':', at), folders.size());
        const std::string candidate = folders.substr(at, end - at) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
        at = end + 1;
    }
    return "";
}

bool ProgramInstalled(const std::string& name) {
    return !ProgramPath(name).empty();
}

// Its own, minimal bus: no service activation, so the bus never starts programs of its own.
std::string BusConfig(const std::string& socket) {
    return "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig>\n"
           "  <type>session</type>\n"
           "  <listen>unix:path=" +
           socket +
           "</listen>\n"
           "  <auth>EXTERNAL</auth>\n"
           "  <policy context=\"default\">\n"
           "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
           "    <allow eavesdrop=\"true\"/>\n"
           "    <allow own=\"*\"/>\n"
           "  </policy>\n"
           "</busconfig>\n";
}

void Sleep(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace

const char* SoundServerName(TSoundServer kind) {
    return kind == TSoundServer::PulseAudio ? "PulseAudio" : "PipeWire";
}

const std::vector<std::string>& TSoundSession::UserSessionVariables() {
    static const std::vector<std::string> names = {"PIPEWIRE_REMOTE", "PULSE_SINK", "PULSE_SOURCE"};
    return names;
}

TSoundSession::TSoundSession(TSoundServer kind) : FKind(kind) {}

TSoundSession::~TSoundSession() {
    Stop();
}

std::string TSoundSession::MissingPrograms(TSoundServer kind) {
    std::vector<std::string> programs = {"dbus-daemon", "gst-launch-1.0"};
    if (kind == TSoundServer::PulseAudio) {
        programs.insert(programs.end(), {"pulseaudio", "pactl"});
    } else {
        programs.insert(programs.end(), {"pipewire", "wireplumber", "pw-cli"});
    }
    std::string missing;
    for (const std::string& program : programs) {
        if (!ProgramInstalled(program)) missing += (missing.empty() ? "" : " ") + program;
    }
    // Asking for the plug-in also brings GStreamer's registry up to date, so that a client's
    // first start is not slowed by a scan of every plug-in.
    const bool pulse = kind == TSoundServer::PulseAudio;
    if (RunCommand(std::string("gst-inspect-1.0 ") + (pulse ? "pulsesrc" : "pipewiresink"), 60)
            .ExitCode != 0)
        missing += (missing.empty() ? "" : " ") +
                   std::string(pulse ? "gstreamer1.0-pulseaudio" : "gstreamer1.0-pipewire");
    return missing;
}

std::string TSoundSession::RuntimeFolder() const {
    return FFolder ? FFolder->Path() + "/runtime" : "";
}

TEnvironment TSoundSession::ClientEnvironment() const {
    const std::string runtime = RuntimeFolder();
    const std::string folder = FFolder ? FFolder->Path() : "";
    return {
        {"XDG_RUNTIME_DIR", runtime},
        {"PIPEWIRE_RUNTIME_DIR", runtime},
        // Without a PulseAudio server in a PipeWire session this names a missing socket, so a
        // PulseAudio client finds nothing rather than the user's server.
        {"PULSE_SERVER", "unix:" + runtime + "/pulse/native"},
        {"PULSE_CLIENTCONFIG", folder + "/client.conf"},
        {"PULSE_COOKIE", folder + "/cookie"},
        {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + runtime + "/bus"},
    };
}

// The servers also get a home and configuration of their own: none of the user's settings,
// and no state left behind in the user's folders.
TEnvironment TSoundSession::ServerEnvironment() const {
    TEnvironment environment = ClientEnvironment();
    const std::string folder = FFolder->Path();
    environment.insert(environment.end(), {{"HOME", folder + "/home"},
                                           {"XDG_CONFIG_HOME", folder + "/config"},
                                           {"XDG_STATE_HOME", folder + "/state"},
                                           {"XDG_DATA_HOME", folder + "/data"},
                                           {"XDG_CACHE_HOME", folder + "/cache"}});
    return environment;
}

std::string TSoundSession::CommandPrefix() const {
    std::string prefix = "env";
    for (const std::string& name : UserSessionVariables()) prefix += " -u " + name;
    for (const auto& [name, value] : ClientEnvironment()) prefix += " " + name + "=" + Quote(value);
    return prefix + " ";
}

TSoundSession::TResult TSoundSession::Run(const std::string& command, int timeoutSec) const {
    const TCommandResult result = RunCommand(CommandPrefix() + command, timeoutSec);
    return {result.ExitCode, result.Output};
}

pid_t TSoundSession::Launch(const std::string& name, const std::vector<std::string>& arguments) {
    const bool server = name != "publisher";
    const TEnvironment overrides = server ? ServerEnvironment() : ClientEnvironment();
    std::set<std::string> replaced(UserSessionVariables().begin(), UserSessionVariables().end());
    for (const auto& entry : overrides) replaced.insert(entry.first);
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        if (replaced.count(text.substr(0, text.find('='))) == 0) environment.push_back(text);
    }
    for (const auto& [variable, value] : overrides) environment.push_back(variable + "=" + value);

    std::vector<char*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = arguments;
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    const std::string logFile = FFolder->File(name + "-" + std::to_string(++FLaunched) + ".log");
    const std::string program = ProgramPath(arguments[0]);
    if (program.empty()) {
        FError = "cannot find " + arguments[0];
        return -1;
    }
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) {
        FError = "cannot start " + arguments[0] + ": " + std::strerror(errno);
        return -1;
    }
    if (pid == 0) {
        // Only async-signal-safe calls until exec. A group of its own, so that Stop() reaches
        // anything the program starts in turn; and it dies with the test program, even one
        // that aborts, so no server outlives a crashed test.
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);
        const int input = open("/dev/null", O_RDONLY);
        const int output = open(logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (input < 0 || output < 0) _exit(127);
        dup2(input, STDIN_FILENO);
        dup2(output, STDOUT_FILENO);
        dup2(output, STDERR_FILENO);
        execve(program.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    FProcesses.push_back({pid, name, logFile});
    return pid;
}

bool TSoundSession::Running(pid_t pid) {
    for (auto it = FProcesses.begin(); it != FProcesses.end(); ++it) {
        if (it->Pid != pid) continue;
        if (waitpid(pid, nullptr, WNOHANG) != pid) return true;
        // Ended by itself: its group may still hold children.
        EndGroup(pid);
        FProcesses.erase(it);
        return false;
    }
    return false;
}

bool TSoundSession::WaitFor(const std::string& command, const std::string& expected, int timeoutMs,
                            pid_t mustLive) {
    const auto deadline = TClock::now() + std::chrono::milliseconds(timeoutMs);
    while (TClock::now() < deadline) {
        if (mustLive > 0 && !Running(mustLive)) {
            FError = "the session's server ended at start:\n" + Logs();
            return false;
        }
        const TResult result = Run(command, 3);
        if (result.ExitCode == 0 && result.Output.find(expected) != std::string::npos) return true;
        Sleep(PollMs * 2);
    }
    FError = "no answer to \"" + command + "\" in time:\n" + Logs();
    return false;
}

bool TSoundSession::StartBus() {
    const std::string config = FFolder->File("bus.conf");
    std::ofstream(config) << BusConfig(RuntimeFolder() + "/bus");
    const pid_t bus = Launch("dbus", {"dbus-daemon", "--config-file=" + config, "--nofork",
                                      "--nopidfile", "--nosyslog"});
    if (bus < 0) return false;
    const auto deadline = TClock::now() + std::chrono::milliseconds(StartWaitMs);
    while (TClock::now() < deadline) {
        if (!Running(bus)) break;
        if (fs::exists(RuntimeFolder() + "/bus")) return true;
        Sleep(PollMs);
    }
    FError = "the session bus did not start:\n" + Logs();
    return false;
}

bool TSoundSession::StartPulseAudio() {
    const std::string socket = RuntimeFolder() + "/pulse/native";
    // Anonymous access on a socket in a 0700 folder: no cookie to share with the clients.
    FServerPid = Launch(
        "pulseaudio",
        {"pulseaudio", "-n", "--daemonize=no", "--system=no", "--exit-idle-time=-1",
         "--use-pid-file=no", "--disable-shm=yes", "--realtime=no", "--high-priority=no",
         "--log-target=stderr",
         "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket,
         "--load=module-null-sink sink_name=s",
         // The tone source re-maps the monitor of a sink a sine plays into: it delivers in
         // small blocks, as a microphone does. module-sine-source delivers in 2 s blocks.
         "--load=module-null-sink sink_name=tonefeed sink_properties=device.description=" +
             std::string(PulseToneName) + "Feed",
         "--load=module-sine sink=tonefeed frequency=" + std::to_string(PulseToneHz),
         "--load=module-remap-source master=tonefeed.monitor source_name=tone "
         "source_properties=device.description=" +
             std::string(PulseToneName),
         "--load=module-sine-source source_name=slowtone frequency=" + std::to_string(PulseToneHz) +
             " source_properties=device.description=" + PulseSlowToneName});
    if (FServerPid < 0) return false;
    return WaitFor("pactl info", "Server Name", StartWaitMs, FServerPid);
}

bool TSoundSession::StartPipeWire() {
    FServerPid = Launch("pipewire", {"pipewire"});
    if (FServerPid < 0 || !WaitFor("pw-cli info 0", "id: 0", StartWaitMs, FServerPid)) return false;
    // The session manager links a consumer to the node it asks for; without it nothing flows.
    const pid_t manager = Launch("wireplumber", {"wireplumber"});
    return manager > 0 && WaitFor("pw-cli ls Client", "WirePlumber", StartWaitMs, manager);
}

bool TSoundSession::Start() {
    Stop();
    FError.clear();
    try {
        FFolder = std::make_unique<TTempFolder>();
    } catch (const std::exception& error) {
        FError = error.what();
        return false;
    }
    const std::string folder = FFolder->Path();
    for (const char* sub :
         {"/runtime", "/runtime/pulse", "/home", "/config", "/state", "/data", "/cache"}) {
        fs::create_directories(folder + sub);
    }
    // XDG_RUNTIME_DIR must belong to the user alone, or the servers refuse it.
    chmod(RuntimeFolder().c_str(), 0700);
    chmod((RuntimeFolder() + "/pulse").c_str(), 0700);
    // A client must never start a server of its own, in this session or the user's.
    std::ofstream(folder + "/client.conf") << "autospawn = no\n";

    const bool started =
        StartBus() && (FKind == TSoundServer::PulseAudio ? StartPulseAudio() : StartPipeWire());
    if (!started) {
        const std::string error = FError;
        Stop();
        FError = error;
    }
    return started;
}

void TSoundSession::EndGroup(pid_t pid) {
    // A frozen process would not act on SIGTERM.
    kill(-pid, SIGCONT);
    kill(-pid, SIGTERM);
    const auto deadline = TClock::now() + std::chrono::milliseconds(EndWaitMs);
    bool ended = false;
    while (!ended && TClock::now() < deadline) {
        const pid_t result = waitpid(pid, nullptr, WNOHANG);
        ended = result == pid || (result < 0 && kill(pid, 0) != 0);
        if (!ended) Sleep(10);
    }
    // Whatever is left of the group (the leader, or what it started) goes now.
    kill(-pid, SIGKILL);
    if (!ended) waitpid(pid, nullptr, 0);
}

void TSoundSession::Stop() {
    // Newest first: publishers and the session manager before the server, the bus last.
    while (!FProcesses.empty()) {
        EndGroup(FProcesses.back().Pid);
        FProcesses.pop_back();
    }
    FServerPid = -1;
    FFolder.reset();
}

void TSoundSession::KillNow() const {
    for (const TProcess& process : FProcesses) kill(-process.Pid, SIGKILL);
    if (FFolder) {
        std::error_code ignored;
        fs::remove_all(FFolder->Path(), ignored);
    }
}

int TSoundSession::LoadModule(const std::string& nameAndArguments) const {
    const TResult result = Run("pactl load-module " + nameAndArguments, 5);
    if (result.ExitCode != 0) return -1;
    return std::atoi(result.Output.c_str());
}

bool TSoundSession::UnloadModule(int index) const {
    return Run("pactl unload-module " + std::to_string(index), 5).ExitCode == 0;
}

bool TSoundSession::WaitForNode(const std::string& description, bool present, int timeoutMs) const {
    const std::string line = "node.description = \"" + description + "\"";
    const auto deadline = TClock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const TResult nodes = Run("pw-cli ls Node", 3);
        if (nodes.ExitCode == 0 && (nodes.Output.find(line) != std::string::npos) == present)
            return true;
        if (TClock::now() > deadline) return false;
        Sleep(PollMs * 2);
    }
}

pid_t TSoundSession::Publish(const std::string& description, const std::string& mediaClass,
                             const std::string& pipeline) {
    std::vector<std::string> arguments = {"gst-launch-1.0", "-q"};
    size_t at = 0;
    while (at < pipeline.size()) {
        const size_t end = pipeline.find(' ', at);
        arguments.push_back(pipeline.substr(at, end - at));
        at = end == std::string::npos ? pipeline.size() : end + 1;
    }
    arguments.push_back("stream-properties=props,media.class=" + mediaClass +
                        ",node.description=" + description);
    const pid_t pid = Launch("publisher", arguments);
    if (pid < 0) return -1;
    if (!WaitForNode(description, true)) {
        FError = "the node " + description + " did not appear:\n" + Logs();
        EndProcess(pid);
        return -1;
    }
    return pid;
}

pid_t TSoundSession::PublishAudioSource(const std::string& description) {
    return Publish(description, "Audio/Source",
                   "audiotestsrc is-live=true freq=440 ! pipewiresink mode=provide");
}

pid_t TSoundSession::PublishCamera(const std::string& description) {
    return Publish(description, "Video/Source",
                   "videotestsrc is-live=true ! "
                   "video/x-raw,format=YUY2,width=1280,height=720,framerate=30/1 ! "
                   "pipewiresink mode=provide");
}

bool TSoundSession::EndProcess(pid_t pid) {
    for (auto it = FProcesses.begin(); it != FProcesses.end(); ++it) {
        if (it->Pid != pid) continue;
        EndGroup(pid);
        FProcesses.erase(it);
        return true;
    }
    return false;
}

bool TSoundSession::Pause(pid_t pid) {
    if (pid < 0) pid = FServerPid;
    return pid > 0 && Running(pid) && kill(pid, SIGSTOP) == 0;
}

bool TSoundSession::Resume(pid_t pid) {
    if (pid < 0) pid = FServerPid;
    return pid > 0 && Running(pid) && kill(pid, SIGCONT) == 0;
}

std::vector<pid_t> TSoundSession::Pids() const {
    std::vector<pid_t> pids;
    for (const TProcess& process : FProcesses) pids.push_back(process.Pid);
    return pids;
}

std::string TSoundSession::Logs() const {
    std::string text;
    for (const TProcess& process : FProcesses) {
        text += "--- " + process.Name + " (" + std::to_string(process.Pid) + "):\n" +
                ReadFileText(process.LogFile);
    }
    return text;
}
