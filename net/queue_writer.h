#pragma once
// tQueueWriter: the sender thread of a broadcast. It connects to the Icecast server of the
// settings as soon as it exists, announces the source, and then sends what Enqueue put into its
// send queue, in blocks of at most 8192 bytes, until the connection ends or it is told to quit.
// It never reconnects: once it has ended, Connecting() and Connected() are false and the owner
// starts a new broadcast. A server that takes no byte for StallTimeoutSec while data waits is
// given up as lost. At the end of a broadcast Drain lets it send the rest, within a deadline.
//
// Threads: its own thread connects, sends and measures; one encoding thread at a time calls
// Enqueue (the owner serialises them); the main thread reads Connecting, Connected and
// SendRateKbps and calls ForceQuit. The object holds its queue inline (about 1 MB): allocate
// it on the heap.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

#include "base/byte_queue.h"
#include "base/thread.h"
#include "net/easy_socket.h"

class tQueueWriter final : public TWorkerThread {
  public:
    static constexpr int32_t QueueCapacity = 962000;
    static constexpr int32_t BlockSize = 8192;
    // A server that takes no byte for this long while data waits is given up like a lost one,
    // so the broadcast restarts instead of standing still behind a full queue.
    static constexpr int32_t StallTimeoutSec = 10;
    // A server that takes the connection but does not answer within this is given up like a
    // lost one: waiting the full send time-out would show a live broadcast that sends nothing.
    static constexpr int32_t ReplyTimeoutSec = 10;

    // Starts the thread at once. timeoutSec bounds sends without progress; the wait for the
    // server's reply is the shorter of timeoutSec and ReplyTimeoutSec (tests shorten both).
    explicit tQueueWriter(int32_t timeoutSec = StallTimeoutSec);
    ~tQueueWriter() override;

    // Queues all length bytes, waiting in 10 ms steps while the queue has no room. Once the
    // writer has been told to quit or has ended, or a drain has passed its deadline, the bytes
    // are dropped at once.
    void Enqueue(const uint8_t* data, int32_t length);
    // Queues all length bytes at once, or none when the queue lacks the room or the writer has
    // ended (they count as dropped); never waits. The first drop for want of room is logged.
    bool TryEnqueue(const uint8_t* data, int32_t length);

    // The broadcast ends by deadline: from now on Enqueue waits for room only until then. The
    // first call sets the deadline. Any thread; does not wait.
    void EndBy(std::chrono::steady_clock::time_point deadline);
    // Every byte of the broadcast has been given: the writer sends what is queued, ends the
    // connection cleanly and ends (within the deadline of EndBy, which this sets when no call
    // has). Any thread; does not wait.
    void Drain(std::chrono::steady_clock::time_point deadline);
    // After Drain: true once every byte given has reached the server and the connection
    // ended cleanly.
    bool Drained() const { return FDrained.load(std::memory_order_acquire); }
    // Bytes given to Enqueue that have not reached the socket: queued, or dropped.
    int64_t UnsentBytes() const;
    // The server accepted the source request.
    bool Accepted() const { return FAccepted.load(std::memory_order_acquire); }
    // Why the connection failed or ended, in a few words ("401 Authentication Required",
    // "Connection refused (111)"); empty while nothing went wrong. Any thread.
    std::string Problem() const;

    // Sets the terminate flag and closes the connection under the thread's feet, so a send in
    // progress fails at once. Does not wait.
    void ForceQuit();

    // From creation until the server's reply line has ended or the attempt was given up.
    bool Connecting() const { return FConnecting.load(std::memory_order_acquire); }
    bool Connected() { return FConnection.Connected(); }
    // Average of the last five one-second measurements; 0 before the first.
    int32_t SendRateKbps() const { return FSendRateKbps.load(std::memory_order_relaxed); }

  protected:
    void Execute() override;

  private:
    void ConnectToServer();
    std::string ReadReplyLine();
    void Verdict(const std::string& reply);
    void SendQueued();
    void ReportLostConnection();
    void SetProblem(const std::string& problem);
    void Finish();

    bool DrainDue() const;
    bool DeadlinePassed() const;

    const int32_t FStallTimeoutSec;
    std::atomic<bool> FConnecting{true};
    std::atomic<bool> FDraining{false};
    std::atomic<bool> FDrained{false};
    std::atomic<std::chrono::steady_clock::rep> FDeadline{0};  // 0: none yet
    std::atomic<int64_t> FDroppedBytes{0};
    std::atomic<bool> FAccepted{false};
    std::atomic<bool> FFullLogged{false};  // TryEnqueue found no room once
    mutable std::mutex FProblemLock;
    std::string FProblem;  // guarded by FProblemLock
    std::atomic<int32_t> FSendRateKbps{0};
    tByteQueue FQueue{QueueCapacity};
    tEasySocket FConnection;
};
