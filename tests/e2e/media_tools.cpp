#include "media_tools.h"

#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

TCommandResult RunCommand(const std::string& command) {
    TCommandResult result;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return result;
    char buffer[65536];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.Output.append(buffer, got);
    const int status = pclose(pipe);
    result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

TTempFolder::TTempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kz-e2e-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    FPath = pattern;
}

TTempFolder::~TTempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(FPath, ignored);
}

std::vector<TStreamInfo> ProbeStreams(const std::string& file) {
    const auto probe = RunCommand("ffprobe -v error -show_streams -of default=nw=0 " + Quote(file));
    std::vector<TStreamInfo> streams;
    std::istringstream lines(probe.Output);
    for (std::string line; std::getline(lines, line);) {
        if (line == "[STREAM]") streams.emplace_back();
        const auto eq = line.find('=');
        if (!streams.empty() && eq != std::string::npos)
            streams.back()[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return streams;
}

double ProbeDuration(const std::string& file) {
    const auto probe =
        RunCommand("ffprobe -v error -show_entries format=duration -of csv=p=0 " + Quote(file));
    return std::atof(probe.Output.c_str());
}

std::vector<std::vector<uint8_t>> DecodeVideoRgb(const std::string& file, int width, int height) {
    const std::string raw = file + ".rgb";
    RunCommand("ffmpeg -v error -y -threads 1 -i " + Quote(file) +
               " -an -f rawvideo -pix_fmt rgb24 " + Quote(raw));
    std::vector<std::vector<uint8_t>> frames;
    FILE* in = fopen(raw.c_str(), "rb");
    if (!in) return frames;
    const size_t frameBytes = static_cast<size_t>(width) * height * 3;
    std::vector<uint8_t> frame(frameBytes);
    while (fread(frame.data(), 1, frameBytes, in) == frameBytes) frames.push_back(frame);
    fclose(in);
    std::remove(raw.c_str());
    return frames;
}

std::vector<int16_t> DecodeAudioMono(const std::string& file) {
    const std::string raw = file + ".pcm";
    RunCommand("ffmpeg -v error -y -i " + Quote(file) + " -vn -ac 1 -f s16le " + Quote(raw));
    std::vector<int16_t> samples;
    FILE* in = fopen(raw.c_str(), "rb");
    if (!in) return samples;
    int16_t block[4096];
    size_t got;
    while ((got = fread(block, 2, 4096, in)) > 0) samples.insert(samples.end(), block, block + got);
    fclose(in);
    std::remove(raw.c_str());
    return samples;
}

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
    if (FPid > 0) {
        kill(FPid, SIGKILL);
        waitpid(FPid, nullptr, 0);
        FPid = -1;
    }
    return status;
}

std::string TBackgroundProcess::Output() const {
    FILE* in = fopen(FOutputFile.c_str(), "rb");
    if (!in) return "";
    std::string text;
    char buffer[65536];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, in)) > 0) text.append(buffer, got);
    fclose(in);
    return text;
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

std::string OgginfoProblems(const std::string& report) {
    std::istringstream lines(report);
    std::string problems;
    for (std::string line; std::getline(lines, line);) {
        const bool remark = line.find("WARNING") != std::string::npos ||
                            line.find("ERROR") != std::string::npos ||
                            line.find("rror") != std::string::npos;
        if (remark) problems += line + "\n";
    }
    return problems;
}
