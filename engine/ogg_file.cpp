#include "engine/ogg_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "settings/log.h"

namespace {

// With maxQueued 0 the span does not matter: everything queued goes, in time order.
constexpr int IntervalSpanMs = 3000;

}  // namespace

tOggFile::~tOggFile() {
    Close();
}

bool tOggFile::Open(const std::string& fileName) {
    Close();
    FFileName = fileName;
    FEnded = false;
    FLostData = false;
    FDiskBytes = 0;
    FCompleteBytes = 0;
    FPageEnds.clear();
    FFile.Reset(open(fileName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    FCreatedByOpen = FFile.Valid();
    if (!FFile.Valid() && errno == EEXIST)
        FFile.Reset(open(fileName.c_str(), O_WRONLY | O_CLOEXEC));
    // Only a regular file has old contents to empty; a device or a pipe takes the writes as
    // they come.
    struct stat info {};
    FEmptyPending =
        FFile.Valid() && !FCreatedByOpen && fstat(FFile.Get(), &info) == 0 && S_ISREG(info.st_mode);
    if (!FFile.Valid()) {
        LogLine("Error writing to file " + fileName);
        return false;
    }
    FBufferFill = 0;
    FBufferFree = BufferSize;
    FNextWrite.store((Now() + WriteIntervalMs).time_since_epoch().count());
    return true;
}

int32_t tOggFile::ReadData(uint8_t* buffer, int32_t size) {
    if (!FFile.Valid() || size <= 0) return 0;
    ssize_t count = read(FFile.Get(), buffer, static_cast<size_t>(size));
    return count > 0 ? static_cast<int32_t>(count) : 0;
}

int32_t tOggFile::WriteData(const uint8_t* data, int32_t size) {
    std::lock_guard lock(FBufferLock);
    // After a failed write nothing more goes in: a later write after the gap would make a file
    // that no player reads past the gap.
    if (FEnded) return size;
    int32_t copied = 0;
    while (copied < size) {
        const int32_t piece = std::min(size - copied, FBufferFree);
        std::memcpy(FBuffer.data() + FBufferFill, data + copied, static_cast<size_t>(piece));
        FBufferFill += piece;
        FBufferFree -= piece;
        copied += piece;
        // Each call brings one whole page: where it ends, a player can stop reading cleanly.
        if (copied == size) FPageEnds.push_back(FBufferFill);
        if (FBufferFill == BufferSize) FlushBufferLocked();
    }
    return copied;
}

void tOggFile::FlushBuffer() {
    std::lock_guard lock(FBufferLock);
    FlushBufferLocked();
}

void tOggFile::FlushBufferLocked() {
    if (FFile.Valid() && !FEnded && FBufferFill > 0 && FEmptyPending) {
        FEmptyPending = false;
        if (ftruncate(FFile.Get(), 0) != 0) EndAtLastPage(0, errno);
    }
    if (FFile.Valid() && !FEnded) {
        size_t written = 0;
        int error = 0;
        const size_t fill = static_cast<size_t>(FBufferFill);
        while (written < fill) {
            ssize_t count = WriteToDisk(FFile.Get(), FBuffer.data() + written, fill - written);
            if (count < 0 && errno == EINTR) continue;
            if (count <= 0) {
                error = count < 0 ? errno : EIO;
                break;
            }
            written += static_cast<size_t>(count);
        }
        if (written < fill) {
            EndAtLastPage(written, error);
        } else {
            if (!FPageEnds.empty()) FCompleteBytes = FDiskBytes + FPageEnds.back();
            FDiskBytes += static_cast<int64_t>(fill);
        }
    }
    FPageEnds.clear();
    FBufferFill = 0;
    FBufferFree = BufferSize;
}

// The file is cut back to the end of the last page that reached the disk whole, so all of it
// plays, and the output ends: nothing more is written to it.
void tOggFile::EndAtLastPage(size_t written, int error) {
    for (int32_t end : FPageEnds) {
        if (static_cast<size_t>(end) <= written) FCompleteBytes = FDiskBytes + end;
    }
    FEnded = true;
    FLostData = true;
    LogLine("Error writing to file " + FFileName);
    char text[256];
    const std::string reason = strerror_r(error, text, sizeof text);
    if (ftruncate(FFile.Get(), FCompleteBytes) != 0) {
        LogLine("Recording ended: " + reason + "; the file could not be cut back to its last " +
                "complete page");
        return;
    }
    LogLine("Recording ended: " + reason + "; the file keeps the " +
            std::to_string(FCompleteBytes) + " bytes written before the error");
}

void tOggFile::Close() {
    if (!FFile.Valid()) return;
    WriteRemainingPages();
    FlushBuffer();
    ClearStreams();
    if (!FFile.Close() && !FEnded) {
        FLostData = true;
        LogLine("Error writing to file " + FFileName);
    }
}

void tOggFile::Abandon() {
    if (!FFile.Valid()) return;
    ClearStreams();
    {
        std::lock_guard lock(FBufferLock);
        FBufferFill = 0;
        FBufferFree = BufferSize;
    }
    FFile.Close();
    if (FCreatedByOpen) unlink(FFileName.c_str());
}

bool tOggFile::IntervalPassed() {
    const auto now = Now().time_since_epoch();
    auto due = FNextWrite.load();
    if (now.count() < due) return false;
    // Of two threads queueing at once, one writes; the other keeps the ordinary rule.
    return FNextWrite.compare_exchange_strong(due, (now + WriteIntervalMs).count());
}

void tOggFile::WritePagesAfterQueueing() {
    if (!FFile.Valid() || !IntervalPassed()) {
        tOggIOBase::WritePagesAfterQueueing();
        return;
    }
    WritePages(0, IntervalSpanMs);
    FlushBuffer();
}

std::chrono::steady_clock::time_point tOggFile::Now() const {
    return std::chrono::steady_clock::now();
}

ssize_t tOggFile::WriteToDisk(int fileHandle, const uint8_t* data, size_t size) {
    return write(fileHandle, data, size);
}
