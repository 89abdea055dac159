#include "engine/ogg_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "settings/log.h"

namespace {

// With maxQueued 0 the span does not matter: everything queued goes, in time order.
constexpr int CloseSpanMs = 3000;

}  // namespace

tOggFile::~tOggFile() {
    Close();
}

bool tOggFile::Open(const std::string& fileName) {
    Close();
    FFileName = fileName;
    FWriteFailed = false;
    FLostData = false;
    FFile.Reset(open(fileName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    FCreatedByOpen = FFile.Valid();
    if (!FFile.Valid() && errno == EEXIST)
        FFile.Reset(open(fileName.c_str(), O_WRONLY | O_CLOEXEC));
    FEmptyPending = FFile.Valid() && !FCreatedByOpen;
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
    int32_t copied = 0;
    while (copied < size) {
        const int32_t piece = std::min(size - copied, FBufferFree);
        std::memcpy(FBuffer.data() + FBufferFill, data + copied, static_cast<size_t>(piece));
        FBufferFill += piece;
        FBufferFree -= piece;
        copied += piece;
        if (FBufferFill == BufferSize) FlushBufferLocked();
    }
    return copied;
}

void tOggFile::FlushBuffer() {
    std::lock_guard lock(FBufferLock);
    FlushBufferLocked();
}

void tOggFile::FlushBufferLocked() {
    if (FFile.Valid() && FBufferFill > 0 && FEmptyPending) {
        FEmptyPending = false;
        if (ftruncate(FFile.Get(), 0) != 0) ReportWriteFailure();
    }
    if (FFile.Valid()) {
        size_t written = 0;
        const size_t fill = static_cast<size_t>(FBufferFill);
        while (written < fill) {
            ssize_t count = WriteToDisk(FFile.Get(), FBuffer.data() + written, fill - written);
            if (count < 0 && errno == EINTR) continue;
            if (count <= 0) break;
            written += static_cast<size_t>(count);
        }
        if (written < fill) {
            ReportWriteFailure();
        } else {
            FWriteFailed = false;
        }
    }
    FBufferFill = 0;
    FBufferFree = BufferSize;
}

void tOggFile::Close() {
    if (!FFile.Valid()) return;
    for (int index = 0; index < StreamCount(); ++index) FlushStream(index);
    WritePages(0, CloseSpanMs);
    FlushBuffer();
    ClearStreams();
    if (!FFile.Close()) ReportWriteFailure();
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
    WritePages(0, CloseSpanMs);
    FlushBuffer();
}

std::chrono::steady_clock::time_point tOggFile::Now() const {
    return std::chrono::steady_clock::now();
}

ssize_t tOggFile::WriteToDisk(int fileHandle, const uint8_t* data, size_t size) {
    return write(fileHandle, data, size);
}

void tOggFile::ReportWriteFailure() {
    // Once per run of failures: a full disk must not flood the log every 16 KiB.
    if (!FWriteFailed) LogLine("Error writing to file " + FFileName);
    FWriteFailed = true;
    FLostData = true;
}
