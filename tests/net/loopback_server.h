#pragma once
// Small loopback peers for the network tests: an owned descriptor, a listening socket on
// 127.0.0.1 with a port of the system's choice, and bounded helpers around them.

#include <cstdint>
#include <string>
#include <string_view>

class tTestFd {
  public:
    tTestFd() = default;
    explicit tTestFd(int fd) : FFd(fd) {}
    tTestFd(tTestFd&& other) noexcept : FFd(other.Release()) {}
    tTestFd& operator=(tTestFd&& other) noexcept;
    tTestFd(const tTestFd&) = delete;
    tTestFd& operator=(const tTestFd&) = delete;
    ~tTestFd() { Reset(); }

    int Get() const { return FFd; }
    bool Valid() const { return FFd >= 0; }
    int Release();
    void Reset();

  private:
    int FFd = -1;
};

class tLoopbackListener {
  public:
    // receiveBuffer > 0 shrinks the receive buffer that accepted sockets inherit.
    explicit tLoopbackListener(int backlog = 16, int receiveBuffer = 0);
    uint16_t Port() const { return FPort; }
    // The next incoming connection, or an invalid descriptor after timeoutMs.
    tTestFd Accept(int timeoutMs = 5000);

  private:
    tTestFd FListener;
    uint16_t FPort = 0;
};

// A loopback port that nobody listens on.
uint16_t UnusedPort();

// A plain blocking client connection to 127.0.0.1:port; invalid on failure.
tTestFd ConnectTo(uint16_t port);

bool SendAll(int fd, std::string_view data);

// Reads until the peer closes, maxBytes have arrived or nothing came for timeoutMs.
std::string ReadAvailable(int fd, size_t maxBytes, int timeoutMs = 5000);

// Waits until the peer's system has taken every byte sent on fd (nothing left unacknowledged).
bool WaitDelivered(int fd, int timeoutMs = 5000);

// Makes close() send a reset instead of an orderly close.
void ResetOnClose(int fd);
