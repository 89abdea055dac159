#pragma once
// tOggIOBase: the common base of the Ogg outputs (tOggFile, tOggNetworkStream). It holds the
// logical streams of one physical Ogg stream, pages the packets the encoders submit with
// libogg, keeps finished pages in one queue per stream and writes them out interleaved in
// time order through the subclass's WriteData.
//
// Threads: each logical stream has exactly one producing thread, which alone calls
// SubmitPacket, FlushStream and PendingPackets for that stream index (the Vorbis encoder on the
// live encoder's thread, the Theora encoder on its worker). QueuePage and WritePages may be
// called from any thread. AddStream and ClearStreams run only while no producer is running.
// The page queues are guarded by one mutex, FQueueLock; WriteData runs under it. A wait for
// the lock is bounded (60000 ms); when it runs out the call fails without touching any queue.
//
// Interleaving: a beginning-of-stream page leaves as soon as it is at the head of its queue,
// before anything else; otherwise pages leave in the order of their stream times (ties go
// to the stream with the higher index), held back until some stream has more than maxQueued
// pages queued or its queue spans at least maxSpanMs of stream time.
//
// Subclasses that must write what is queued when they go (tOggFile) do so in their own
// destructor, while their WriteData still exists.

#include <ogg/ogg.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/timed_lock.h"
#include "engine/library_binder.h"

// Turns a page granule position into stream time in seconds; object is the encoder that
// gave the callback with its packet.
using TGranuleTimeFunc = double (*)(void* object, ogg_int64_t granulePos);

// One queued page, owned by its stream's queue.
struct tOggPageData {
    std::unique_ptr<uint8_t[]> FPageData;  // page header followed by page body, as sent
    int32_t FPageSize = 0;                 // header length + body length, bytes
    double FPageTime = 0.0;                // stream time, seconds (0 without a time callback)
    bool FIsBOS = false;                   // carries the beginning-of-stream flag
};

// One logical stream. Owns its libogg state, which is cleared when the stream goes.
struct tOggStreamData {
    tOggStreamData() = default;
    ~tOggStreamData();
    tOggStreamData(const tOggStreamData&) = delete;
    tOggStreamData& operator=(const tOggStreamData&) = delete;

    ogg_stream_state FStreamState{};       // producer thread only
    bool FStateReady = false;              // ogg_stream_init succeeded
    TGranuleTimeFunc FTimeFunc = nullptr;  // producer thread only; from the last SubmitPacket
    void* FTimeObject = nullptr;
    ogg_int64_t FLastGranule = 0;     // producer thread only; last valid page granule position
    int32_t FPendingPackets = 0;      // producer thread only; packets in since the last page
    std::deque<tOggPageData> FPages;  // guarded by the owner's FQueueLock; oldest first
};

class tOggIOBase {
  public:
    // Binds libogg; without it no stream can be added (OggReady() is false).
    tOggIOBase();
    virtual ~tOggIOBase();
    tOggIOBase(const tOggIOBase&) = delete;
    tOggIOBase& operator=(const tOggIOBase&) = delete;

    // Reads up to size bytes from the medium; returns the count read. Nothing in the engine
    // calls it.
    virtual int32_t ReadData(uint8_t* buffer, int32_t size) = 0;
    // The only way pages leave: returns the count accepted. A count other than size leaves the
    // page queued for a later WritePages. Called under FQueueLock, on whichever thread writes
    // pages: it may take locks of its own (taken after FQueueLock, never before it) but must
    // not call back into this object.
    virtual int32_t WriteData(const uint8_t* buffer, int32_t size) = 0;

    // False only when a network output has lost its server (a file is always connected).
    // The owner's thread polls these two while the encoders write.
    virtual bool Connected() { return true; }
    // True while a network output is still waiting to be let in by its server (connecting, or
    // awaiting the answer to its request); always false for a file.
    virtual bool Connecting() { return false; }
    // The rate at which bytes leave for the server, kbit/s; 0 for a file.
    virtual int32_t SendRateKbps() const { return 0; }

    bool OggReady() const { return FOggUse.Ready(); }

