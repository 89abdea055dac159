#include "engine/ogg_io_base.h"

#include <cstring>
#include <exception>
#include <string>

#include "engine/ogg_library.h"
#include "engine/serial_number.h"
#include "settings/log.h"

namespace {

constexpr int QueuedPageLimit = 20;
constexpr int QueuedSpanLimitMs = 3000;

tOggPageData CopyPage(const ogg_page& page, double timeSec) {
    tOggPageData data;
    data.FPageSize = static_cast<int32_t>(page.header_len + page.body_len);
    data.FPageTime = timeSec;
    data.FIsBOS = OggLib.ogg_page_bos(const_cast<ogg_page*>(&page)) > 0;
    data.FPageData = std::make_unique_for_overwrite<uint8_t[]>(data.FPageSize);
    std::memcpy(data.FPageData.get(), page.header, page.header_len);
    std::memcpy(data.FPageData.get() + page.header_len, page.body, page.body_len);
    return data;
}

}  // namespace

tOggStreamData::~tOggStreamData() {
    if (FStateReady) OggLib.ogg_stream_clear(&FStreamState);
}

tOggIOBase::tOggIOBase() : FOggUse(BindOgg, UnbindOgg) {}

tOggIOBase::~tOggIOBase() {
    // Nobody else may use the object now: no lock needed.
    FStreams.clear();
}

std::unique_lock<TTimedLock> tOggIOBase::LockQueues(const char* skipped) const {
    std::unique_lock lock(FQueueLock, std::chrono::milliseconds(FQueueLockTimeoutMs.load()));
    if (!lock.owns_lock())
        DebugLine(std::string("Ogg page queue busy too long, ") + skipped + " skipped");
    return lock;
}

tOggStreamData* tOggIOBase::StreamAt(int index) const {
    if (index < 0 || index >= StreamCount()) return nullptr;
    return FStreams[static_cast<size_t>(index)].get();
}

int tOggIOBase::AddStream() {
    if (!OggReady()) return -1;
    auto stream = std::make_unique<tOggStreamData>();
    if (OggLib.ogg_stream_init(&stream->FStreamState, NewSerialNumber()) != 0) return -1;
    stream->FStateReady = true;
    std::unique_lock lock = LockQueues("adding a stream");
    if (!lock.owns_lock()) return -1;
    FStreams.push_back(std::move(stream));
    return StreamCount() - 1;
}

int32_t tOggIOBase::SerialNumber(int index) const {
    const tOggStreamData* stream = StreamAt(index);
    return stream ? static_cast<int32_t>(stream->FStreamState.serialno) : -1;
}

bool tOggIOBase::ClearStreams() {
    std::unique_lock lock = LockQueues("clearing the streams");
    if (!lock.owns_lock()) return false;
    FStreams.clear();
    return true;
}

int32_t tOggIOBase::PendingPackets(int index) const {
    const tOggStreamData* stream = StreamAt(index);
    return stream ? stream->FPendingPackets : 0;
}

bool tOggIOBase::SubmitPacket(int index, const ogg_packet& packet, TGranuleTimeFunc timeFunc,
                              void* timeObject) {
    tOggStreamData* stream = StreamAt(index);
    if (!stream) return false;
    // An empty packet is data: Theora's "repeat the previous frame", which carries the frame's
    // granule position. Dropping it would lose frames and shorten a still scene.
    if (packet.bytes < 0 || (packet.bytes > 0 && !packet.packet)) return false;
    // libogg copies the packet's bytes and never writes to the packet itself.
    if (OggLib.ogg_stream_packetin(&stream->FStreamState, const_cast<ogg_packet*>(&packet)) != 0) {
        return false;
    }
    stream->FTimeFunc = timeFunc;
    stream->FTimeObject = timeObject;
    ++stream->FPendingPackets;
    ogg_page page;
    while (OggLib.ogg_stream_pageout(&stream->FStreamState, &page) != 0) {
        stream->FPendingPackets = 0;
        if (!QueueStreamPage(index, *stream, page)) return false;
    }
    return true;
}

void tOggIOBase::HoldWriting(bool hold) {
    FWritingHeld.store(hold, std::memory_order_release);
    if (!hold) WritingReleased();
}

void tOggIOBase::WritingReleased() {
    WritePages(QueuedPageLimit, QueuedSpanLimitMs);
}

