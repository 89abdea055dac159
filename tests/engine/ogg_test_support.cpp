#include "tests/engine/ogg_test_support.h"

#include <unistd.h>

#include <cstring>
#include <filesystem>

TFakePage::TFakePage(int stream, int number, bool bos, size_t bodySize)
    : Header(27, 0), Body(bodySize, 0xA5) {
    Header[0] = 'O';
    Header[1] = 'g';
    Header[2] = 'g';
    Header[3] = 'S';
    Header[5] = bos ? 0x02 : 0x00;
    if (bodySize < 2) return;
    Body[0] = static_cast<uint8_t>(stream);
    Body[1] = static_cast<uint8_t>(number);
}

ogg_page TFakePage::Page() {
    return ogg_page{Header.data(), static_cast<long>(Header.size()), Body.data(),
                    static_cast<long>(Body.size())};
}

std::string PageLabel(const std::vector<uint8_t>& written) {
    if (written.size() < 29) return "?";
    return std::to_string(written[27]) + ":" + std::to_string(written[28]);
}

int32_t TRecordingOutput::WriteData(const uint8_t* buffer, int32_t size) {
    if (BeforeWrite) BeforeWrite();
    if (ShortWrites > 0) {
        --ShortWrites;
        return size - 1;
    }
    Writes.emplace_back(buffer, buffer + size);
    return size;
}

std::vector<std::string> TRecordingOutput::Labels() const {
    std::vector<std::string> labels;
    for (const auto& page : Writes) labels.push_back(PageLabel(page));
    return labels;
}

std::vector<uint8_t> TRecordingOutput::Bytes() const {
    std::vector<uint8_t> bytes;
    for (const auto& page : Writes) bytes.insert(bytes.end(), page.begin(), page.end());
    return bytes;
}

bool QueueFake(tOggIOBase& output, int index, int number, double timeSec, bool bos) {
    TFakePage fake(index, number, bos);
    ogg_page page = fake.Page();
    return output.QueuePage(index, page, timeSec);
}

ogg_packet MakePacket(std::vector<uint8_t>& bytes, ogg_int64_t granulePos, ogg_int64_t packetNo) {
    ogg_packet packet{};
    packet.packet = bytes.data();
    packet.bytes = static_cast<long>(bytes.size());
    packet.b_o_s = packetNo == 0 ? 1 : 0;
    packet.granulepos = granulePos;
    packet.packetno = packetNo;
    return packet;
}

namespace {

// The packets of one page's stream that became complete with it.
void TakePackets(ogg_stream_state& stream, std::vector<std::vector<uint8_t>>& packets,
                 bool& intact) {
    ogg_packet packet;
    int result;
    while ((result = ogg_stream_packetout(&stream, &packet)) != 0) {
        if (result < 0) {
            intact = false;
            continue;
        }
        packets.emplace_back(packet.packet, packet.packet + packet.bytes);
    }
}

}  // namespace

TParsedOgg ParseOgg(const std::vector<uint8_t>& bytes) {
    TParsedOgg parsed;
    ogg_sync_state sync;
    ogg_sync_init(&sync);
    char* buffer = ogg_sync_buffer(&sync, static_cast<long>(bytes.size()));
    std::memcpy(buffer, bytes.data(), bytes.size());
    ogg_sync_wrote(&sync, static_cast<long>(bytes.size()));
    std::map<int32_t, ogg_stream_state> streams;
    ogg_page page;
    int result;
    while ((result = ogg_sync_pageout(&sync, &page)) != 0) {
        if (result < 0) {
            parsed.Intact = false;
            continue;
        }
        const int32_t serial = ogg_page_serialno(&page);
        parsed.Pages.push_back({serial, ogg_page_bos(&page) != 0, ogg_page_granulepos(&page),
                                ogg_page_eos(&page) != 0});
        auto [entry, added] = streams.try_emplace(serial);
        if (added) ogg_stream_init(&entry->second, serial);
        if (ogg_stream_pagein(&entry->second, &page) != 0) parsed.Intact = false;
        TakePackets(entry->second, parsed.Packets[serial], parsed.Intact);
    }
    // Bytes left over belong to no whole page.
    if (sync.fill != sync.returned) parsed.Intact = false;
    for (auto& [serial, stream] : streams) ogg_stream_clear(&stream);
    ogg_sync_clear(&sync);
    return parsed;
}
