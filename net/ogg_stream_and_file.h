#pragma once
// tOggStreamAndFile: the output of a broadcast that also records. One encoding feeds both
// media: every page the interleaver writes goes into the file and, without waiting, to the
// server. The two fail on their own: a file whose write failed ends (tOggFile says so) while
// the broadcast goes on, and a lost server leaves the file going. A lost server is not a new
// run: Reconnect starts a new connection that opens with every stream's beginning-of-stream
// and header pages, kept from the start of the run, and goes on with the pages written from
// then on, as a new source must for the server and its listeners. The file stays one
// continuous Ogg stream for the whole run.
//
// Threads: WriteData runs on the encoding threads under the base's page-queue lock; the owner's
// thread calls Reconnect and polls the rest. FStreamLock guards which network stream is
// current; lock order: page-queue lock, then FStreamLock, then the stream's own locks. A page
// the send queue has no room for is dropped for the server (a stalled server is given up
// soon), so the recording never waits on the network.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/ogg_file.h"
#include "engine/ogg_io_base.h"
#include "net/ogg_network_stream.h"

class tOggStreamAndFile final : public tOggIOBase {
  public:
    // Makes each connection's network stream; tests give a shorter drain budget.
    using TStreamMaker = std::function<std::unique_ptr<tOggNetworkStream>()>;
    // Header pages kept at most; a run that never holds writing keeps no more than these.
    static constexpr size_t MaxHeaderPages = 32;

    // `file` is open already (or failed to open and drops what it is given). The first
    // connection starts at once.
    explicit tOggStreamAndFile(std::unique_ptr<tOggFile> file, TStreamMaker makeStream = {});
    ~tOggStreamAndFile() override;

    int32_t ReadData(uint8_t* buffer, int32_t size) override;
    // One page into the file, then offered to the current connection; always size.
    int32_t WriteData(const uint8_t* buffer, int32_t size) override;

    bool Connected() override;
    bool Connecting() override;
    int32_t SendRateKbps() const override;
    // Some connection of this run was let in by the server.
    bool EverAccepted() const override;
    std::string ConnectionProblem() const override;
    // The file lost data, or could not be created: it has ended, the broadcast goes on.
    bool Failed() const override { return FFileMissing || FFile->Failed(); }
    bool Ended() const override { return false; }
    // Replaces the lost connection with a new one, headers first. False until the headers
    // are known.
    bool Reconnect() override;

    void Abort() override;
    // Writes the streams' last pages to both, closes the file, then ends the broadcast within
    // the network stream's drain budget.
    void Close() override;
    void Abandon() override;

  protected:
    // As a file: once an interval has passed, everything queued goes and the buffer is written.
    void WritePagesAfterQueueing() override;
    // Writes every header page at once, so they are known before the first data page.
    void WritingReleased() override;

  private:
    // Only the owner's thread replaces the stream, so there the reference stays good.
    tOggNetworkStream& Stream() const;

    std::unique_ptr<tOggFile> FFile;
    const bool FFileMissing;  // the file was not open when the run began
    TStreamMaker FMakeStream;
    mutable std::mutex FStreamLock;
    std::unique_ptr<tOggNetworkStream> FStream;  // guarded by FStreamLock; never null
    // Written under the page-queue lock until FHeadersKnown turns true, read-only after.
    std::vector<std::vector<uint8_t>> FHeaderPages;
    std::atomic<bool> FHeadersKnown{false};
    std::atomic<bool> FEarlierAccepted{false};  // a replaced connection was let in
    bool FClosed = false;                       // owner's thread only
};
