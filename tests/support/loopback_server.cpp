#include "tests/support/loopback_server.h"

#include <arpa/inet.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

namespace {

sockaddr_in LoopbackAddress(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

uint16_t BoundPort(int fd) {
    sockaddr_in address{};
    socklen_t size = sizeof address;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) return 0;
    return ntohs(address.sin_port);
}

TUniqueFd BoundSocket(int receiveBuffer) {
    TUniqueFd fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.Valid()) return fd;
    const int one = 1;
    setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (receiveBuffer > 0)
        setsockopt(fd.Get(), SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    const sockaddr_in address = LoopbackAddress(0);
    if (bind(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        fd.Reset();
    return fd;
}

bool WaitReadable(int fd, int timeoutMs) {
    pollfd poller{fd, POLLIN, 0};
    return poll(&poller, 1, timeoutMs) > 0;
}

}  // namespace

tLoopbackListener::tLoopbackListener(int backlog, int receiveBuffer)
    : FListener(BoundSocket(receiveBuffer)) {
    if (FListener.Valid() && listen(FListener.Get(), backlog) == 0)
        FPort = BoundPort(FListener.Get());
}

TUniqueFd tLoopbackListener::Accept(int timeoutMs) {
    if (!WaitReadable(FListener.Get(), timeoutMs)) return TUniqueFd();
    return TUniqueFd(accept4(FListener.Get(), nullptr, nullptr, SOCK_CLOEXEC));
}

uint16_t UnusedPort() {
    TUniqueFd fd = BoundSocket(0);
    return fd.Valid() ? BoundPort(fd.Get()) : 0;
}

TUniqueFd ConnectTo(uint16_t port) {
    TUniqueFd fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_in address = LoopbackAddress(port);
    if (fd.Valid() &&
        connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        fd.Reset();
    return fd;
}

bool SendAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t sent = send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        data.remove_prefix(static_cast<size_t>(sent));
    }
    return true;
}

std::string ReadAvailable(int fd, size_t maxBytes, int timeoutMs) {
    std::string data;
    char block[4096];
    while (data.size() < maxBytes && WaitReadable(fd, timeoutMs)) {
        const ssize_t got = recv(fd, block, std::min(sizeof block, maxBytes - data.size()), 0);
        if (got <= 0) break;
        data.append(block, static_cast<size_t>(got));
    }
    return data;
}

bool WaitDelivered(int fd, int timeoutMs) {
    for (int waited = 0; waited <= timeoutMs; ++waited) {
        int unacknowledged = 0;
        if (ioctl(fd, SIOCOUTQ, &unacknowledged) != 0) return false;
        if (unacknowledged == 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

void ResetOnClose(int fd) {
    const linger hard{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
}
