#pragma once
// A loopback stand-in for an Icecast server: accepts one source connection, records the
// request up to its empty line, answers as told, then records every byte the source sends
// until it closes. Owns its thread (stop flag, join).

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "tests/support/loopback_server.h"

class tRecordingServer {
  public:
    enum class tAnswer {
        Reply,   // send the reply, then record
        Close,   // close the connection without a word
        Silent,  // say nothing and read nothing
        Stall,   // send the reply, then read nothing more (a stalled link)
    };

    // receiveBuffer > 0 shrinks the connection's receive buffer, so a stall fills up soon.
    explicit tRecordingServer(std::string reply, tAnswer answer = tAnswer::Reply,
                              int receiveBuffer = 0);
    ~tRecordingServer();
    tRecordingServer(const tRecordingServer&) = delete;
    tRecordingServer& operator=(const tRecordingServer&) = delete;

    uint16_t Port() const { return FListener.Port(); }

    // Waits (bounded) until the request's empty line has arrived; returns the request, or
    // what came of it.
    std::string Request(int timeoutMs = 5000);
    // Waits (bounded) until at least bytes have arrived after the request; returns them all.
    std::string Data(size_t bytes, int timeoutMs = 5000);
    // Resets the source's connection.
    void Drop() { FDrop.store(true); }

  private:
    void Run();
    bool ReadRequest(int fd);
    void Record(int fd);
    bool Stopping() const { return FStop.load() || FDrop.load(); }

    tLoopbackListener FListener;
    const std::string FReply;
    const tAnswer FAnswer;
    std::atomic<bool> FStop{false};
    std::atomic<bool> FDrop{false};
    std::mutex FLock;
    std::condition_variable FChanged;
    std::string FRequest;       // guarded by FLock
    std::string FData;          // guarded by FLock
    bool FRequestDone = false;  // guarded by FLock
    std::thread FThread;
};
