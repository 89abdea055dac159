#include "net/queue_writer.h"

#include <pthread.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <exception>
#include <thread>

#include "net/send_rate.h"
#include "net/source_request.h"
#include "settings/log.h"
#include "settings/setting_text.h"
#include "settings/settings.h"

namespace {

constexpr auto kEnqueueRetry = std::chrono::milliseconds(10);
constexpr auto kSendPause = std::chrono::milliseconds(2);
constexpr size_t ShownReplyBytes = 200;

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string ServerAndPort() {
    return Settings.Icecast.Server + " on port " + std::to_string(Settings.Icecast.Port);
}

// A refusal's status and reason, as the operator wants to read it: "HTTP/1.0 401
// Authentication Required" says "401 Authentication Required".
std::string RefusalText(const std::string& reply) {
    if (reply.rfind("HTTP/", 0) != 0) return reply;
    const size_t blank = reply.find(' ');
    return blank == std::string::npos ? reply : reply.substr(blank + 1);
}

}  // namespace

tQueueWriter::tQueueWriter(int32_t timeoutSec)
    : FStallTimeoutSec(timeoutSec), FConnection(timeoutSec, false, false) {
    StartThread(1);
}

tQueueWriter::~tQueueWriter() {
    ForceQuit();
    StopThread();
}

void tQueueWriter::Enqueue(const uint8_t* data, int32_t length) {
    // More than the queue can ever hold goes in pieces, in order; the owner lets one caller
    // in at a time.
    while (length > 0) {
        const int32_t piece = std::min(length, FQueue.Capacity());
        while (!FQueue.Write(data, piece)) {
            if (Terminated() || DeadlinePassed()) {
                FDroppedBytes.fetch_add(length, std::memory_order_relaxed);
                return;
            }
            std::this_thread::sleep_for(kEnqueueRetry);
        }
        data += piece;
        length -= piece;
    }
}

bool tQueueWriter::TryEnqueue(const uint8_t* data, int32_t length) {
    const bool ended = Terminated();
    if (!ended && FQueue.Write(data, length)) return true;
    FDroppedBytes.fetch_add(length, std::memory_order_relaxed);
    // The server takes less than the encoders make: what it misses is a hole in the broadcast.
    if (!ended && !FFullLogged.exchange(true))
        LogLine("The server takes the broadcast too slowly: pages are left out of it");
    return false;
}

void tQueueWriter::EndBy(std::chrono::steady_clock::time_point deadline) {
    std::chrono::steady_clock::rep none = 0;
    FDeadline.compare_exchange_strong(none, deadline.time_since_epoch().count());
}

void tQueueWriter::Drain(std::chrono::steady_clock::time_point deadline) {
    EndBy(deadline);
    FDraining.store(true, std::memory_order_release);
}

bool tQueueWriter::DeadlinePassed() const {
    const auto deadline = FDeadline.load();
    return deadline != 0 && std::chrono::steady_clock::now().time_since_epoch().count() >= deadline;
}

// Everything given has left the queue for the socket.
bool tQueueWriter::DrainDue() const {
    return FDraining.load(std::memory_order_acquire) && FQueue.Count() == 0;
}

int64_t tQueueWriter::UnsentBytes() const {
    return FQueue.Count() + FDroppedBytes.load(std::memory_order_relaxed);
}

void tQueueWriter::ForceQuit() {
    DebugLine("tQueueWriter.ForceQuit");
    Terminate();
    // Also ends a connect or a name lookup in progress, and any that has yet to begin.
    FConnection.Abort();
}

void tQueueWriter::Execute() {
    // A name of its own lets the sender's CPU be read per thread (top -H, /proc).
    pthread_setname_np(pthread_self(), "kz-sender");
    try {
        ConnectToServer();
        if (!FConnection.Connected()) {
            // After a stop nothing will try again.
            if (!Terminated()) LogLine("Will re-try connection");
            FConnecting.store(false, std::memory_order_release);
        } else {
            SendQueued();
        }
    } catch (const std::exception& error) {
        LogLine(std::string("tQueueWriter: ") + error.what());
    } catch (...) {
        LogLine("tQueueWriter: unknown error");
    }
    Finish();
}

void tQueueWriter::ConnectToServer() {
    FConnecting.store(true, std::memory_order_release);
    LogLine("Connecting to server " + ServerAndPort() + "...");
    std::string reply;
    // A quit before the start needs no connect at all.
    if (Terminated()) {
        DebugLine("tQueueWriter: quit before connecting");
    } else if (!FConnection.Connect(Settings.Icecast.Port, Settings.Icecast.Server)) {
        // A connect given up for a quit is no failure to report.
        if (Terminated())
            DebugLine("tQueueWriter: quit while connecting");
        else {
            SetProblem(SocketErrorText(FConnection.LastError()));
            LogLine("Unable to connect to " + ServerAndPort() + " because: " + Problem());
        }
    } else {
        LogLine("Connected to server " + ServerAndPort());
        const std::string request = SourceRequest(Settings);
        if (FConnection.WriteData(request.data(), static_cast<int32_t>(request.size()))) {
            reply = ReadReplyLine();
        } else {
            SetProblem("Disconnected while sending the request");
            LogLine("Got disconnected sending stream request");
        }
    }
    Verdict(reply);
}

