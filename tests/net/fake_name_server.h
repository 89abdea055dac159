#pragma once
// A name server on 127.0.0.1 that answers every query with "no such name" (or, silent, never
// answers at all), and a guard that points the resolver of the calling thread and of every
// lookup thread at it. Lookup tests use both, so no query ever leaves the machine.

#include <atomic>
#include <cstdint>
#include <thread>

#include "tests/support/loopback_server.h"

class tFakeNameServer {
  public:
    explicit tFakeNameServer(bool silent = false);
    ~tFakeNameServer();
    tFakeNameServer(const tFakeNameServer&) = delete;
    tFakeNameServer& operator=(const tFakeNameServer&) = delete;

    uint16_t Port() const { return FPort; }
    int Queries() const { return FQueries.load(); }

  private:
    void Run();

    TUniqueFd FSocket;
    uint16_t FPort = 0;
    const bool FSilent;
    std::atomic<bool> FStop{false};
    std::atomic<int> FQueries{0};
    std::thread FThread;
};

// While it lives, this thread's resolver and that of every lookup thread started meanwhile ask
// only 127.0.0.1:port, once, with a short wait.
class tResolverRedirect {
  public:
    // waitSec: how long the resolver waits for an answer (1 to 30).
    explicit tResolverRedirect(uint16_t port, int waitSec = 1);
    ~tResolverRedirect();
    tResolverRedirect(const tResolverRedirect&) = delete;
    tResolverRedirect& operator=(const tResolverRedirect&) = delete;
};
