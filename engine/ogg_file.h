#pragma once
// tOggFile: the Ogg output that records into a local file. Pages from the interleaver are
// gathered in a 16384-byte buffer and reach the disk in whole buffers (the last one of a run
// may be shorter), never page by page.
//
// Threads: Open, Close and destruction run on the owner's thread while no encoder produces.
// WriteData and FlushBuffer run inside WritePages, under the output's queue lock, on whichever
// thread wrote pages.
//
// A file that cannot be created, and a disk write that fails, are logged once with
// "Error writing to file <path>"; the bytes concerned are lost and the run goes on.

#include <sys/types.h>

#include <array>
#include <cstdint>
#include <string>

#include "base/unique_fd.h"
#include "engine/ogg_io_base.h"

class tOggFile : public tOggIOBase {
  public:
    static constexpr int32_t BufferSize = 16384;

    tOggFile() = default;
    // Close(): every page still queued is written.
    ~tOggFile() override;

    // Closes a file already open, then creates fileName for writing, truncating an existing
    // file. False (and a log line) when it cannot be created.
    bool Open(const std::string& fileName);
    bool IsOpen() const { return FFile.Valid(); }

    // Reads from the file handle; the engine never calls it.
    int32_t ReadData(uint8_t* buffer, int32_t size) override;
    // Takes all size bytes into the buffer, writing the buffer whenever it fills up.
    int32_t WriteData(const uint8_t* data, int32_t size) override;
    // Writes what the buffer holds and empties it. Without an open file the bytes are dropped.
    void FlushBuffer();
    // Nothing when no file is open. Otherwise forces every stream's partial page out, writes
    // every queued page in interleaved order, writes the buffer, drops the streams and closes
    // the file.
    void Close();

  protected:
    // One write(2) of the file; tests override it to watch the writes. A derived class that
    // overrides it must Close() in its own destructor.
    virtual ssize_t WriteToDisk(int fileHandle, const uint8_t* data, size_t size);

  private:
    void ReportWriteFailure();

    TUniqueFd FFile;
    std::string FFileName;
    std::array<uint8_t, BufferSize> FBuffer{};
    int32_t FBufferFill = 0;           // bytes held in FBuffer
    int32_t FBufferFree = BufferSize;  // BufferSize - FBufferFill
    bool FWriteFailed = false;         // the current failure has been logged
};
