#pragma once
// tOggNetworkStream: the Ogg output that broadcasts to an Icecast server. Every byte the
// interleaver writes goes into the send queue of its tQueueWriter, which connects as soon as
// the stream exists. A stop ends the broadcast as a file ends: the pages held back and the
// end-of-stream pages are sent and the connection is closed cleanly, all within the drain
// budget counted from the start of the stop (Abort); what the server has not taken by then is
// dropped, with a log line.
//
// Threads: WriteData runs on the encoding threads under the base's page-queue lock, and
// blocks while the send queue is full (lock order: page-queue lock, then FWriteLock, then the
// send queue's own lock; the sender thread takes only the last). The main thread polls
// Connected and SendRateKbps.

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>

#include "engine/ogg_io_base.h"
#include "net/queue_writer.h"

class tOggNetworkStream final : public tOggIOBase {
  public:
    // A stop (Abort, then Close) is bounded by drainBudget whatever the network does.
    static constexpr std::chrono::milliseconds DefaultDrainBudget{1200};

    explicit tOggNetworkStream(std::chrono::milliseconds drainBudget = DefaultDrainBudget);
    ~tOggNetworkStream() override;

    // A network stream cannot be read: always 0.
    int32_t ReadData(uint8_t* buffer, int32_t size) override;
    // Hands the bytes to the sender and returns size whatever becomes of them: once the
    // sender has ended they are dropped at once.
    int32_t WriteData(const uint8_t* buffer, int32_t size) override;
    // Queues the page for the sender only when the send queue has room for all of it; once
    // the sender has ended it is dropped.
    bool OfferData(const uint8_t* buffer, int32_t size) override;

    // The stop begins: writes wait for room in the send queue only until the drain budget
    // runs out, then are dropped. Before the server has let the broadcast in, the sender
    // quits at once.
    void Abort() override;
    // Writes every page still held, lets the sender send them and close the connection, and
    // waits for that, at most until the budget runs out; then the sender quits.
    void Close() override;

    // True while the sender is connecting or its connection holds.
    bool Connected() override;
    bool Connecting() override;
    int32_t SendRateKbps() const override { return FWriter ? FWriter->SendRateKbps() : 0; }
    // The server accepted the source request at least once.
    bool EverAccepted() const override;
    std::string ConnectionProblem() const override;

  private:
    std::chrono::steady_clock::time_point StopDeadline();

    const std::chrono::milliseconds FDrainBudget;
    std::once_flag FStopOnce;
    std::chrono::steady_clock::time_point FStopDeadline;  // set once, by the first stop call
    bool FClosed = false;                                 // owner thread only
    std::mutex FWriteLock;
    std::unique_ptr<tQueueWriter> FWriter;
};
