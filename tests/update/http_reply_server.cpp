#include "tests/update/http_reply_server.h"

#include <poll.h>
#include <sys/socket.h>

namespace {

constexpr int kStopPollMs = 20;
constexpr size_t kMaxRequest = 64 * 1024;

// The request up to and including its empty line (or whatever came before the peer stopped).
std::string ReadRequest(int fd, const TEvent& stop) {
    std::string request;
    char chunk[1024];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < kMaxRequest &&
           !stop.IsSet()) {
        pollfd poller{fd, POLLIN, 0};
        if (poll(&poller, 1, kStopPollMs) <= 0) continue;
        const ssize_t r = recv(fd, chunk, sizeof chunk, 0);
        if (r <= 0) break;
        request.append(chunk, static_cast<size_t>(r));
    }
    return request;
}

}  // namespace

tHttpReplyServer::tHttpReplyServer(std::optional<std::string> reply)
    : FReply(std::move(reply)), FThread([this] { Serve(); }) {}

tHttpReplyServer::~tHttpReplyServer() {
    FStop.Set();
    FThread.join();
}

std::string tHttpReplyServer::Address() const {
    return "127.0.0.1:" + std::to_string(Port());
}

std::optional<std::string> tHttpReplyServer::WaitRequest(int timeoutMs) {
    if (!FServed.WaitFor(timeoutMs)) return std::nullopt;
    return FRequest;
}

void tHttpReplyServer::Serve() {
    tTestFd client;
    while (!client.Valid() && !FStop.IsSet()) client = FListener.Accept(kStopPollMs);
    if (!client.Valid()) return;
    FRequest = ReadRequest(client.Get(), FStop);
    FRequestRead.Set();
    if (FReply) {
        SendAll(client.Get(), *FReply);
        client.Reset();
        FServed.Set();
        return;
    }
    // Silent: keep the connection open until the test ends.
    FStop.WaitFor(60000);
}

std::string HttpReply(const std::string& status, const std::string& headers) {
    return "HTTP/1.1 " + status + "\r\n" + headers + "\r\n";
}