    // A run is stopping: every write waiting on the medium, and every later one, gives up
    // within the output's stop bound (a network stream: its drain budget), so no stop waits on
    // a peer for longer. Outputs that never wait on a peer (a file) keep writing.
    virtual void Abort() {}
    // Writes out what is still queued, the streams' last pages included, and lets go of the
    // medium; a network stream sends it within the same bound.
    virtual void Close() {}
    // For a run whose start failed: drops what is queued and leaves the medium as it was
    // before the output was made (a file keeps its old contents).
    virtual void Abandon() {}
    // True once the output has lost data it was given (logged by the output).
    virtual bool Failed() const { return false; }
    // True once the output's bytes were let through to where they go at least once: a network
    // output accepted by its server. Always true for a file.
    virtual bool EverAccepted() const { return true; }
    // Why a network output is not connected, in a few words; empty for a file.
    virtual std::string ConnectionProblem() const { return {}; }
    // The output has nothing left to write to, so the run is over: a failed file. An output
    // with a second medium (a broadcast that also records) goes on while either remains.
    virtual bool Ended() const { return Failed(); }
    // A network output that lost its server connects again on its own, without the encoders
    // restarting. False when it cannot: the owner then restarts the whole run.
    virtual bool Reconnect() { return false; }
    // Offers the bytes of one whole page without waiting: true when all were taken, false when
    // none were (no room). Outputs that never wait on a peer take them with WriteData.
    virtual bool OfferData(const uint8_t* buffer, int32_t size) {
        return WriteData(buffer, size) == size;
    }

    // While held, WritePages writes nothing: the live encoder holds writing until every
    // stream's headers are queued, so all beginning-of-stream pages lead the output. Letting
    // go writes what is due at once (WritePages(20, 3000)).
    void HoldWriting(bool hold);

    // Adds a logical stream with a fresh serial number; returns its index (0, 1, ...) or -1
    // when libogg is missing or the stream cannot be set up.
    int AddStream();
    int StreamCount() const { return static_cast<int>(FStreams.size()); }
    // The stream's serial number, or -1 for an index out of range.
    int32_t SerialNumber(int index) const;
    // Drops every stream with its queued pages. False when the lock wait ran out (nothing
    // dropped then).
    bool ClearStreams();

    // Packets put into the stream since it last produced a page; 0 for an index out of range.
    int32_t PendingPackets(int index) const;

    // Pages the packet; every page that comes out is queued with the time that timeFunc
    // (if given) assigns to its granule position. The callback given here replaces the
    // stream's previous one, also when it is empty. An empty packet is accepted and ignored.
    // False for an index out of range, a packet libogg refuses, or when a page could not be
    // queued. A page block that cannot be allocated throws std::bad_alloc to the caller.
    bool SubmitPacket(int index, const ogg_packet& packet, TGranuleTimeFunc timeFunc = nullptr,
                      void* timeObject = nullptr);

    // The stream's producer is going: its time callback is forgotten, so nothing can call
    // into the freed producer later. Pages already queued keep their times.
    void ForgetTimeFunc(int index);

    // Forces the stream's partly filled page out and queues it (and any other). pageOut, when
    // given, tells whether a page came out. False for an index out of range, when a page could
    // not be queued, or on any exception (which does not propagate).
    bool FlushStream(int index, bool* pageOut = nullptr);

    // Copies the page into the stream's queue (timeSec: its stream time in seconds), then
    // writes with WritePagesAfterQueueing. False for an index out of range, an empty page or when
    // the lock wait ran out (the page is then dropped); the outcome of the writing that follows
    // does not change the result. Throws std::bad_alloc like SubmitPacket.
    bool QueuePage(int index, const ogg_page& page, double timeSec);

    // The interleaver (see the top of this file). False when the lock wait ran out or a write
    // came up short; the pages not written stay queued.
    bool WritePages(int maxQueued, int maxSpanMs);

    // The end of the output: forces every stream's partial page out, then writes every queued
    // page in time order. Only once the producers have finished.
    void WriteRemainingPages();

  protected:
    // Called after every queued page, on the thread that queued it, without the queue lock:
    // WritePages(20, 3000). An output may write more often.
    virtual void WritePagesAfterQueueing();
    // Called when HoldWriting lets go, with every stream's headers queued: WritePages(20,
    // 3000). An output that must know its header pages writes them all here.
    virtual void WritingReleased();

    // Tests shorten the bound on the lock wait.
    void SetQueueLockTimeout(std::chrono::milliseconds timeout) {
        FQueueLockTimeoutMs = timeout.count();
    }

  private:
    tOggStreamData* StreamAt(int index) const;
    // Queues one page fresh from the stream's libogg state, timed from its granule position.
    bool QueueStreamPage(int index, tOggStreamData& stream, const ogg_page& page);
    // Picks the next page to write, or nullptr; pending tells whether to go on writing.
    tOggStreamData* ChooseStream(int maxQueued, double spanSec, bool& pending) const;
    // Takes FQueueLock within the bound; on time-out a debug line names what was skipped.
    std::unique_lock<TTimedLock> LockQueues(const char* skipped) const;

    TLibraryUse FOggUse;  // first member: the library stays bound until the streams are gone
    std::vector<std::unique_ptr<tOggStreamData>> FStreams;
    mutable TTimedLock FQueueLock;
    std::atomic<int64_t> FQueueLockTimeoutMs{60000};
    std::atomic<bool> FWritingHeld{false};
};