// Reads the first line one byte at a time and nothing after it, so not one byte of what
// follows is taken from the connection. A line past MaxReplyLine ends the reading too. The
// whole line must come within ReplyTimeoutSec, not each byte.
std::string tQueueWriter::ReadReplyLine() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(ReplyTimeoutSec);
    std::string line;
    char c = 0;
    while (line.size() <= MaxReplyLine) {
        if (!FConnection.ReceiveBuffer(&c, 1, deadline)) {
            // A stop ends the wait too; that is no server fault to report.
            if (Terminated())
                DebugLine("tQueueWriter: quit while waiting for the server's answer");
            else {
                SetProblem("No answer from the server");
                LogLine("Got disconnected reading response to stream request. Check server logs");
            }
            return line;
        }
        if (c == '\r' || c == '\n') break;
        line += c;
    }
    FConnecting.store(false, std::memory_order_release);
    return line;
}

void tQueueWriter::Verdict(const std::string& reply) {
    if (SourceReplyAccepted(reply)) {
        FAccepted.store(true, std::memory_order_release);
        LogLine("Server ready for data");
        return;
    }
    // The server's bytes reach the log and terminals: shown escaped.
    if (!reply.empty()) {
        const std::string shown = EscapedText(reply, ShownReplyBytes);
        LogLine("Unable to stream to server: " + shown);
        SetProblem(RefusalText(shown));
    }
    FConnection.Disconnect();
    DebugLine("Connection Error");
}

void tQueueWriter::SendQueued() {
    tSendRate rate;
    rate.Start(NowMs());
    DebugLine("tQueueWriter: Repeat Start");
    std::array<uint8_t, BlockSize> block;
    do {
        if (!FConnection.Connected()) {
            DebugLine("tQueueWriter:Soc.Connected=false");
            continue;
        }
        if (DrainDue()) {
            // Queued before the check, so nothing given is left behind.
            const auto deadline = std::chrono::steady_clock::time_point(
                std::chrono::steady_clock::duration(FDeadline.load()));
            FDrained.store(FConnection.FinishSending(deadline) && FDroppedBytes.load() == 0,
                           std::memory_order_release);
            return;
        }
        std::this_thread::sleep_for(kSendPause);
        // Everything may sit in the system's buffer with nothing left to send: the peer must
        // still take it.
        if (!FConnection.PeerTakesData()) {
            ReportLostConnection();
            return;
        }
        int32_t n = std::min(FQueue.Count(), BlockSize);
        if (n > 0) {
            n = FQueue.Read(block.data(), n, 1);
            if (!FConnection.WriteData(block.data(), n)) {
                DebugLine("ExitPoint 3");
                ReportLostConnection();
                return;
            }
            rate.Add(n);
            if (Terminated()) {
                DebugLine("ExitPoint 4");
                return;
            }
        }
        if (rate.Update(NowMs())) FSendRateKbps.store(rate.Kbps(), std::memory_order_relaxed);
    } while (FConnection.Connected() && !Terminated());
}

// A send that failed while the broadcast was meant to go on: the owner restarts it.
void tQueueWriter::ReportLostConnection() {
    if (Terminated()) return;
    const int32_t code = FConnection.LastError();
    if (code == ETIMEDOUT) {
        SetProblem("The server took no data for " + std::to_string(FStallTimeoutSec) + " s");
        LogLine(Problem() + ": connection to " + ServerAndPort() + " dropped");
    } else {
        SetProblem("Connection lost: " + SocketErrorText(code));
        LogLine("Connection to " + ServerAndPort() + " lost: " + SocketErrorText(code));
    }
}

void tQueueWriter::SetProblem(const std::string& problem) {
    std::lock_guard lock(FProblemLock);
    FProblem = problem;
}

std::string tQueueWriter::Problem() const {
    std::lock_guard lock(FProblemLock);
    return FProblem;
}

void tQueueWriter::Finish() {
    if (Terminated() || FDraining.load()) LogLine("Streaming ended");
    DebugLine("tQueueWriter: Finally");
    if (!FConnection.Connected()) DebugLine("Socket was Disconnected");
    FConnecting.store(false, std::memory_order_release);
    FConnection.Disconnect();
    // Every later Enqueue gives up at once.
    Terminate();
}
