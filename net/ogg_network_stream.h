#pragma once
// tOggNetworkStream: the Ogg output that broadcasts to an Icecast server. Every byte the
// interleaver writes goes into the send queue of its tQueueWriter, which connects as soon as
// the stream exists. Bytes still queued when the stream goes are discarded, not sent.
//
// Threads: WriteData runs on the encoding threads under the base's page-queue lock, and
// blocks while the send queue is full (lock order: page-queue lock, then FWriteLock, then the
// send queue's own lock; the sender thread takes only the last). The main thread polls
// Connected and SendRateKbps.

#include <cstdint>
#include <memory>
#include <mutex>

#include "engine/ogg_io_base.h"
#include "net/queue_writer.h"

class tOggNetworkStream final : public tOggIOBase {
  public:
    tOggNetworkStream();
    ~tOggNetworkStream() override;

    // A network stream cannot be read: always 0.
    int32_t ReadData(uint8_t* buffer, int32_t size) override;
    // Hands the bytes to the sender and returns size whatever becomes of them: once the
    // sender has ended they are dropped at once.
    int32_t WriteData(const uint8_t* buffer, int32_t size) override;

    // The sender quits: a send in progress fails, and every later write is dropped at once.
    void Abort() override;

    // True while the sender is connecting or its connection holds.
    bool Connected() override;
    bool Connecting() override;
    int32_t SendRateKbps() const override { return FWriter ? FWriter->SendRateKbps() : 0; }

  private:
    std::mutex FWriteLock;
    std::unique_ptr<tQueueWriter> FWriter;
};
