#include "engine/audio_converter.h"

#include <soxr.h>

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstring>

namespace {

bool SampleKindFor(uint16_t tag, uint16_t bits, TAudioConverter::TSampleKind& kind) {
    using Kind = TAudioConverter::TSampleKind;
    if (tag == WAVE_FORMAT_IEEE_FLOAT) {
        kind = Kind::Float32;
        return bits == 32;
    }
    if (tag != WAVE_FORMAT_PCM) return false;
    switch (bits) {
        case 8:
            kind = Kind::UInt8;
            return true;
        case 16:
            kind = Kind::Int16;
            return true;
        case 24:
            kind = Kind::Int24;
            return true;
        case 32:
            kind = Kind::Int32;
            return true;
        default:
            return false;
    }
}

// The plain tag a format stands for: its own, or the one its extensible subformat names.
uint16_t PlainTag(const TWaveFormatExtensible& source) {
    uint16_t tag = source.Format.wFormatTag;
    if (tag != WAVE_FORMAT_EXTENSIBLE) return tag;
    if (source.Format.cbSize < WAVE_FORMAT_EXTENSIBLE_SIZE) return 0;
    for (uint16_t plain : {WAVE_FORMAT_PCM, WAVE_FORMAT_IEEE_FLOAT})
        if (SameGuid(source.SubFormat, WaveSubFormat(plain))) return plain;
    return 0;
}

uint32_t ReadLE(const uint8_t* p, int bytes) {
    uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | p[i];
    return value;
}

float DecodeSample(TAudioConverter::TSampleKind kind, const uint8_t* p) {
    using Kind = TAudioConverter::TSampleKind;
    switch (kind) {
        case Kind::UInt8:
            return (static_cast<float>(p[0]) - 128.0f) / 128.0f;
        case Kind::Int16:
            return static_cast<float>(static_cast<int16_t>(ReadLE(p, 2))) / 32768.0f;
        case Kind::Int24: {
            // Place the 24 bits at the top of a 32-bit word so the sign comes along.
            auto value = static_cast<int32_t>(ReadLE(p, 3) << 8);
            return static_cast<float>(value) / 2147483648.0f;
        }
        case Kind::Int32:
            return static_cast<float>(static_cast<int32_t>(ReadLE(p, 4))) / 2147483648.0f;
        case Kind::Float32: {
            float value;
            std::memcpy(&value, p, sizeof value);
            // Captured float may hold anything; NaN would poison the resampler's filter.
            return std::isfinite(value) ? std::clamp(value, -1.0f, 1.0f) : 0.0f;
        }
    }
    return 0.0f;
}

int16_t ToInt16(float value) {
    return static_cast<int16_t>(std::lrint(std::clamp(value * 32768.0f, -32768.0f, 32767.0f)));
}

}  // namespace

bool TAudioConverter::DescribeSource(const TWaveFormatExtensible& source, TSourceLayout& layout) {
    const TWaveFormatEx& format = source.Format;
    if (!SampleKindFor(PlainTag(source), format.wBitsPerSample, layout.Kind)) return false;
    if (format.nChannels == 0) return false;
    if (format.nSamplesPerSec < MinSourceRate || format.nSamplesPerSec > MaxSourceRate)
        return false;
    layout.BytesPerSample = format.wBitsPerSample / 8;
    layout.Channels = format.nChannels;
    layout.Rate = format.nSamplesPerSec;
    layout.BlockAlign = format.nBlockAlign;
    return layout.BlockAlign == layout.Channels * layout.BytesPerSample;
}

std::unique_ptr<TAudioConverter> TAudioConverter::Open(const TWaveFormatExtensible& source,
                                                       const TWaveFormatEx& target) {
    assert(target.wFormatTag == WAVE_FORMAT_PCM && target.wBitsPerSample == 16);
    assert(target.nChannels == 1 || target.nChannels == 2);
    TSourceLayout layout;
    if (!DescribeSource(source, layout)) return nullptr;
    std::unique_ptr<TAudioConverter> converter(new TAudioConverter(layout, target));
    if (!converter->CreateResampler()) return nullptr;
    return converter;
}

TAudioConverter::TAudioConverter(const TSourceLayout& source, const TWaveFormatEx& target)
    : FSource(source),
      FTargetChannels(target.nChannels),
      FTargetRate(target.nSamplesPerSec),
      FResampler(nullptr, soxr_delete),
      FCarry(static_cast<size_t>(source.BlockAlign)),
      FDecoded(static_cast<size_t>(ChunkFrames) * static_cast<size_t>(source.Channels)),
      FMixed(static_cast<size_t>(ChunkFrames) * static_cast<size_t>(target.nChannels)) {}

