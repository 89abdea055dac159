#pragma once
// tOggFile: the Ogg output that records into a local file. Pages from the interleaver are
// gathered in a 16384-byte buffer and reach the disk in whole buffers, never page by page.
//
// So that a crash, a kill or a power cut costs about a second of a recording rather than
// the pages the interleaver holds plus a buffer that slow streams take seconds to fill, the
// first page queued after WriteIntervalMs have passed writes everything: every queued page in
// time order, then the buffer, part-filled. The pages the interleaver holds back in between
// keep their order; across such a write a page of the other stream may come a little late.
// The write runs on the thread that queued the page, as every other write: no thread or
// timer of its own, and nothing is written while no page comes.
//
// The file is not forced to the disk (no fdatasync): what write(2) has handed over survives a
// crash of the program, and the system writes it out within half a minute. A sync would hold
// both encoders under the queue lock for as long as the medium takes, which is milliseconds on
// a local disk but can be seconds on a slow stick (bench/bench_file_sync.cpp).
//
// Threads: Open, Close and destruction run on the owner's thread while no encoder produces.
// WriteData runs inside WritePages, under the output's queue lock, on whichever thread wrote
// pages; FlushBuffer runs there or on a thread that queued a page. FBufferLock guards the
// buffer; it is taken after the queue lock, never before it.
//
// A file that cannot be created is logged with "Error writing to file <path>"; the bytes
// given are dropped and the run goes on. A disk write that fails (a full disk, a medium gone)
// ends the output for good: the file is cut back to the end of its last complete page, so
// everything before the error plays, the failure and its reason are logged, Failed() turns
// true and every later byte is dropped. No write resumes after a gap.

#include <sys/types.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "base/unique_fd.h"
#include "engine/ogg_io_base.h"

class tOggFile : public tOggIOBase {
  public:
    static constexpr int32_t BufferSize = 16384;
    static constexpr std::chrono::milliseconds WriteIntervalMs{1000};

    tOggFile() = default;
    // Close(): every page still queued is written.
    ~tOggFile() override;

    // Closes a file already open, then opens fileName for writing, creating it when absent.
    // An existing file is emptied only by the first write, so a run whose start fails leaves
    // it as it was (Abandon). False (and a log line) when it cannot be opened.
    bool Open(const std::string& fileName);
    bool IsOpen() const { return FFile.Valid(); }

    // Reads from the file handle; the engine never calls it.
    int32_t ReadData(uint8_t* buffer, int32_t size) override;
    // Takes all size bytes into the buffer, writing the buffer whenever it fills up.
    int32_t WriteData(const uint8_t* data, int32_t size) override;
    // Writes what the buffer holds and empties it. Without an open file the bytes are dropped.
    // Not while the caller holds FBufferLock.
    void FlushBuffer();
    // Nothing when no file is open. Otherwise forces every stream's partial page out, writes
    // every queued page in interleaved order, writes the buffer, drops the streams and closes
    // the file.
    void Close() override;
    // Closes without writing anything; a file that Open created is removed again.
    void Abandon() override;
    // A write to the disk failed: the output has ended.
    bool Failed() const override { return FLostData.load(); }
    // True for one caller once WriteIntervalMs has passed since Open or the last such call;
    // starts the next interval. An owner that feeds WriteData itself writes out then.
    bool IntervalPassed();

  protected:
    // One write(2) of the file; tests override it to watch the writes. A derived class that
    // overrides it must Close() in its own destructor.
    virtual ssize_t WriteToDisk(int fileHandle, const uint8_t* data, size_t size);
    // The clock of the interval writes; tests step it by hand.
    virtual std::chrono::steady_clock::time_point Now() const;
    // The interleaver's rule, or once an interval has passed, everything.
    void WritePagesAfterQueueing() override;

  private:
    void FlushBufferLocked();
    void EndAtLastPage(size_t written, int error);

    TUniqueFd FFile;
    std::string FFileName;
    std::mutex FBufferLock;
    std::array<uint8_t, BufferSize> FBuffer{};  // guarded by FBufferLock, as the fields below
    int32_t FBufferFill = 0;                    // bytes held in FBuffer
    int32_t FBufferFree = BufferSize;           // BufferSize - FBufferFill
    std::vector<int32_t> FPageEnds;             // where pages end in FBuffer
    int64_t FDiskBytes = 0;                     // bytes of the file written whole
    int64_t FCompleteBytes = 0;                 // of those, up to the end of the last page
    bool FEnded = false;                        // a write failed: nothing more is written
    // A write or the close failed since Open; the owner polls it while the encoders write.
    std::atomic<bool> FLostData{false};
    bool FEmptyPending = false;   // the old contents go at the first write
    bool FCreatedByOpen = false;  // the file did not exist before Open
    // When the next interval write is due, steady clock nanoseconds; taken by one thread.
    std::atomic<std::chrono::steady_clock::rep> FNextWrite{0};
};
