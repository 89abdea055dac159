#include "net/easy_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netdb.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "net/host_lookup.h"
#include "settings/event_log.h"

namespace {

using tClock = std::chrono::steady_clock;

constexpr int kConnectStepMs = 50;
constexpr int kReceiveWaitMs = 1000;
constexpr int kSendWaitMaxMs = 1000;
constexpr uint16_t kWriteFailedEvent = 999;

int64_t MsSince(tClock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(tClock::now() - start).count();
}

// Blanks in the sense of the settings text: spaces and control characters.
std::string TrimBlanks(const std::string& text) {
    auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    auto first = std::find_if_not(text.begin(), text.end(), isBlank);
    auto last = std::find_if_not(text.rbegin(), text.rend(), isBlank).base();
    return first < last ? std::string(first, last) : std::string();
}

bool WouldBlock(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

}  // namespace

tEasySocket::tHandle::~tHandle() {
    close(Fd);
}

tEasySocket::tEasySocket(int32_t timeoutSec, bool noDelay, bool timedConnect)
    : FTimeout(timeoutSec), FNoDelay(noDelay), FTimedConnect(timedConnect) {}

tEasySocket::~tEasySocket() {
    Disconnect();
}

tEasySocket::tHandlePtr tEasySocket::Handle() const {
    std::lock_guard lock(FHandleLock);
    return FSocket;
}

void tEasySocket::Disconnect() {
    tHandlePtr old;
    {
        std::lock_guard lock(FHandleLock);
        old.swap(FSocket);
    }
    // shutdown wakes every call blocked on the descriptor; the last of them closes it.
    if (old) shutdown(old->Fd, SHUT_RDWR);
}

void tEasySocket::Abort() {
    FAborted.store(true);
    Disconnect();
}

bool tEasySocket::OpenSocket() {
    Disconnect();
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        SetLastError(errno);
        return false;
    }
    auto handle = std::make_shared<tHandle>(fd);
    if (FNoDelay) {
        const int one = 1;
        (void)setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    std::lock_guard lock(FHandleLock);
    // Looked at under the lock that Abort's Disconnect takes: a socket stored after an Abort
    // would never be shut down.
    if (FAborted.load()) {
        SetLastError(ECANCELED);
        return false;
    }
    FSocket = std::move(handle);
    FHandedBytes = 0;
    FTakenBytes = 0;
    FTakenAt = tClock::now();
    return true;
}

bool tEasySocket::Connect(uint16_t port, const std::string& host) {
    in_addr ip{};
    int32_t error = 0;
    if (FAborted.load()) {
        SetLastError(ECANCELED);
        return false;
    }
    if (!LookUpHost(host, ip, error, [this] { return FAborted.load(); })) {
        SetLastError(error);
        return false;
    }
    if (!OpenSocket()) return false;
    const tHandlePtr handle = Handle();
    if (!handle) {  // another thread disconnected already
        SetLastError(FAborted.load() ? ECANCELED : ENOTCONN);
        return false;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr = ip;
    return ConnectSocket(handle, address);
}

// The handshake runs without blocking and is waited for in short steps, so an Abort, a
// Disconnect or a signal never leaves it to the system's two-minute give-up.
bool tEasySocket::ConnectSocket(const tHandlePtr& handle, const sockaddr_in& address) {
    const int flags = fcntl(handle->Fd, F_GETFL);
    (void)fcntl(handle->Fd, F_SETFL, flags | O_NONBLOCK);
    int error = 0;
    if (connect(handle->Fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error = errno;
        if (error == EINPROGRESS || error == EINTR) error = AwaitHandshake(handle);
    }
    (void)fcntl(handle->Fd, F_SETFL, flags);
    if (error == 0 && Handle() != handle) error = FAborted.load() ? ECANCELED : ENOTCONN;
    if (error == 0) return true;
    // A connect that succeeded just as the time-out struck is no success: the socket is gone.
    SetLastError(error);
    Disconnect();
    return false;
}

// The handshake's outcome: 0, its error, ETIMEDOUT after the time-out of a timed connect
// (strictly more than FTimeout seconds), ECANCELED after an Abort.
int tEasySocket::AwaitHandshake(const tHandlePtr& handle) const {
    const auto start = tClock::now();
    for (;;) {
        if (FAborted.load()) return ECANCELED;
        if (Handle() != handle) return ENOTCONN;
        if (FTimedConnect && FTimeout > 0 && MsSince(start) > int64_t{FTimeout} * 1000)
            return ETIMEDOUT;
        pollfd poller{handle->Fd, POLLOUT, 0};
        const int ready = poll(&poller, 1, kConnectStepMs);
        if (ready < 0 && errno != EINTR) return errno;
        if (ready > 0) {
            int error = 0;
            socklen_t size = sizeof error;
            if (getsockopt(handle->Fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) return errno;
            return error;
        }
    }
}

bool tEasySocket::Connected() {
    std::lock_guard lock(FLock);
    bool connected = false;
    if (const tHandlePtr handle = Handle()) {
        pollfd poller{handle->Fd, POLLIN, 0};
        const int ready = poll(&poller, 1, 0);
        if (ready == 0) {
            connected = true;
        } else if (ready > 0) {
            // Readable means data, an orderly close or an error; a peek tells them apart and
            // leaves any data for the next receive.
            char peek[8];
            const ssize_t r = recv(handle->Fd, peek, sizeof peek, MSG_PEEK | MSG_DONTWAIT);
            connected = r > 0 || (r < 0 && WouldBlock(errno));
        }
    }
    if (!connected) Disconnect();
    return connected;
}

bool tEasySocket::TimeoutPassed(int64_t elapsedMs) const {
    return FTimeout > 0 && elapsedMs >= int64_t{FTimeout} * 1000;
}

bool tEasySocket::FailWrite(int32_t code) {
    SetLastError(code);
    if (!FAborted.load())
        WriteEvent(kWriteFailedEvent, "WriteData Failed: " + std::to_string(code));
    Disconnect();
    return false;
}

// Waits until the socket takes data, at most until the no-progress time-out would strike and
// never longer than one step, so the time-out is looked at in time.
void tEasySocket::WaitWritable(int fd, int64_t idleMs) const {
    int64_t waitMs = kSendWaitMaxMs;
    if (FTimeout > 0) waitMs = std::min(waitMs, int64_t{FTimeout} * 1000 - idleMs);
    if (waitMs <= 0) return;
    pollfd poller{fd, POLLOUT, 0};
    (void)poll(&poller, 1, static_cast<int>(waitMs));
}

// The peer's progress is what it has acknowledged, not what the system took into the send
// buffer: that buffer grows by itself towards megabytes, and taking a little now and then it
// would hide a peer that stopped reading for minutes. Owner thread.
bool tEasySocket::PeerStalled(int fd) {
    int waiting = 0;
    if (ioctl(fd, SIOCOUTQ, &waiting) != 0) return false;
    const int64_t taken = FHandedBytes - waiting;
    if (waiting == 0 || taken > FTakenBytes) {
        FTakenBytes = taken;
        FTakenAt = tClock::now();
        return false;
    }
    return TimeoutPassed(MsSince(FTakenAt));
}

bool tEasySocket::FailStalled() {
    Disconnect();
    SetLastError(ETIMEDOUT);
    if (!FAborted.load()) WriteEvent(kWriteFailedEvent, "WriteData Failed: Timeout");
    return false;
}

bool tEasySocket::PeerTakesData() {
    const tHandlePtr handle = Handle();
    if (!handle) return false;
    return !PeerStalled(handle->Fd) || FailStalled();
}

bool tEasySocket::WriteData(const void* buffer, int32_t length) {
    const auto* bytes = static_cast<const char*>(buffer);
    const tHandlePtr handle = Handle();
    int32_t sent = 0;
    while (sent < length) {
        if (!handle) return FailWrite(ENOTCONN);
        // A plain blocking send would sit forever on a peer that stops reading; waiting for
        // room with a bound and sending without blocking keeps the no-progress time-out alive.
        WaitWritable(handle->Fd, MsSince(FTakenAt));
        ssize_t r = send(handle->Fd, bytes + sent, static_cast<size_t>(length - sent),
                         MSG_NOSIGNAL | MSG_DONTWAIT);
        if (r < 0) {
            if (!WouldBlock(errno)) return FailWrite(errno);
            r = 0;
        }
        if (r > 0) {
            sent += static_cast<int32_t>(r);
            FHandedBytes += r;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (sent < length && PeerStalled(handle->Fd)) return FailStalled();
    }
    return true;
}

bool tEasySocket::FinishSending(tClock::time_point deadline) {
    const tHandlePtr handle = Handle();
    if (!handle) return false;
    bool peerClosed = false;
    if (shutdown(handle->Fd, SHUT_WR) == 0) {
        // Closing while the peer still sends would reset the connection and could drop the
        // tail it has not read yet; so its end is awaited, reading what it sends meanwhile.
        char scrap[512];
        while (!peerClosed && Handle() == handle) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(deadline - tClock::now());
            if (left.count() <= 0) break;
            pollfd poller{handle->Fd, POLLIN, 0};
            const int waitMs = static_cast<int>(std::min<int64_t>(left.count(), kReceiveWaitMs));
            if (poll(&poller, 1, waitMs) <= 0) continue;
            std::lock_guard lock(FLock);
            const ssize_t r = recv(handle->Fd, scrap, sizeof scrap, MSG_DONTWAIT);
            if (r == 0) peerClosed = true;
            if (r < 0 && !WouldBlock(errno)) break;
        }
    }
    Disconnect();
    return peerClosed;
}

// One receive pass on a readable socket: false when the peer closed or an error occurred.
bool tEasySocket::ReceiveSome(int fd, char* buffer, int32_t wanted, int32_t& received) {
    std::lock_guard lock(FLock);
    const ssize_t r = recv(fd, buffer, static_cast<size_t>(wanted), MSG_DONTWAIT);
    if (r > 0) {
        received += static_cast<int32_t>(r);
        return true;
    }
    if (r < 0 && WouldBlock(errno)) return true;
    // An orderly close carries no error code of its own.
    SetLastError(r == 0 ? ENOTCONN : errno);
    Disconnect();
    return false;
}

int32_t tEasySocket::ReceiveLoop(char* buffer, int32_t length, tClock::time_point deadline) {
    int32_t received = 0;
    while (received < length) {
        const tHandlePtr handle = Handle();
        if (!handle) {
            SetLastError(ENOTCONN);
            return received;
        }
        // The wait happens outside FLock: Connected() from another thread must not stall
        // behind a receive that waits for a quiet peer. Never past the deadline.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - tClock::now());
        const int waitMs = static_cast<int>(std::clamp<int64_t>(left.count(), 0, kReceiveWaitMs));
        pollfd poller{handle->Fd, POLLIN, 0};
        const int ready = poll(&poller, 1, waitMs);
        if (ready < 0 && errno != EINTR) {
            SetLastError(errno);
            Disconnect();
            return received;
        }
        if (ready > 0 && !ReceiveSome(handle->Fd, buffer + received, length - received, received))
            return received;
        if (received < length && tClock::now() >= deadline) {
            Disconnect();
            SetLastError(ETIMEDOUT);
            return received;
        }
    }
    return received;
}

tClock::time_point tEasySocket::TimeoutFromNow() const {
    if (FTimeout <= 0) return tClock::time_point::max();
    return tClock::now() + std::chrono::seconds(FTimeout);
}

int32_t tEasySocket::ReceiveData(void* buffer, int32_t length) {
    return ReceiveLoop(static_cast<char*>(buffer), length, TimeoutFromNow());
}

bool tEasySocket::ReceiveBuffer(void* buffer, int32_t length) {
    return ReceiveBuffer(buffer, length, TimeoutFromNow());
}

bool tEasySocket::ReceiveBuffer(void* buffer, int32_t length, tClock::time_point deadline) {
    if (length <= 0) return true;
    deadline = std::min(deadline, TimeoutFromNow());
    return ReceiveLoop(static_cast<char*>(buffer), length, deadline) == length;
}

bool IsIPAddress(const std::string& text) {
    return inet_addr(text.c_str()) != INADDR_NONE;
}

bool DottedHost(const std::string& host, in_addr& address) {
    const std::string name = TrimBlanks(host);
    if (!IsIPAddress(name)) return false;
    address.s_addr = inet_addr(name.c_str());
    return true;
}

bool ResolveHost(const std::string& host, in_addr& address, int32_t* error) {
    if (DottedHost(host, address)) return true;
    const std::string name = TrimBlanks(host);
    int rc = EAI_NONAME;  // an empty name is not worth a query
    addrinfo* found = nullptr;
    if (!name.empty()) {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        rc = getaddrinfo(name.c_str(), nullptr, &hints, &found);
    }
    if (rc != 0 || found == nullptr) {
        if (rc == EAI_SYSTEM) rc = errno != 0 ? errno : EAI_FAIL;
        if (error != nullptr) *error = rc != 0 ? rc : EAI_NONAME;
        return false;
    }
    address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
    return true;
}

std::string SocketErrorText(int32_t code) {
    std::string text;
    if (code < 0) {
        // Name lookup codes are negative on this platform; errno values are positive.
        text = gai_strerror(code);
    } else {
        char message[256];
        text = strerror_r(code, message, sizeof message);
    }
    text += " (" + std::to_string(code) + ")";
    std::replace(text.begin(), text.end(), '\r', ' ');
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}
