#pragma once
// A one-shot HTTP peer on 127.0.0.1 for the update tests: accepts one connection, reads the
// request up to its empty line, answers with a fixed reply and closes. Without a reply it
// holds the connection open and says nothing until it is destroyed.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>

#include "base/event.h"
#include "tests/support/loopback_server.h"

class tHttpReplyServer {
  public:
    explicit tHttpReplyServer(std::optional<std::string> reply);
    ~tHttpReplyServer();
    tHttpReplyServer(const tHttpReplyServer&) = delete;
    tHttpReplyServer& operator=(const tHttpReplyServer&) = delete;

    uint16_t Port() const { return FListener.Port(); }
    // "127.0.0.1:port".
    std::string Address() const;

    // Waits at most timeoutMs until a client's whole request has arrived.
    bool WaitRequestRead(int timeoutMs = 5000) { return FRequestRead.WaitFor(timeoutMs); }
    // Waits at most timeoutMs until the reply has gone and the connection is closed; then the
    // request as received.
    std::optional<std::string> WaitRequest(int timeoutMs = 5000);

  private:
    void Serve();

    const std::optional<std::string> FReply;
    tLoopbackListener FListener;
    TEvent FRequestRead;
    TEvent FServed;
    TEvent FStop;
    std::string FRequest;  // written by the server thread before FServed is set
    std::thread FThread;
};

// "HTTP/1.1 <status>" CR LF, the given header lines (each ended with CR LF), an empty line.
std::string HttpReply(const std::string& status, const std::string& headers);

// A redirect of exactly `bytes` bytes packed with version headers: about 150 of them in 4 KB,
// all above 1.5 and below highest, which stands among them. A padding header fills the rest.
std::string ManyVersionHeaders(size_t bytes, const std::string& highest);
