#include "tests/support/background_process.h"

#include <signal.h>
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>
#include <vector>

#include "tests/support/file_bytes.h"
#include "tests/support/run_command.h"

TBackgroundProcess::TBackgroundProcess(const std::string& command, const std::string& outputFile)
    : FOutputFile(outputFile) {
    const std::string shell = "exec " + command + " >" + Quote(outputFile) + " 2>&1";
    FPid = fork();
    if (FPid == 0) {
        execl("/bin/sh", "sh", "-c", shell.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
}

TBackgroundProcess::~TBackgroundProcess() {
    Stop();
}

int TBackgroundProcess::Wait(int waitMs) {
    if (FPid <= 0) return -1;
    for (int waited = 0; waited <= waitMs; waited += 10) {
        int status = 0;
        if (waitpid(FPid, &status, WNOHANG) == FPid) {
            FPid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        usleep(10000);
    }
    return -1;
}

int TBackgroundProcess::Stop(int waitMs, int signal) {
    if (FPid <= 0) return -1;
    kill(FPid, signal);
    const int status = Wait(waitMs);
    Kill();
    return status;
}

void TBackgroundProcess::Kill() {
    if (FPid <= 0) return;
    kill(FPid, SIGKILL);
    waitpid(FPid, nullptr, 0);
    FPid = -1;
}

bool TBackgroundProcess::WaitForOutput(const std::string& what, size_t times,
                                       std::chrono::seconds limit) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const std::string text = Output();
        size_t count = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            ++count;
        if (count >= times) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

std::string TBackgroundProcess::Output() const {
    return ReadFileText(FOutputFile);
}

double TBackgroundProcess::ThreadCpuSeconds(const std::string& name) const {
    const std::string tasks = "/proc/" + std::to_string(FPid) + "/task";
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
        std::ifstream comm(task.path() / "comm");
        std::string threadName;
        std::getline(comm, threadName);
        if (threadName != name) continue;
        std::ifstream statFile(task.path() / "stat");
        std::string stat;
        std::getline(statFile, stat);
        // Fields after the parenthesised name: state is the 3rd field, utime the 14th.
        std::istringstream fields(stat.substr(stat.rfind(')') + 2));
        std::vector<std::string> values{std::istream_iterator<std::string>(fields), {}};
        if (values.size() < 13) return -1;
        return (std::stod(values[11]) + std::stod(values[12])) / sysconf(_SC_CLK_TCK);
    }
    return -1;
}
