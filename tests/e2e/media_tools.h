#pragma once
// Runs the real command-line tools (ffprobe, ffmpeg, ogginfo, the headless runner) that the
// end-to-end suites use to judge what the program produced.

#include <csignal>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct TCommandResult {
    int ExitCode = -1;
    std::string Output;  // standard output and standard error, merged
};

TCommandResult RunCommand(const std::string& command);

std::string Quote(const std::string& text);

// A fresh folder below the system's temporary folder, removed with everything in it.
class TTempFolder {
  public:
    TTempFolder();
    ~TTempFolder();
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;
    const std::string& Path() const { return FPath; }
    std::string operator/(const std::string& name) const { return FPath + "/" + name; }

  private:
    std::string FPath;
};

// ffprobe's view of one stream: key=value pairs of -show_streams.
using TStreamInfo = std::map<std::string, std::string>;
std::vector<TStreamInfo> ProbeStreams(const std::string& file);
double ProbeDuration(const std::string& file);

// Every decoded picture as packed RGB, decoded single-threaded (the threaded Theora decoder
// of some ffmpeg builds returns wrong frames now and then).
std::vector<std::vector<uint8_t>> DecodeVideoRgb(const std::string& file, int width, int height);

// The sound as mono 16-bit samples at its own rate.
std::vector<int16_t> DecodeAudioMono(const std::string& file);

// The warnings and errors in an ogginfo report, one per line; empty for a clean file.
std::string OgginfoProblems(const std::string& report);

// A program running beside the test, its output going to a file. Stopping sends SIGINT, as
// an operator's Ctrl+C, and waits a bounded time before killing it.
class TBackgroundProcess {
  public:
    TBackgroundProcess(const std::string& command, const std::string& outputFile);
    ~TBackgroundProcess();
    TBackgroundProcess(const TBackgroundProcess&) = delete;
    TBackgroundProcess& operator=(const TBackgroundProcess&) = delete;

    // Exit status after SIGINT (or the signal given), or -1 when it had to be killed.
    int Stop(int waitMs = 15000, int signal = SIGINT);
    // Waits for the program to end by itself; -1 when it did not within waitMs.
    int Wait(int waitMs);
    std::string Output() const;
    // CPU seconds (user + system) a thread of the program named `name` has used; -1 when
    // there is no such thread.
    double ThreadCpuSeconds(const std::string& name) const;

  private:
    int FPid = -1;
    std::string FOutputFile;
};
