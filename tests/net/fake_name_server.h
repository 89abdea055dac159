#pragma once
// A name server on 127.0.0.1 that answers every query with "no such name", and a guard that
// points the calling thread's resolver at it. Lookup tests use both, so no query ever leaves
// the machine.

#include <atomic>
#include <cstdint>
#include <thread>

#include "tests/support/loopback_server.h"

class tFakeNameServer {
  public:
    tFakeNameServer();
    ~tFakeNameServer();
    tFakeNameServer(const tFakeNameServer&) = delete;
    tFakeNameServer& operator=(const tFakeNameServer&) = delete;

    uint16_t Port() const { return FPort; }
    int Queries() const { return FQueries.load(); }

  private:
    void Run();

    TUniqueFd FSocket;
    uint16_t FPort = 0;
    std::atomic<bool> FStop{false};
    std::atomic<int> FQueries{0};
    std::thread FThread;
};

// While it lives, this thread's resolver asks only 127.0.0.1:port, once, with a short wait.
class tResolverRedirect {
  public:
    explicit tResolverRedirect(uint16_t port);
    ~tResolverRedirect();
    tResolverRedirect(const tResolverRedirect&) = delete;
    tResolverRedirect& operator=(const tResolverRedirect&) = delete;
};
