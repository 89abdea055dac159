#pragma once
// Pages and outputs for the Ogg output tests.

#include <ogg/ogg.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/ogg_io_base.h"
#include "tests/support/file_bytes.h"
#include "tests/support/temp_folder.h"

// A page made by hand: a 27-byte header carrying the beginning-of-stream flag as asked, and a
// body that starts with the stream and page numbers, so written pages can be told apart.
struct TFakePage {
    TFakePage(int stream, int number, bool bos, size_t bodySize = 16);
    ogg_page Page();

    std::vector<uint8_t> Header;
    std::vector<uint8_t> Body;
};

// "stream:page" of a page made by TFakePage, as written.
std::string PageLabel(const std::vector<uint8_t>& written);

// Records every WriteData call as one written page.
class TRecordingOutput : public tOggIOBase {
  public:
    int32_t ReadData(uint8_t*, int32_t) override { return 0; }
    int32_t WriteData(const uint8_t* buffer, int32_t size) override;

    std::vector<std::string> Labels() const;
    // Every byte written, in order.
    std::vector<uint8_t> Bytes() const;

    using tOggIOBase::SetQueueLockTimeout;

    std::vector<std::vector<uint8_t>> Writes;
    int ShortWrites = 0;                // the next ShortWrites calls accept one byte less
    std::function<void()> BeforeWrite;  // runs at the start of every WriteData
};

// Queues a hand-made page on stream index with the given time.
bool QueueFake(tOggIOBase& output, int index, int number, double timeSec, bool bos = false);

// An ogg_packet over bytes, with the given granule position and packet number.
ogg_packet MakePacket(std::vector<uint8_t>& bytes, ogg_int64_t granulePos, ogg_int64_t packetNo);

// A physical Ogg stream taken apart with libogg: its pages in order, and the packets of
// every logical stream by serial number.
struct TParsedOgg {
    struct TPage {
        int32_t Serial;
        bool IsBOS;
        ogg_int64_t GranulePos;
        bool IsEOS = false;
    };
    std::vector<TPage> Pages;
    std::map<int32_t, std::vector<std::vector<uint8_t>>> Packets;
    bool Intact = true;  // every byte belonged to a page with a good checksum, no packet lost
};
TParsedOgg ParseOgg(const std::vector<uint8_t>& bytes);
