#include "net/ogg_network_stream.h"

tOggNetworkStream::tOggNetworkStream() : FWriter(std::make_unique<tQueueWriter>()) {}

tOggNetworkStream::~tOggNetworkStream() {
    // The sender goes first so a send in progress fails at once; the base then drops the
    // streams and their queued pages without writing.
    FWriter->ForceQuit();
    FWriter.reset();
}

void tOggNetworkStream::Abort() {
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

bool tOggNetworkStream::Connected() {
    // Connecting is asked first: during the connect the socket is not to be probed.
    return FWriter && (FWriter->Connecting() || FWriter->Connected());
}

bool tOggNetworkStream::Connecting() {
    return FWriter && FWriter->Connecting();
}