TAudioConverter::~TAudioConverter() = default;

bool TAudioConverter::CreateResampler() {
    if (FSource.Rate == FTargetRate) return true;
    // Float in keeps the precision of 24- and 32-bit sources; no dither, so equal input gives
    // equal output; one thread, so the library starts none of its own.
    soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_INT16_I);
    io.flags |= SOXR_NO_DITHER;
    soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    soxr_error_t error = nullptr;
    FResampler.reset(soxr_create(FSource.Rate, FTargetRate, static_cast<unsigned>(FTargetChannels),
                                 &error, &io, &quality, &runtime));
    return error == nullptr && FResampler != nullptr;
}

int32_t TAudioConverter::Convert(const uint8_t* source, int32_t sourceLength, int16_t* dest,
                                 int32_t destFrames) {
    int32_t written = 0;
    auto convert = [&](const uint8_t* frames, int32_t count) {
        written +=
            ConvertFrames(frames, count, dest + written * FTargetChannels, destFrames - written);
    };
    while (sourceLength > 0) {
        if (FCarryLength > 0 || sourceLength < FSource.BlockAlign) {
            int32_t take = std::min(FSource.BlockAlign - FCarryLength, sourceLength);
            std::memcpy(FCarry.data() + FCarryLength, source, static_cast<size_t>(take));
            FCarryLength += take;
            source += take;
            sourceLength -= take;
            if (FCarryLength == FSource.BlockAlign) {
                FCarryLength = 0;
                convert(FCarry.data(), 1);
            }
            continue;
        }
        int32_t frames = std::min(sourceLength / FSource.BlockAlign, ChunkFrames);
        convert(source, frames);
        source += frames * FSource.BlockAlign;
        sourceLength -= frames * FSource.BlockAlign;
    }
    return written;
}

int32_t TAudioConverter::ConvertFrames(const uint8_t* source, int32_t frames, int16_t* dest,
                                       int32_t destFrames) {
    DecodeFrames(source, frames);
    MixFrames(frames);
    if (FResampler) return Resample(frames, dest, destFrames);
    frames = std::min(frames, destFrames);
    for (int32_t i = 0; i < frames * FTargetChannels; ++i)
        dest[i] = ToInt16(FMixed[static_cast<size_t>(i)]);
    return frames;
}

void TAudioConverter::DecodeFrames(const uint8_t* source, int32_t frames) {
    const int32_t samples = frames * FSource.Channels;
    for (int32_t i = 0; i < samples; ++i)
        FDecoded[static_cast<size_t>(i)] =
            DecodeSample(FSource.Kind, source + i * FSource.BytesPerSample);
}

void TAudioConverter::MixFrames(int32_t frames) {
    const int32_t channels = FSource.Channels;
    const float* in = FDecoded.data();
    float* out = FMixed.data();
    for (int32_t f = 0; f < frames; ++f, in += channels) {
        if (FTargetChannels == 1) {
            float sum = 0.0f;
            for (int32_t c = 0; c < channels; ++c) sum += in[c];
            *out++ = sum / static_cast<float>(channels);
        } else if (channels == 1) {
            *out++ = in[0];
            *out++ = in[0];
        } else {
            // Channels past the first two (centre, surround) go into both sides at half
            // weight; the sum is scaled so a full-scale signal on all channels stays in range.
            float rest = 0.0f;
            for (int32_t c = 2; c < channels; ++c) rest += in[c];
            const float scale = 1.0f / (1.0f + 0.5f * static_cast<float>(channels - 2));
            *out++ = (in[0] + 0.5f * rest) * scale;
            *out++ = (in[1] + 0.5f * rest) * scale;
        }
    }
}

int32_t TAudioConverter::Resample(int32_t frames, int16_t* dest, int32_t destFrames) {
    const float* in = FMixed.data();
    int32_t produced = 0;
    // The resampler takes all input while it has room to write; loop in case it stops early.
    while (frames > 0) {
        size_t used = 0;
        size_t done = 0;
        soxr_error_t error = soxr_process(FResampler.get(), in, static_cast<size_t>(frames), &used,
                                          dest + produced * FTargetChannels,
                                          static_cast<size_t>(destFrames - produced), &done);
        produced += static_cast<int32_t>(done);
        frames -= static_cast<int32_t>(used);
        in += used * static_cast<size_t>(FTargetChannels);
        if (error != nullptr || (used == 0 && done == 0)) break;
    }
    return produced;
}
