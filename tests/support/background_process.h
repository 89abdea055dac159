#pragma once
#include <chrono>
#include <csignal>
#include <string>

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
    // Ends the program at once with SIGKILL, as a crash or a power cut would.
    void Kill();
    std::string Output() const;
    // Waits until `what` has appeared `times` times in the output; false after `limit`.
    bool WaitForOutput(const std::string& what, size_t times, std::chrono::seconds limit) const;
    int Pid() const { return FPid; }
    // CPU seconds (user + system) a thread of the program named `name` has used; -1 when
    // there is no such thread.
    double ThreadCpuSeconds(const std::string& name) const;

  private:
    int FPid = -1;
    std::string FOutputFile;
};
