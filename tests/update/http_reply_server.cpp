#include "tests/update/http_reply_server.h"

#include <poll.h>
#include <sys/socket.h>

#include <iterator>

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
    TUniqueFd client;
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

std::string ManyVersionHeaders(size_t bytes, const std::string& highest) {
    const std::string lower[] = {"1.6", "2.0", "3.33", "5.5"};
    const std::string end = "X-Padding: \r\n\r\n";
    std::string reply = "HTTP/1.1 302 Found\r\n";
    for (size_t i = 0;; ++i) {
        const std::string version = i == 70 ? highest : lower[i % std::size(lower)];
        const std::string line = "X-Zizizada-Version: " + version + "\r\n";
        if (reply.size() + line.size() + end.size() > bytes) break;
        reply += line;
    }
    return reply + "X-Padding: " + std::string(bytes - reply.size() - end.size(), 'x') + "\r\n\r\n";
}
