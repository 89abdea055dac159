#include "engine/audio_converter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "tests/engine/audio_signal.h"

namespace {

using namespace audio_signal;

// Encodes samples in [-1, 1] little-endian in the given container.
std::vector<uint8_t> Encode(const std::vector<double>& samples, uint16_t tag, int bits) {
    std::vector<uint8_t> out;
    for (double s : samples) {
        if (tag == WAVE_FORMAT_IEEE_FLOAT) {
            float f = static_cast<float>(s);
            uint8_t raw[4];
            std::memcpy(raw, &f, 4);
            out.insert(out.end(), raw, raw + 4);
        } else if (bits == 8) {
            out.push_back(static_cast<uint8_t>(std::min(std::lrint(s * 128), 127L) + 128));
        } else {
            auto value = static_cast<int64_t>(std::lrint(s * (std::ldexp(1.0, bits - 1) - 1)));
            for (int b = 0; b < bits / 8; ++b)
                out.push_back(static_cast<uint8_t>(value >> (8 * b)));
        }
    }
    return out;
}

TWaveFormatExtensible Plain(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits) {
    return WithEmptyExtension(MakeWaveFormat(tag, channels, rate, bits));
}

std::unique_ptr<TAudioConverter> OpenTo(const TWaveFormatExtensible& source, uint16_t channels,
                                        uint32_t rate) {
    return TAudioConverter::Open(source, MakeWaveFormat(WAVE_FORMAT_PCM, channels, rate, 16));
}

TEST(AudioConverter, StereoToHalfRateMonoKeepsBothTonesAndEverySample) {
    // One second of 44100 Hz stereo: 1000 Hz left, 500 Hz right.
    auto input = Bytes(ToInt16(Sines(44100, 44100, {1000, 500})));
    auto blockwise = OpenTo(Plain(WAVE_FORMAT_PCM, 2, 44100, 16), 1, 22050);
    auto whole = OpenTo(Plain(WAVE_FORMAT_PCM, 2, 44100, 16), 1, 22050);
    ASSERT_TRUE(blockwise && whole);
    std::vector<int16_t> out = ConvertInBlocks(*blockwise, input, 2048, 1);
    // Block boundaries leave no trace: the same as converting the whole second at once.
    EXPECT_EQ(out, ConvertInBlocks(*whole, input, input.size(), 1));
    // The resampler holds back only its filter delay, well under one block.
    EXPECT_GT(out.size(), 22050u - 1024u);
    EXPECT_LE(out.size(), 22050u);
    // Each tone at half its level (the average of the channels), nothing between them.
    EXPECT_NEAR(ToneLevel(out, 1, 0, 22050, 1000, 2000), 0.25, 0.01);
    EXPECT_NEAR(ToneLevel(out, 1, 0, 22050, 500, 2000), 0.25, 0.01);
    EXPECT_LT(ToneLevel(out, 1, 0, 22050, 750, 2000), 0.001);
}

TEST(AudioConverter, ResampledStereoKeepsLeftAndRightApart) {
    auto input = Bytes(ToInt16(Sines(48000, 48000, {1000, 500})));
    auto converter = OpenTo(Plain(WAVE_FORMAT_PCM, 2, 48000, 16), 2, 44100);
    ASSERT_TRUE(converter);
    std::vector<int16_t> out = ConvertInBlocks(*converter, input, 2048, 2);
    EXPECT_GT(out.size() / 2, 44100u - 1024u);
    EXPECT_NEAR(ToneLevel(out, 2, 0, 44100, 1000, 2000), 0.5, 0.01);
    EXPECT_NEAR(ToneLevel(out, 2, 1, 44100, 500, 2000), 0.5, 0.01);
    EXPECT_LT(ToneLevel(out, 2, 0, 44100, 500, 2000), 0.001);
    EXPECT_LT(ToneLevel(out, 2, 1, 44100, 1000, 2000), 0.001);
}

struct TSampleCase {
    const char* Name;
    TWaveFormatExtensible Format;
    uint16_t EncodeTag;
    int Bits;
    int Tolerance;  // in 16-bit steps
};

// Every sample kind, plain and extensible, read at its own rate (no resampling) and compared
// with the exact 16-bit value. 3 bytes x 2 channels = 6-byte frames: 2048-byte blocks split
// frames, so this also checks the partial-frame carry of the 24-bit case.
TEST(AudioConverter, EverySampleKindReadsToTheSame16BitValues) {
    const TSampleCase cases[] = {
        {"u8", Plain(WAVE_FORMAT_PCM, 2, 44100, 8), WAVE_FORMAT_PCM, 8, 129},
        {"s16", MakeExtensibleFormat(WAVE_FORMAT_PCM, 2, 44100, 16), WAVE_FORMAT_PCM, 16, 1},
        {"s24", Plain(WAVE_FORMAT_PCM, 2, 44100, 24), WAVE_FORMAT_PCM, 24, 1},
        {"s24 extensible", MakeExtensibleFormat(WAVE_FORMAT_PCM, 2, 44100, 24), WAVE_FORMAT_PCM, 24,
         1},
        {"s32", Plain(WAVE_FORMAT_PCM, 2, 44100, 32), WAVE_FORMAT_PCM, 32, 1},
        {"float", Plain(WAVE_FORMAT_IEEE_FLOAT, 2, 44100, 32), WAVE_FORMAT_IEEE_FLOAT, 32, 1},
        {"float extensible", MakeExtensibleFormat(WAVE_FORMAT_IEEE_FLOAT, 2, 44100, 32),
         WAVE_FORMAT_IEEE_FLOAT, 32, 1},
    };
    // Left rises from -0.9 towards +0.9, right is its negative: a swapped pair is obvious.
    std::vector<double> samples;
    for (int i = 0; i < 5000; ++i) {
        double v = -0.9 + 1.8 * i / 5000;
        samples.push_back(v);
        samples.push_back(-v);
    }
    for (const TSampleCase& c : cases) {
        SCOPED_TRACE(c.Name);
        auto converter = OpenTo(c.Format, 2, 44100);
        ASSERT_TRUE(converter);
        std::vector<int16_t> out =
            ConvertInBlocks(*converter, Encode(samples, c.EncodeTag, c.Bits), 2048, 2);
        ASSERT_EQ(out.size(), samples.size());
        int worst = 0;
        for (size_t i = 0; i < out.size(); ++i)
            worst = std::max(worst,
                             std::abs(out[i] - static_cast<int>(std::lrint(samples[i] * 32768))));
        EXPECT_LE(worst, c.Tolerance);
        EXPECT_EQ(converter->CarriedBytes(), 0);
    }
}

TEST(AudioConverter, PartialFrameWaitsForItsRest) {
    auto converter = OpenTo(Plain(WAVE_FORMAT_PCM, 2, 22050, 24), 2, 22050);
    ASSERT_TRUE(converter);
    // One frame: left 0x1234C0, right -0x1234C0 (0xEDCB40), split after 4 of its 6 bytes.
    const uint8_t frame[6] = {0xC0, 0x34, 0x12, 0x40, 0xCB, 0xED};
    int16_t out[4] = {};
    EXPECT_EQ(converter->Convert(frame, 4, out, 2), 0);
    EXPECT_EQ(converter->CarriedBytes(), 4);
    EXPECT_EQ(converter->Convert(frame + 4, 2, out, 2), 1);
    EXPECT_EQ(out[0], 0x1235);  // the low byte 0xC0 rounds up
    EXPECT_EQ(out[1], -0x1235);
}

TEST(AudioConverter, ChannelsAreMixedToTheTargetCount) {
    const int16_t quad[4] = {1000, 2000, 3000, 6000};  // one frame of four channels
    const int16_t mono[1] = {-1234};
    const int16_t triple[3] = {1000, -1000, 2000};  // left, right, centre
    int16_t out[2] = {};
    auto toMono = OpenTo(Plain(WAVE_FORMAT_PCM, 4, 22050, 16), 1, 22050);
    ASSERT_EQ(toMono->Convert(reinterpret_cast<const uint8_t*>(quad), 8, out, 2), 1);
    EXPECT_EQ(out[0], 3000);  // the average
    auto toStereo = OpenTo(Plain(WAVE_FORMAT_PCM, 1, 22050, 16), 2, 22050);
    ASSERT_EQ(toStereo->Convert(reinterpret_cast<const uint8_t*>(mono), 2, out, 2), 1);
    EXPECT_EQ(out[0], -1234);
    EXPECT_EQ(out[1], -1234);
    auto surround = OpenTo(Plain(WAVE_FORMAT_PCM, 3, 22050, 16), 2, 22050);
    ASSERT_EQ(surround->Convert(reinterpret_cast<const uint8_t*>(triple), 6, out, 2), 1);
    EXPECT_EQ(out[0], 1333);  // (1000 + 2000 / 2) / 1.5
    EXPECT_EQ(out[1], 0);     // (-1000 + 2000 / 2) / 1.5
}

TEST(AudioConverter, FloatOutOfRangeOrNotANumberIsTamed) {
    const float samples[4] = {2.5f, -7.0f, NAN, INFINITY};
    int16_t out[4] = {};
    auto converter = OpenTo(Plain(WAVE_FORMAT_IEEE_FLOAT, 1, 22050, 32), 1, 22050);
    ASSERT_EQ(converter->Convert(reinterpret_cast<const uint8_t*>(samples), 16, out, 4), 4);
    EXPECT_EQ(out[0], 32767);
    EXPECT_EQ(out[1], -32768);
    EXPECT_EQ(out[2], 0);
    EXPECT_EQ(out[3], 0);
}

TEST(AudioConverter, FormatsThatCannotBeConvertedAreRefused) {
    auto withBlockAlign = [](TWaveFormatExtensible f, uint16_t align) {
        f.Format.nBlockAlign = align;
        return f;
    };
    auto shortExtension = MakeExtensibleFormat(WAVE_FORMAT_PCM, 2, 44100, 16);
    shortExtension.Format.cbSize = 0;
    auto otherSubFormat = MakeExtensibleFormat(WAVE_FORMAT_PCM, 2, 44100, 16);
    otherSubFormat.SubFormat = WaveSubFormat(0x55);
    const std::pair<const char*, TWaveFormatExtensible> refused[] = {
        {"ADPCM", Plain(2, 2, 44100, 4)},
        {"MPEG layer 3", Plain(0x55, 2, 44100, 16)},
        {"no channels", Plain(WAVE_FORMAT_PCM, 0, 44100, 16)},
        {"no rate", Plain(WAVE_FORMAT_PCM, 2, 0, 16)},
        {"rate far too high", Plain(WAVE_FORMAT_PCM, 2, 10'000'000, 16)},
        {"block align too small", withBlockAlign(Plain(WAVE_FORMAT_PCM, 2, 44100, 16), 2)},
        {"block align zero", withBlockAlign(Plain(WAVE_FORMAT_PCM, 2, 44100, 16), 0)},
        {"12-bit", Plain(WAVE_FORMAT_PCM, 2, 44100, 12)},
        {"16-bit float", Plain(WAVE_FORMAT_IEEE_FLOAT, 2, 44100, 16)},
        {"extensible without its extension", shortExtension},
        {"extensible of another kind", otherSubFormat},
        {"extensible passed as a plain record", Plain(WAVE_FORMAT_EXTENSIBLE, 2, 44100, 16)},
    };
    for (const auto& [name, format] : refused) {
        SCOPED_TRACE(name);
        EXPECT_EQ(OpenTo(format, 2, 44100), nullptr);
    }
}

}  // namespace
