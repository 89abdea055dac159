// CPU time to encode one second of sound with Vorbis at the default quality (-0.06), fed a
// fifteenth of a second at a time as the live encoder does: our codec with its Ogg paging
// into an output that drops the bytes, and libvorbis called directly without any paging, as
// the floor. The stream runs on across iterations, as a live stream does. Time per iteration
// is the cost of one second of audio; arguments are rate (Hz) and channels.

#include <benchmark/benchmark.h>
#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "engine/ogg_io_base.h"
#include "engine/ogg_vorbis_codec.h"

namespace {

constexpr double DefaultQuality = -0.06;

// A chord with a little noise, so the encoder has something to work on in every band.
std::vector<int16_t> OneSecond(int rate, int channels) {
    std::vector<int16_t> samples;
    samples.reserve(static_cast<size_t>(rate * channels));
    uint32_t noise = 12345;
    for (int i = 0; i < rate; ++i) {
        for (int c = 0; c < channels; ++c) {
            double t = static_cast<double>(i) / rate;
            double value = 0.2 * std::sin(2 * std::numbers::pi * (220 + 110 * c) * t) +
                           0.15 * std::sin(2 * std::numbers::pi * 1375 * t) +
                           0.1 * std::sin(2 * std::numbers::pi * 4400 * t);
            noise = noise * 1664525u + 1013904223u;
            value += 0.02 * (static_cast<double>(noise >> 8) / (1u << 24) - 0.5);
            samples.push_back(static_cast<int16_t>(std::lrint(value * 32767)));
        }
    }
    return samples;
}

class TDiscardingOutput : public tOggIOBase {
  public:
    int32_t ReadData(uint8_t*, int32_t) override { return 0; }
    int32_t WriteData(const uint8_t*, int32_t size) override { return size; }
};

void BM_OurCodecOneSecond(benchmark::State& state) {
    const int rate = static_cast<int>(state.range(0));
    const int channels = static_cast<int>(state.range(1));
    const std::vector<int16_t> second = OneSecond(rate, channels);
    TDiscardingOutput output;
    tOggVorbisCodec codec;
    if (!codec.Init(&output, channels, DefaultQuality, rate)) {
        state.SkipWithError("Init failed");
        return;
    }
    const int chunk = rate / 15;
    for (auto _ : state) {
        for (int at = 0; at < rate; at += chunk) {
            codec.Encode(second.data() + static_cast<size_t>(at * channels),
                         std::min(chunk, rate - at), false);
        }
    }
}

// The same work without our code around it: the floor for the comparison.
void BM_LibvorbisAloneOneSecond(benchmark::State& state) {
    const int rate = static_cast<int>(state.range(0));
    const int channels = static_cast<int>(state.range(1));
    const std::vector<int16_t> second = OneSecond(rate, channels);
    vorbis_info info;
    vorbis_dsp_state dsp;
    vorbis_block block;
    vorbis_info_init(&info);
    vorbis_encode_init_vbr(&info, channels, rate, static_cast<float>(DefaultQuality));
    vorbis_analysis_init(&dsp, &info);
    vorbis_block_init(&dsp, &block);
    const int chunk = rate / 15;
    for (auto _ : state) {
        for (int at = 0; at < rate; at += chunk) {
            const int frames = std::min(chunk, rate - at);
            float** planes = vorbis_analysis_buffer(&dsp, frames);
            const int16_t* in = second.data() + static_cast<size_t>(at * channels);
            for (int i = 0; i < frames; ++i)
                for (int c = 0; c < channels; ++c) planes[c][i] = *in++ / 32768.0f;
            vorbis_analysis_wrote(&dsp, frames);
            while (vorbis_analysis_blockout(&dsp, &block) == 1) {
                vorbis_analysis(&block, nullptr);
                vorbis_bitrate_addblock(&block);
                ogg_packet packet;
                while (vorbis_bitrate_flushpacket(&dsp, &packet)) benchmark::DoNotOptimize(packet);
            }
        }
    }
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_info_clear(&info);
}

}  // namespace

BENCHMARK(BM_OurCodecOneSecond)->Args({22050, 1})->Args({44100, 2})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibvorbisAloneOneSecond)
    ->Args({22050, 1})
    ->Args({44100, 2})
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
