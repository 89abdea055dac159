#pragma once
// tEasySocket: the one TCP client of the program. A blocking IPv4 stream socket with a
// time-out in seconds (0 = none), an optionally time-bounded connect, a send that gives up
// when it makes no progress, two ways of receiving and a cheap test whether the peer is still
// there. Failures are false or short results plus an error code in LastError(): errno values,
// ETIMEDOUT for our own time-outs, negative getaddrinfo codes for failed name lookups.
//
// Threads: one owner thread connects, sends and receives. Disconnect(), Abort() and
// Connected() may be called from any other thread at any time; Disconnect() is how a blocked
// WriteData, ReceiveData or ReceiveBuffer is made to fail at once, Abort() also ends a Connect
// in progress (its name lookup or its handshake) and refuses every later one. The descriptor is
// only closed once no call still uses it, so a descriptor number is never reused under a running
// call. Connected() during a Connect in progress may take the not yet connected socket for a closed
// one.

#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

class tEasySocket final {
  public:
    // timeoutSec: bound of a timed connect, of a send without progress and of a receive.
    // noDelay: switch the Nagle algorithm off on each new socket. timedConnect: the handshake
    // is given up after timeoutSec; otherwise it lasts until the system gives up.
    tEasySocket(int32_t timeoutSec, bool noDelay, bool timedConnect);
    ~tEasySocket();
    tEasySocket(const tEasySocket&) = delete;
    tEasySocket& operator=(const tEasySocket&) = delete;

    // Resolves host, opens a fresh socket (closing any earlier one) and connects to port.
    // A failed name lookup leaves an earlier socket untouched.
    bool Connect(uint16_t port, const std::string& host);

    // Shuts the socket down and lets go of it. Any thread, any time.
    void Disconnect();

    // Disconnect, and every Connect from now on, or one in progress, fails at once with
    // ECANCELED. For owners that are stopping. Any thread, any time.
    void Abort();

    // True while the socket is open and the peer has not closed it; unread data stays
    // queued. A false answer also closes the socket.
    bool Connected();

    // Sends all length bytes; false after an error or timeoutSec seconds in which the peer
    // acknowledged none of the bytes waiting for it.
    // Failures also go to the event log (code 999), except those of a send that an Abort
    // ended: that is the owner stopping, not a fault.
    bool WriteData(const void* buffer, int32_t length);

    // False (and the socket closed, the failure in the event log) when bytes have waited for
    // the peer for timeoutSec seconds without the peer acknowledging any; for an owner that
    // has nothing more to send but wants to know. Owner thread.
    bool PeerTakesData();

    // Ends the sending side, so the peer reads the end of the stream after every byte sent, and
    // waits until the peer closes its side too (unread bytes from it are discarded) or
    // deadline; then lets go of the socket. True when the peer closed in time: it then has
    // read every byte. Owner thread.
    bool FinishSending(std::chrono::steady_clock::time_point deadline);

    // Receives until length bytes arrived, the peer closed, an error occurred or timeoutSec
    // seconds passed since the call began; returns the bytes received.
    int32_t ReceiveData(void* buffer, int32_t length);

    // Receives exactly length bytes; true only when all arrived. length <= 0 is true at once.
    bool ReceiveBuffer(void* buffer, int32_t length);
    // The same, but gives up at deadline (or after timeoutSec, whichever comes first), so a
    // caller reading a reply piece by piece can bound the whole reply.
    bool ReceiveBuffer(void* buffer, int32_t length,
                       std::chrono::steady_clock::time_point deadline);

    int32_t LastError() const { return FLastError.load(std::memory_order_relaxed); }

  private:
    // Owns one descriptor; closes it when the last user lets go.
    struct tHandle {
        explicit tHandle(int fd) : Fd(fd) {}
        ~tHandle();
        tHandle(const tHandle&) = delete;
        tHandle& operator=(const tHandle&) = delete;
        const int Fd;
    };
    using tHandlePtr = std::shared_ptr<tHandle>;

    tHandlePtr Handle() const;
    bool OpenSocket();
    bool ConnectSocket(const tHandlePtr& handle, const sockaddr_in& address);
    int AwaitHandshake(const tHandlePtr& handle) const;
    void WaitWritable(int fd, int64_t idleMs) const;
    bool FailWrite(int32_t code);
    bool PeerStalled(int fd);
    bool FailStalled();
    bool ReceiveSome(int fd, char* buffer, int32_t wanted, int32_t& received);
    int32_t ReceiveLoop(char* buffer, int32_t length,
                        std::chrono::steady_clock::time_point deadline);
    std::chrono::steady_clock::time_point TimeoutFromNow() const;
    bool TimeoutPassed(int64_t elapsedMs) const;
    void SetLastError(int32_t code) { FLastError.store(code, std::memory_order_relaxed); }

    const int32_t FTimeout;
    const bool FNoDelay;
    const bool FTimedConnect;
    std::atomic<int32_t> FLastError{0};
    std::atomic<bool> FAborted{false};
    // Owner thread only: bytes the system took for the current socket, bytes the peer has
    // acknowledged of them, and when that last grew (or nothing waited).
    int64_t FHandedBytes = 0;
    int64_t FTakenBytes = 0;
    std::chrono::steady_clock::time_point FTakenAt;
    mutable std::mutex FHandleLock;  // held only to copy or swap FSocket
    tHandlePtr FSocket;              // guarded by FHandleLock; null when there is no socket
    std::mutex FLock;                // serialises peeks and receives; never held while waiting
};

// True when the dotted-address parser accepts text (its result is not INADDR_NONE, so
// 255.255.255.255 is not one).
bool IsIPAddress(const std::string& text);

// Trims blanks; true with the address (network byte order) when host is dotted digits.
bool DottedHost(const std::string& host, in_addr& address);

// Trims blanks; dotted addresses are taken as they are, other names are looked up (IPv4).
// address is in network byte order. On failure *error (when given) gets the lookup's code.
bool ResolveHost(const std::string& host, in_addr& address, int32_t* error = nullptr);

// The system's text for a code from LastError(), then " (", the code, ")"; line breaks become
// blanks.
std::string SocketErrorText(int32_t code);
