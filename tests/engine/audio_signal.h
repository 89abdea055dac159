#pragma once
// Test signals and measurements for the sound path: sines in any sample layout, the level of
// one tone in one channel, and byte views of sample arrays.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <vector>

#include "engine/audio_converter.h"

namespace audio_signal {

// Interleaved sines, one frequency per channel, amplitude as a fraction of full scale.
inline std::vector<double> Sines(int rate, int frames, const std::vector<double>& freqs,
                                 double amplitude = 0.5) {
    std::vector<double> out;
    out.reserve(static_cast<size_t>(frames) * freqs.size());
    for (int i = 0; i < frames; ++i)
        for (double f : freqs)
            out.push_back(amplitude * std::sin(2 * std::numbers::pi * f * i / rate));
    return out;
}

inline std::vector<int16_t> ToInt16(const std::vector<double>& samples) {
    std::vector<int16_t> out;
    for (double s : samples) out.push_back(static_cast<int16_t>(std::lrint(s * 32767)));
    return out;
}

template <typename T>
std::vector<uint8_t> Bytes(const std::vector<T>& samples) {
    std::vector<uint8_t> out(samples.size() * sizeof(T));
    std::memcpy(out.data(), samples.data(), out.size());
    return out;
}

inline std::vector<int16_t> Samples(const std::vector<uint8_t>& bytes) {
    std::vector<int16_t> out(bytes.size() / 2);
    std::memcpy(out.data(), bytes.data(), out.size() * 2);
    return out;
}

// Amplitude (fraction of full scale) of the tone freq in one channel of interleaved 16-bit
// sound, over a Hann window of the frames from first to the end.
inline double ToneLevel(const std::vector<int16_t>& samples, int channels, int channel, double rate,
                        double freq, size_t first = 0) {
    size_t frames = samples.size() / static_cast<size_t>(channels);
    double re = 0, im = 0, weight = 0;
    size_t n = frames - first;
    for (size_t i = 0; i < n; ++i) {
        double w = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * static_cast<double>(i) /
                                        static_cast<double>(n));
        double x =
            samples[(first + i) * static_cast<size_t>(channels) + static_cast<size_t>(channel)] /
            32768.0;
        double phase = 2 * std::numbers::pi * freq * static_cast<double>(i) / rate;
        re += w * x * std::cos(phase);
        im += w * x * std::sin(phase);
        weight += w;
    }
    return 2 * std::hypot(re, im) / weight;
}

// Feeds the bytes to the converter in blocks of blockSize and collects the output.
inline std::vector<int16_t> ConvertInBlocks(TAudioConverter& converter,
                                            const std::vector<uint8_t>& bytes, size_t blockSize,
                                            int targetChannels) {
    std::vector<int16_t> out;
    std::vector<int16_t> buffer(1 << 20);
    const int32_t frames = static_cast<int32_t>(buffer.size()) / targetChannels;
    for (size_t at = 0; at < bytes.size(); at += blockSize) {
        auto length = static_cast<int32_t>(std::min(blockSize, bytes.size() - at));
        int32_t got = converter.Convert(bytes.data() + at, length, buffer.data(), frames);
        out.insert(out.end(), buffer.begin(), buffer.begin() + got * targetChannels);
    }
    return out;
}

// What the audio processor makes of captured bytes: a conversion in 2048-byte blocks, the
// last part-block left out.
inline std::vector<int16_t> ProcessorOutput(const TWaveFormatEx& capture,
                                            const TWaveFormatEx& target,
                                            const std::vector<uint8_t>& input) {
    auto converter = TAudioConverter::Open(WithEmptyExtension(capture), target);
    if (!converter) return {};
    std::vector<uint8_t> whole(input.begin(),
                               input.begin() + static_cast<ptrdiff_t>(input.size() / 2048 * 2048));
    return ConvertInBlocks(*converter, whole, 2048, target.nChannels);
}

}  // namespace audio_signal
