#pragma once
// Small loopback peers for the network tests: a listening socket on
// 127.0.0.1 with a port of the system's choice, and bounded helpers around them.

#include <cstdint>
#include <string>
#include <string_view>

#include "base/unique_fd.h"

class tLoopbackListener {
  public:
    // receiveBuffer > 0 shrinks the receive buffer that accepted sockets inherit.
    explicit tLoopbackListener(int backlog = 16, int receiveBuffer = 0);
    uint16_t Port() const { return FPort; }
    // The next incoming connection, or an invalid descriptor after timeoutMs.
    TUniqueFd Accept(int timeoutMs = 5000);

  private:
    TUniqueFd FListener;
    uint16_t FPort = 0;
};

// A loopback port that nobody listens on.
uint16_t UnusedPort();

// A plain blocking client connection to 127.0.0.1:port; invalid on failure.
TUniqueFd ConnectTo(uint16_t port);

bool SendAll(int fd, std::string_view data);

// Reads until the peer closes, maxBytes have arrived or nothing came for timeoutMs.
std::string ReadAvailable(int fd, size_t maxBytes, int timeoutMs = 5000);

// Waits until the peer's system has taken every byte sent on fd (nothing left unacknowledged).
bool WaitDelivered(int fd, int timeoutMs = 5000);

// Makes close() send a reset instead of an orderly close.
void ResetOnClose(int fd);
