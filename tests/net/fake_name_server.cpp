#include "tests/net/fake_name_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <resolv.h>
#include <sys/socket.h>

#include <cstring>
#include <vector>

#include "net/host_lookup.h"

namespace {

constexpr size_t kHeaderSize = 12;

// The query cut after its first question, turned into a "no such name" answer.
std::vector<unsigned char> NoSuchName(const unsigned char* query, size_t size) {
    size_t end = kHeaderSize;
    while (end < size && query[end] != 0) end += 1 + query[end];
    end += 1 + 4;  // the root label, type and class
    if (end > size) return {};
    std::vector<unsigned char> reply(query, query + end);
    reply[2] = static_cast<unsigned char>(
        0x80 | (query[2] & 0x01));  // response, recursion desired as asked
    reply[3] = 0x83;                // recursion available, NXDOMAIN
    std::memset(&reply[6], 0, 6);   // no answer, authority or extra records
    return reply;
}

}  // namespace

tFakeNameServer::tFakeNameServer(bool silent)
    : FSocket(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)), FSilent(silent) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (bind(FSocket.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(FSocket.Get(), reinterpret_cast<sockaddr*>(&address), &size) == 0) {
        FPort = ntohs(address.sin_port);
    }
    FThread = std::thread([this] { Run(); });
}

tFakeNameServer::~tFakeNameServer() {
    FStop.store(true);
    FThread.join();
}

void tFakeNameServer::Run() {
    unsigned char query[512];
    while (!FStop.load()) {
        pollfd poller{FSocket.Get(), POLLIN, 0};
        if (poll(&poller, 1, 50) <= 0) continue;
        sockaddr_in from{};
        socklen_t fromSize = sizeof from;
        const ssize_t got = recvfrom(FSocket.Get(), query, sizeof query, 0,
                                     reinterpret_cast<sockaddr*>(&from), &fromSize);
        if (got < static_cast<ssize_t>(kHeaderSize)) continue;
        FQueries.fetch_add(1);
        if (FSilent) continue;
        const auto reply = NoSuchName(query, static_cast<size_t>(got));
        if (!reply.empty())
            sendto(FSocket.Get(), reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from),
                   fromSize);
    }
}

namespace {

std::atomic<uint16_t> RedirectPort{0};
std::atomic<int> RedirectWaitSec{1};

void PointResolverAt(uint16_t port, int waitSec) {
    res_init();
    _res.options |= RES_NORELOAD;
    _res.nscount = 1;
    _res.nsaddr_list[0].sin_family = AF_INET;
    _res.nsaddr_list[0].sin_port = htons(port);
    _res.nsaddr_list[0].sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    _res.retrans = waitSec;
    _res.retry = 1;
}

void RedirectLookupThread() {
    PointResolverAt(RedirectPort.load(), RedirectWaitSec.load());
}

}  // namespace

tResolverRedirect::tResolverRedirect(uint16_t port, int waitSec) {
    PointResolverAt(port, waitSec);
    RedirectPort.store(port);
    RedirectWaitSec.store(waitSec);
    SetLookupThreadSetup(RedirectLookupThread);
}

tResolverRedirect::~tResolverRedirect() {
    // A lookup thread still running keeps asking the test's server, which may be gone: it
    // then fails, and nobody waits for it.
    SetLookupThreadSetup(nullptr);
    res_init();
}