void tOggIOBase::ForgetTimeFunc(int index) {
    if (tOggStreamData* stream = StreamAt(index)) {
        stream->FTimeFunc = nullptr;
        stream->FTimeObject = nullptr;
    }
}

bool tOggIOBase::FlushStream(int index, bool* pageOut) {
    if (pageOut) *pageOut = false;
    tOggStreamData* stream = StreamAt(index);
    if (!stream) return false;
    try {
        stream->FPendingPackets = 0;
        ogg_page page;
        while (OggLib.ogg_stream_flush(&stream->FStreamState, &page) != 0) {
            if (!QueueStreamPage(index, *stream, page)) return false;
            if (pageOut) *pageOut = true;
        }
        return true;
    } catch (const std::exception& error) {
        DebugLine(std::string("Ogg stream flush failed: ") + error.what());
        return false;
    } catch (...) {
        DebugLine("Ogg stream flush failed");
        return false;
    }
}

bool tOggIOBase::QueueStreamPage(int index, tOggStreamData& stream, const ogg_page& page) {
    // A page on which no packet ends has granule position -1: it belongs to the time of the
    // stream's previous page.
    ogg_int64_t granule = OggLib.ogg_page_granulepos(const_cast<ogg_page*>(&page));
    if (granule < 0) granule = stream.FLastGranule;
    stream.FLastGranule = granule;
    const double timeSec = stream.FTimeFunc ? stream.FTimeFunc(stream.FTimeObject, granule) : 0.0;
    return QueuePage(index, page, timeSec);
}

bool tOggIOBase::QueuePage(int index, const ogg_page& page, double timeSec) {
    if (!StreamAt(index)) return false;
    if (page.header_len < 0 || page.body_len < 0 || page.header_len + page.body_len <= 0)
        return false;
    // The copy is made before taking the lock, so the lock is held only to append it.
    tOggPageData data = CopyPage(page, timeSec);
    {
        std::unique_lock lock = LockQueues("queueing a page");
        if (!lock.owns_lock()) {
            // A page lost is a hole in the stream that the operator must see.
            LogLine("Ogg page dropped: the page queue stayed busy too long");
            return false;
        }
        FStreams[static_cast<size_t>(index)]->FPages.push_back(std::move(data));
    }
    WritePagesAfterQueueing();
    return true;
}

void tOggIOBase::WriteRemainingPages() {
    for (int index = 0; index < StreamCount(); ++index) FlushStream(index);
    // With no page held back the span does not matter.
    WritePages(0, QueuedSpanLimitMs);
}

void tOggIOBase::WritePagesAfterQueueing() {
    WritePages(QueuedPageLimit, QueuedSpanLimitMs);
}

tOggStreamData* tOggIOBase::ChooseStream(int maxQueued, double spanSec, bool& pending) const {
    pending = false;
    tOggStreamData* chosen = nullptr;
    double earliest = 0.0;
    for (const auto& stream : FStreams) {
        const std::deque<tOggPageData>& pages = stream->FPages;
        if (pages.empty()) continue;
        if (static_cast<int64_t>(pages.size()) > maxQueued) pending = true;
        if (pages.back().FPageTime - pages.front().FPageTime >= spanSec) pending = true;
        if (pages.front().FIsBOS) {
            pending = true;
            return stream.get();
        }
        // "<=": of two heads with equal times the later stream's goes first.
        if (!chosen || pages.front().FPageTime <= earliest) {
            earliest = pages.front().FPageTime;
            chosen = stream.get();
        }
    }
    return chosen;
}

bool tOggIOBase::WritePages(int maxQueued, int maxSpanMs) {
    if (FWritingHeld.load(std::memory_order_acquire)) return true;
    const double spanSec = maxSpanMs / 1000.0;
    std::unique_lock lock = LockQueues("writing pages");
    if (!lock.owns_lock()) return false;
    bool pending = false;
    do {
        tOggStreamData* chosen = ChooseStream(maxQueued, spanSec, pending);
        if (!pending || !chosen) break;
        const tOggPageData& page = chosen->FPages.front();
        if (WriteData(page.FPageData.get(), page.FPageSize) != page.FPageSize) return false;
        chosen->FPages.pop_front();
    } while (pending);
    return true;
}
