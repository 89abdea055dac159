#pragma once
// The wave format record in which sound formats pass between capture, live encoder and audio
// processor. Byte for byte the Windows WAVEFORMATEX (18 bytes, little-endian, no padding) and
// WAVEFORMATEXTENSIBLE (40 bytes), so two formats compare with memcmp.

#include <cstdint>
#include <cstring>

inline constexpr uint16_t WAVE_FORMAT_PCM = 1;
inline constexpr uint16_t WAVE_FORMAT_IEEE_FLOAT = 3;
inline constexpr uint16_t WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

#pragma pack(push, 1)

struct TWaveFormatEx {
    uint16_t wFormatTag = 0;
    uint16_t nChannels = 0;
    uint32_t nSamplesPerSec = 0;
    uint32_t nAvgBytesPerSec = 0;
    uint16_t nBlockAlign = 0;  // bytes of one sample frame (all channels)
    uint16_t wBitsPerSample = 0;
    uint16_t cbSize = 0;  // bytes of extension that follow this record
};

struct TGuid {
    uint32_t Data1 = 0;
    uint16_t Data2 = 0;
    uint16_t Data3 = 0;
    uint8_t Data4[8] = {};
};

// WAVE_FORMAT_EXTENSIBLE: the real sample kind is in SubFormat, whose Data1 holds the plain
// format tag (1 for integer PCM, 3 for float); cbSize is 22.
struct TWaveFormatExtensible {
    TWaveFormatEx Format;
    union {
        uint16_t wValidBitsPerSample;
        uint16_t wSamplesPerBlock;
        uint16_t wReserved;
    } Samples = {0};
    uint32_t dwChannelMask = 0;
    TGuid SubFormat;
};

#pragma pack(pop)

static_assert(sizeof(TWaveFormatEx) == 18);
static_assert(sizeof(TWaveFormatExtensible) == 40);

inline constexpr uint16_t WAVE_FORMAT_EXTENSIBLE_SIZE =
    sizeof(TWaveFormatExtensible) - sizeof(TWaveFormatEx);

// The subformat GUID for a plain tag: {tag-0000-0010-8000-00AA00389B71}.
inline constexpr TGuid WaveSubFormat(uint16_t tag) {
    return TGuid{tag, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
}

inline bool SameGuid(const TGuid& a, const TGuid& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// All 18 bytes equal, extra size and average bytes per second included.
inline bool SameWaveFormat(const TWaveFormatEx& a, const TWaveFormatEx& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// A consistent plain format record: block align and average rate follow from the rest.
inline TWaveFormatEx MakeWaveFormat(uint16_t tag, uint16_t channels, uint32_t samplesPerSec,
                                    uint16_t bitsPerSample) {
    TWaveFormatEx format;
    format.wFormatTag = tag;
    format.nChannels = channels;
    format.nSamplesPerSec = samplesPerSec;
    format.wBitsPerSample = bitsPerSample;
    format.nBlockAlign = static_cast<uint16_t>(bitsPerSample / 8 * channels);
    format.nAvgBytesPerSec = samplesPerSec * format.nBlockAlign;
    format.cbSize = 0;
    return format;
}

// A plain record in the extensible layout, its extension left empty (so an extensible tag
// without its extension names no subformat).
inline TWaveFormatExtensible WithEmptyExtension(const TWaveFormatEx& format) {
    TWaveFormatExtensible extended;
    extended.Format = format;
    return extended;
}

// The extensible form of the same format, with no speaker positions given.
inline TWaveFormatExtensible MakeExtensibleFormat(uint16_t subTag, uint16_t channels,
                                                  uint32_t samplesPerSec, uint16_t bitsPerSample) {
    TWaveFormatExtensible format;
    format.Format = MakeWaveFormat(WAVE_FORMAT_EXTENSIBLE, channels, samplesPerSec, bitsPerSample);
    format.Format.cbSize = WAVE_FORMAT_EXTENSIBLE_SIZE;
    format.Samples.wValidBitsPerSample = bitsPerSample;
    format.SubFormat = WaveSubFormat(subTag);
    return format;
}
