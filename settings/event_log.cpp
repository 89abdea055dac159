#include "settings/event_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <utility>

#include "base/timed_lock.h"
#include "base/unique_fd.h"
#include "settings/event_log_folder.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr auto MutexWait = 1000ms;
constexpr int32_t MaxRecordsPerFile = 10001;
// Name clashes only happen when files are opened within one second; a few suffixes suffice.
constexpr int MaxNameAttempts = 1000;

struct TEventLogState {
    bool Started = false;
    std::string Folder;       // ends with '/'
    std::string ProgramName;  // the program's file name, for file names and records
    TUniqueFd File;
    int32_t Lines = 0;     // records written to File
    std::string FilePath;  // the file written last
};

TTimedLock EventLogMutex;
TEventLogState State;  // guarded by EventLogMutex

std::string FormatUtc(std::time_t when, const char* pattern) {
    std::tm utc{};
    gmtime_r(&when, &utc);
    char text[64];
    size_t length = std::strftime(text, sizeof text, pattern, &utc);
    return std::string(text, length);
}

void CloseFile() {
    State.File.Reset();
    State.Lines = 0;
}

// Never replaces an existing file: two files opened within the same second would otherwise
// share one name and the later would wipe the records of the earlier.
void OpenFile() {
    if (State.Folder.empty()) return;
    std::string stem =
        State.Folder + State.ProgramName + " " + FormatUtc(std::time(nullptr), "%Y-%m-%d %H-%M-%S");
    for (int attempt = 1; attempt <= MaxNameAttempts; ++attempt) {
        std::string path =
            stem + (attempt == 1 ? "" : " (" + std::to_string(attempt) + ")") + ".log";
        TUniqueFd file(open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
        if (file.Valid()) {
            State.File = std::move(file);
            State.Lines = 0;
            State.FilePath = path;
            return;
        }
        if (errno != EEXIST) return;
    }
}

bool WriteAll(int file, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t written = write(file, data.data() + done, data.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        done += static_cast<size_t>(written);
    }
    return true;
}

std::string FormatRecord(uint16_t code, const std::string& text) {
    // One clock reading for both fields, so a record written at midnight cannot carry the
    // new day's date with the old day's time.
    std::time_t now = std::time(nullptr);
    return "\"" + FormatUtc(now, "%d-%m-%Y") + "\",\"" + FormatUtc(now, "%H:%M:%S") + "\"," +
           std::to_string(code) + ",\"" + text + "\"\r\n";
}

void WriteEventLocked(uint16_t code, const std::string& text) {
    if (!State.Started) return;
    if (State.Lines >= MaxRecordsPerFile) CloseFile();
    if (!State.File.Valid()) OpenFile();
    if (!State.File.Valid()) return;
    // write() hands the record to the system at once: it survives a crash of the program.
    const int file = State.File.Get();
    const off_t start = lseek(file, 0, SEEK_CUR);
    if (WriteAll(file, FormatRecord(code, text))) {
        State.Lines++;
    } else if (start >= 0) {
        // A record cut short (disk full, file size limit) is taken back whole, so the next
        // record does not continue its line.
        if (ftruncate(file, start) == 0) (void)lseek(file, start, SEEK_SET);
    }
}

}  // namespace

void EventLogStart(const std::string& programPath) {
    std::unique_lock lock(EventLogMutex, MutexWait);
    if (!lock) return;
    CloseFile();
    State.Folder = ChooseEventLogFolder(programPath);
    State.ProgramName = fs::path(programPath).filename().string();
    State.FilePath.clear();
    State.Started = true;
    WriteEventLocked(100, "Feed " + State.ProgramName + " started");
}

void EventLogEnd() {
    std::unique_lock lock(EventLogMutex, MutexWait);
    if (!lock) return;
    WriteEventLocked(101, "Feed " + State.ProgramName + " stopped");
    CloseFile();
    State.Started = false;
}

void WriteEvent(uint16_t code, const std::string& text) {
    std::unique_lock lock(EventLogMutex, MutexWait);
    if (!lock) return;  // the record is lost
    WriteEventLocked(code, text);
}

std::string EventLogFilePath() {
    std::unique_lock lock(EventLogMutex, MutexWait);
    return lock ? State.FilePath : std::string();
}

std::string EventLogFolder() {
    std::unique_lock lock(EventLogMutex, MutexWait);
    return lock ? State.Folder : std::string();
}
