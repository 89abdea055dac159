#pragma once
// A private sound session for tests that need a real device provider: its own runtime folder
// (mode 0700), its own D-Bus session bus, and a PulseAudio server or PipeWire with
// WirePlumber, none of which sees or touches the user's session, config or home. The object
// owns every process it starts: Stop() (and the destructor) resumes, terminates and then kills
// each one's process group within a bounded time, and removes the folder.
//
// Works as root without a login session: PulseAudio only warns that it runs as root in user
// mode; nothing needs systemd or logind.
//
// Clients reach the session through ClientEnvironment(): for a child, put CommandPrefix()
// before its command; in-process, hold a TSessionEnvironment (session_environment.h).

#include <sys/types.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/temp_folder.h"

enum class TSoundServer { PulseAudio, PipeWire };

const char* SoundServerName(TSoundServer kind);

class TSoundSession final {
  public:
    // The PulseAudio server's 440 Hz sources, as device lists show them: one that delivers in
    // small blocks like a microphone, and one (module-sine-source) that delivers 2 s at once.
    // It also has a null sink "s" ("Monitor of Null Output").
    static constexpr const char* PulseToneName = "SessionTone";
    static constexpr const char* PulseSlowToneName = "SessionSlowTone";
    static constexpr int PulseToneHz = 440;

    explicit TSoundSession(TSoundServer kind);
    ~TSoundSession();
    TSoundSession(const TSoundSession&) = delete;
    TSoundSession& operator=(const TSoundSession&) = delete;

    // The programs this kind needs that are not installed, blank-separated; empty when all are.
    static std::string MissingPrograms(TSoundServer kind);

    // Starts the bus and the server and waits (bounded) until the server answers. On false,
    // Error() says why and nothing is left running.
    bool Start();
    void Stop();
    // Kills every process of the session at once and removes its folder, without waiting:
    // for a test program that must end now (another thread may be stuck in a client call).
    void KillNow() const;
    const std::string& Error() const { return FError; }
    TSoundServer Kind() const { return FKind; }

    // What a client of this session needs set (name, value); the user's own bus, runtime
    // folder and PipeWire remote are replaced.
    std::vector<std::pair<std::string, std::string>> ClientEnvironment() const;
    // Variables of the user's session that would lead a client past the private one: a client
    // runs without them.
    static const std::vector<std::string>& UserSessionVariables();
    // "env NAME=value ... " to put before a shell command.
    std::string CommandPrefix() const;
    // Runs a shell command as a client of the session (run_command's merged output).
    struct TResult {
        int ExitCode = -1;
        std::string Output;
    };
    TResult Run(const std::string& command, int timeoutSec = 10) const;

    // PulseAudio: loads a module with pactl; its index, or -1.
    int LoadModule(const std::string& nameAndArguments) const;
    bool UnloadModule(int index) const;

    // PipeWire: a live GStreamer pipeline that provides a node named `description` (one word,
    // letters and digits): a 440 Hz Audio/Source, or a 1280x720 YUY2 Video/Source at 30 fps.
    // Its process id once the node is in the graph (bounded wait), or -1.
    // With PipeWire 0.3.65 and WirePlumber 0.4.13 a pipewiresrc consumer is linked to the
    // camera only when its stream names its media type (stream-properties
    // "props,media.type=Video"; the element a GstDevice creates does not): WirePlumber then
    // links it and frames flow. Without a session bus WirePlumber links nothing. The audio
    // node is listed but delivers no sound to a consumer; record sound from PulseAudio.
    pid_t PublishAudioSource(const std::string& description);
    pid_t PublishCamera(const std::string& description);
    // Ends one publisher (its node leaves the graph); false for a pid this session did not start.
    bool EndProcess(pid_t pid);
    // Waits (bounded) until a node with this description is in the graph, or is gone.
    bool WaitForNode(const std::string& description, bool present, int timeoutMs = 5000) const;

    // Freezes (SIGSTOP) or thaws (SIGCONT) a process of the session, the server by default,
    // as a sound server that stopped answering. Stop() thaws everything before ending it.
    bool Pause(pid_t pid = -1);
    bool Resume(pid_t pid = -1);

    // The sound server's process (pulseaudio or pipewire).
    pid_t ServerPid() const { return FServerPid; }
    // Every process still running that the session started, oldest first.
    std::vector<pid_t> Pids() const;
    // The folder the session's sockets live in (XDG_RUNTIME_DIR of its clients).
    std::string RuntimeFolder() const;
    // Everything the session's processes printed, for failure messages.
    std::string Logs() const;

  private:
    struct TProcess {
        pid_t Pid = -1;
        std::string Name;
        std::string LogFile;
    };
    pid_t Launch(const std::string& name, const std::vector<std::string>& arguments);
    pid_t Publish(const std::string& description, const std::string& mediaClass,
                  const std::string& pipeline);
    bool Running(pid_t pid);
    bool WaitFor(const std::string& command, const std::string& expected, int timeoutMs,
                 pid_t mustLive);
    bool StartBus();
    bool StartPulseAudio();
    bool StartPipeWire();
    std::vector<std::pair<std::string, std::string>> ServerEnvironment() const;
    static void EndGroup(pid_t pid);

    TSoundServer FKind;
    std::unique_ptr<TTempFolder> FFolder;
    std::vector<TProcess> FProcesses;
    pid_t FServerPid = -1;
    std::string FError;
    int FLaunched = 0;
};
