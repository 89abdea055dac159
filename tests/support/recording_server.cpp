#include "tests/support/recording_server.h"

#include <poll.h>
#include <sys/socket.h>

#include <chrono>

namespace {

constexpr int kStepMs = 20;
constexpr std::string_view kEndOfRequest = "\r\n\r\n";

bool Readable(int fd) {
    pollfd poller{fd, POLLIN, 0};
    return poll(&poller, 1, kStepMs) > 0;
}

}  // namespace

tRecordingServer::tRecordingServer(std::string reply, tAnswer answer, int receiveBuffer)
    : FListener(16, receiveBuffer),
      FReply(std::move(reply)),
      FAnswer(answer),
      FThread([this] { Run(); }) {}

tRecordingServer::~tRecordingServer() {
    FStop.store(true);
    FThread.join();
}

void tRecordingServer::Run() {
    TUniqueFd source;
    while (!Stopping() && !source.Valid()) source = FListener.Accept(kStepMs);
    if (!source.Valid() || !ReadRequest(source.Get())) return;
    if (FAnswer == tAnswer::Close) return;
    if (FAnswer == tAnswer::Reply || FAnswer == tAnswer::Stall) SendAll(source.Get(), FReply);
    if (FAnswer == tAnswer::Silent || FAnswer == tAnswer::Stall) {
        while (!Stopping()) std::this_thread::sleep_for(std::chrono::milliseconds(kStepMs));
    } else {
        Record(source.Get());
    }
    if (FDrop.load()) ResetOnClose(source.Get());
}

bool tRecordingServer::ReadRequest(int fd) {
    std::string received;
    char block[4096];
    while (!Stopping() && received.find(kEndOfRequest) == std::string::npos) {
        if (!Readable(fd)) continue;
        const ssize_t got = recv(fd, block, sizeof block, 0);
        if (got <= 0) return false;
        received.append(block, static_cast<size_t>(got));
    }
    const size_t end = received.find(kEndOfRequest);
    if (end == std::string::npos) return false;
    std::lock_guard lock(FLock);
    FRequest = received.substr(0, end + kEndOfRequest.size());
    FData = received.substr(end + kEndOfRequest.size());
    FRequestDone = true;
    FChanged.notify_all();
    return true;
}

void tRecordingServer::Record(int fd) {
    char block[65536];
    while (!Stopping()) {
        if (!Readable(fd)) continue;
        const ssize_t got = recv(fd, block, sizeof block, 0);
        if (got <= 0) return;
        std::lock_guard lock(FLock);
        FData.append(block, static_cast<size_t>(got));
        FChanged.notify_all();
    }
}

std::string tRecordingServer::Request(int timeoutMs) {
    std::unique_lock lock(FLock);
    FChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return FRequestDone; });
    return FRequest;
}

std::string tRecordingServer::Data(size_t bytes, int timeoutMs) {
    std::unique_lock lock(FLock);
    FChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                      [&] { return FData.size() >= bytes; });
    return FData;
}
