#include "net/ogg_stream_and_file.h"

#include <utility>

#include "settings/log.h"

namespace {

// With maxQueued 0 the span does not matter: everything queued goes, in time order.
constexpr int WriteAllSpanMs = 3000;

}  // namespace

tOggStreamAndFile::tOggStreamAndFile(std::unique_ptr<tOggFile> file, TStreamMaker makeStream)
    : FFile(std::move(file)), FFileMissing(!FFile->IsOpen()), FMakeStream(std::move(makeStream)) {
    if (!FMakeStream) FMakeStream = [] { return std::make_unique<tOggNetworkStream>(); };
    FStream = FMakeStream();
}

tOggStreamAndFile::~tOggStreamAndFile() {
    // The sender goes first so a send in progress fails at once; the file then writes what
    // it still holds.
    FStream.reset();
    FFile.reset();
}

tOggNetworkStream& tOggStreamAndFile::Stream() const {
    std::lock_guard lock(FStreamLock);
    return *FStream;
}

int32_t tOggStreamAndFile::ReadData(uint8_t*, int32_t) {
    return 0;
}

int32_t tOggStreamAndFile::WriteData(const uint8_t* buffer, int32_t size) {
    if (!FHeadersKnown.load(std::memory_order_relaxed) && FHeaderPages.size() < MaxHeaderPages)
        FHeaderPages.emplace_back(buffer, buffer + size);
    FFile->WriteData(buffer, size);
    std::lock_guard lock(FStreamLock);
    FStream->OfferData(buffer, size);
    return size;
}

void tOggStreamAndFile::WritingReleased() {
    WritePages(0, WriteAllSpanMs);
    FHeadersKnown.store(true, std::memory_order_release);
}

void tOggStreamAndFile::WritePagesAfterQueueing() {
    if (!FFile->IsOpen() || !FFile->IntervalPassed()) {
        tOggIOBase::WritePagesAfterQueueing();
        return;
    }
    WritePages(0, WriteAllSpanMs);
    FFile->FlushBuffer();
}

bool tOggStreamAndFile::Reconnect() {
    if (!FHeadersKnown.load(std::memory_order_acquire) || FClosed) return false;
    std::unique_ptr<tOggNetworkStream> stream = FMakeStream();
    // The send queue is empty: the headers fit.
    for (const std::vector<uint8_t>& page : FHeaderPages)
        stream->OfferData(page.data(), static_cast<int32_t>(page.size()));
    {
        std::lock_guard lock(FStreamLock);
        std::swap(FStream, stream);
    }
    if (stream->EverAccepted()) FEarlierAccepted = true;
    DebugLine("Broadcast reconnecting; the recording goes on");
    // The lost connection's sender has ended: it goes at once.
    stream.reset();
    return true;
}

bool tOggStreamAndFile::Connected() {
    return Stream().Connected();
}

bool tOggStreamAndFile::Connecting() {
    return Stream().Connecting();
}

int32_t tOggStreamAndFile::SendRateKbps() const {
    return Stream().SendRateKbps();
}

bool tOggStreamAndFile::EverAccepted() const {
    return FEarlierAccepted.load() || Stream().EverAccepted();
}

std::string tOggStreamAndFile::ConnectionProblem() const {
    return Stream().ConnectionProblem();
}

void tOggStreamAndFile::Abort() {
    Stream().Abort();
}

void tOggStreamAndFile::Close() {
    if (FClosed) return;
    FClosed = true;
    WriteRemainingPages();
    FFile->Close();
    Stream().Close();
}

void tOggStreamAndFile::Abandon() {
    FFile->Abandon();
    Stream().Abort();
}
