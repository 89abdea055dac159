#pragma once
// Turns sound in a capture format into 16-bit PCM at the target rate and channel count:
// sample-format change to float, channel mix (mono: the average of all channels; stereo: mono
// duplicated, or the first two channels with the rest added to both at half weight), rate
// change with libsoxr in streaming mode, then 16-bit output.
// Used by one thread at a time (the audio processor's worker). Blocks of any length may be
// given: a partial sample frame at the end of one block is kept and completed by the next,
// and the resampler keeps its filter state, so block boundaries leave no trace in the output.

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/wave_format.h"

struct soxr;

class TAudioConverter final {
  public:
    // The sample kinds the converter reads.
    enum class TSampleKind { UInt8, Int16, Int24, Int32, Float32 };

    struct TSourceLayout {
        TSampleKind Kind = TSampleKind::Int16;
        int32_t BytesPerSample = 2;
        int32_t Channels = 0;
        int32_t BlockAlign = 0;
        uint32_t Rate = 0;
    };

    // Capture rates outside this range are refused: below it one block of sound could
    // expand past the caller's five-second output buffer.
    static constexpr uint32_t MinSourceRate = 1000;
    static constexpr uint32_t MaxSourceRate = 768000;

    // The layout of a capture format, or false when it cannot be converted: a compressed or
    // unknown tag, an extensible format with another subformat, zero channels, a rate out of
    // range, a sample size other than 8/16/24/32-bit integer or 32-bit float, or a block
    // align that does not match channels x sample size.
    static bool DescribeSource(const TWaveFormatExtensible& source, TSourceLayout& layout);

    // Null when the source cannot be converted or the resampler cannot be created. target
    // must be 16-bit PCM with one or two channels.
    static std::unique_ptr<TAudioConverter> Open(const TWaveFormatExtensible& source,
                                                 const TWaveFormatEx& target);

    TAudioConverter(const TAudioConverter&) = delete;
    TAudioConverter& operator=(const TAudioConverter&) = delete;
    ~TAudioConverter();

    // Converts sourceLength bytes of the capture format into at most destFrames interleaved
    // sample frames of the target format at dest; returns the frames written. Output the
    // resampler still holds comes with later blocks.
    int32_t Convert(const uint8_t* source, int32_t sourceLength, int16_t* dest, int32_t destFrames);

    // Bytes of a partial source frame waiting for the rest of that frame.
    int32_t CarriedBytes() const { return FCarryLength; }

  private:
    TAudioConverter(const TSourceLayout& source, const TWaveFormatEx& target);
    bool CreateResampler();

    // Whole source frames in; target frames out, at most destFrames.
    int32_t ConvertFrames(const uint8_t* source, int32_t frames, int16_t* dest, int32_t destFrames);
    void DecodeFrames(const uint8_t* source, int32_t frames);
    void MixFrames(int32_t frames);
    int32_t Resample(int32_t frames, int16_t* dest, int32_t destFrames);

    static constexpr int32_t ChunkFrames = 1024;  // source frames handled per pass

    TSourceLayout FSource;
    int32_t FTargetChannels;
    uint32_t FTargetRate;
    std::unique_ptr<soxr, void (*)(soxr*)> FResampler;  // null when the rates are equal
    std::vector<uint8_t> FCarry;                        // one source frame
    int32_t FCarryLength = 0;                           // bytes of it held
    std::vector<float> FDecoded;                        // ChunkFrames x source channels
    std::vector<float> FMixed;                          // ChunkFrames x target channels
};
