#include "net/ogg_network_stream.h"

#include <thread>

#include "settings/log.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kDrainPoll = std::chrono::milliseconds(5);

}  // namespace

tOggNetworkStream::tOggNetworkStream(std::chrono::milliseconds drainBudget)
    : FDrainBudget(drainBudget), FWriter(std::make_unique<tQueueWriter>()) {}

tOggNetworkStream::~tOggNetworkStream() {
    // The sender goes first so a send in progress fails at once; the base then drops the
    // streams and their queued pages without writing.
    FWriter->ForceQuit();
    FWriter.reset();
}

Clock::time_point tOggNetworkStream::StopDeadline() {
    std::call_once(FStopOnce, [this] { FStopDeadline = Clock::now() + FDrainBudget; });
    return FStopDeadline;
}

void tOggNetworkStream::Abort() {
    // A broadcast the server has not let in has nothing to end: no write waits for it.
    if (!FWriter->Accepted()) FWriter->ForceQuit();
    FWriter->EndBy(StopDeadline());
}

void tOggNetworkStream::Close() {
    if (FClosed) return;
    FClosed = true;
    const auto deadline = StopDeadline();
    FWriter->EndBy(deadline);
    // A sender that has ended already lost its server and said so; it has nothing to end.
    const bool sending = FWriter->Running();
    WriteRemainingPages();
    FWriter->Drain(deadline);
    // A broadcast the server has not let in yet has nothing to end either: the sender quits at
    // once.
    while (FWriter->Accepted() && FWriter->Running() && Clock::now() < deadline)
        std::this_thread::sleep_for(kDrainPoll);
    if (sending && FWriter->Accepted() && !FWriter->Drained())
        LogLine("Stopping: the server did not take the end of the broadcast within " +
                std::to_string(FDrainBudget.count()) + " ms; " +
                std::to_string(FWriter->UnsentBytes()) + " bytes were not sent");
    FWriter->ForceQuit();
}

int32_t tOggNetworkStream::ReadData(uint8_t*, int32_t) {
    return 0;
}

int32_t tOggNetworkStream::WriteData(const uint8_t* buffer, int32_t size) {
    std::lock_guard lock(FWriteLock);
    FWriter->Enqueue(buffer, size);
    return size;
}

bool tOggNetworkStream::OfferData(const uint8_t* buffer, int32_t size) {
    std::lock_guard lock(FWriteLock);
    return FWriter->TryEnqueue(buffer, size);
}

bool tOggNetworkStream::Connected() {
    // Connecting is asked first: during the connect the socket is not to be probed.
    return FWriter && (FWriter->Connecting() || FWriter->Connected());
}

bool tOggNetworkStream::Connecting() {
    return FWriter && FWriter->Connecting();
}

bool tOggNetworkStream::EverAccepted() const {
    return FWriter && FWriter->Accepted();
}

std::string tOggNetworkStream::ConnectionProblem() const {
    return FWriter ? FWriter->Problem() : std::string();
}
