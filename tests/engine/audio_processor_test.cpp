#include "engine/audio_processor.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <numeric>
#include <thread>

#include "settings/log.h"
#include "settings/settings.h"
#include "tests/engine/audio_signal.h"

namespace {

using namespace audio_signal;
using std::chrono::milliseconds;

// Index of the rate in SampleRateTable.
int RateIndex(int rate) {
    return static_cast<int>(
        std::find(std::begin(SampleRateTable), std::end(SampleRateTable), rate) -
        std::begin(SampleRateTable));
}

void SetTarget(int rate, bool stereo) {
    Settings.VorbisSampleFreq = RateIndex(rate);
    Settings.VorbisStereo = stereo;
}

// Polls until the condition holds; false after five seconds.
bool WaitUntil(const std::function<bool()>& condition) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(milliseconds(1));
    }
    return true;
}

// Reads until wanted bytes have come out or nothing more comes for a while.
std::vector<uint8_t> ReadBytes(TAudioProcessor& processor, size_t wanted) {
    std::vector<uint8_t> out(wanted);
    size_t got = 0;
    WaitUntil([&] {
        got += static_cast<size_t>(processor.Read(
            out.data() + got, static_cast<int32_t>(std::min<size_t>(wanted - got, 1 << 20))));
        return got == wanted;
    });
    out.resize(got);
    return out;
}

// Writes in chunks, waiting while the processor refuses for lack of room.
void WriteAll(TAudioProcessor& processor, const std::vector<uint8_t>& bytes, size_t chunk) {
    for (size_t at = 0; at < bytes.size(); at += chunk) {
        auto length = static_cast<int32_t>(std::min(chunk, bytes.size() - at));
        ASSERT_TRUE(WaitUntil([&] { return processor.Write(bytes.data() + at, length); }));
    }
}

class AudioProcessor : public ::testing::Test {
  protected:
    void SetUp() override {
        Settings.DebugMode = true;
        TakeLog();
    }
    void TearDown() override { Settings.DebugMode = false; }
};

TWaveFormatEx OutputFor(int rate, bool stereo) {
    SetTarget(rate, stereo);
    return TAudioProcessor(MakeWaveFormat(WAVE_FORMAT_PCM, 1, 8000, 16)).OutputFormat();
}

TEST_F(AudioProcessor, OutputFormatFollowsTheSettings) {
    EXPECT_TRUE(
        SameWaveFormat(OutputFor(22050, false), TWaveFormatEx{1, 1, 22050, 44100, 2, 16, 0}));
    EXPECT_TRUE(
        SameWaveFormat(OutputFor(48000, true), TWaveFormatEx{1, 2, 48000, 192000, 4, 16, 0}));
    Settings.VorbisSampleFreq = 17;  // never stored, but must not read past the table
    TWaveFormatEx clamped =
        TAudioProcessor(MakeWaveFormat(WAVE_FORMAT_PCM, 1, 8000, 16)).OutputFormat();
    EXPECT_TRUE(SameWaveFormat(clamped, TWaveFormatEx{1, 2, 48000, 192000, 4, 16, 0}));
}

// The same format passes straight through, and Read hands out whole sample frames only, so a
// frame split across two captured buffers never comes out in halves.
TEST_F(AudioProcessor, PassThroughHandsOutWholeFramesAtOnce) {
    SetTarget(44100, true);
    TAudioProcessor processor(MakeWaveFormat(WAVE_FORMAT_PCM, 2, 44100, 16));
    EXPECT_TRUE(processor.PassThrough());
    EXPECT_FALSE(processor.Running());
    std::vector<uint8_t> bytes(11);
    std::iota(bytes.begin(), bytes.end(), 1);
    ASSERT_TRUE(processor.Write(bytes.data(), 7));
    uint8_t out[16] = {};
    EXPECT_EQ(processor.Read(out, 16), 4);  // one frame; 3 bytes of the next wait
    EXPECT_EQ(processor.Read(out, 16), 0);
    ASSERT_TRUE(processor.Write(bytes.data() + 7, 4));
    EXPECT_EQ(processor.Read(out + 4, 3), 0);  // less than a frame asked for
    EXPECT_EQ(processor.Read(out + 4, 16), 4);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 8),
              std::vector<uint8_t>(bytes.begin(), bytes.begin() + 8));
}

// All 18 bytes count: a record that differs only in its average rate is converted (to the
// same sound), not passed through.
TEST_F(AudioProcessor, AnyDifferingByteSelectsConversion) {
    SetTarget(22050, false);
    TWaveFormatEx odd = MakeWaveFormat(WAVE_FORMAT_PCM, 1, 22050, 16);
    odd.nAvgBytesPerSec += 1;
    TAudioProcessor processor(odd);
    EXPECT_FALSE(processor.PassThrough());
    EXPECT_TRUE(processor.Running());
    std::vector<int16_t> ramp(2048);
    std::iota(ramp.begin(), ramp.end(), -1000);
    WriteAll(processor, Bytes(ramp), 4096);
    EXPECT_EQ(Samples(ReadBytes(processor, 4096)), ramp);
    EXPECT_NE(TakeLog().find("ACMConverter Thread Started"), std::string::npos);
}

TEST_F(AudioProcessor, ConversionWaitsForAWholeBlock) {
    SetTarget(22050, false);
    TAudioProcessor processor(MakeExtensibleFormat(WAVE_FORMAT_PCM, 1, 22050, 16));
    std::vector<uint8_t> block(2048, 0x11);
    ASSERT_TRUE(processor.Write(block.data(), 2047));
    std::this_thread::sleep_for(milliseconds(50));  // several worker rounds
    uint8_t out[4096];
    EXPECT_EQ(processor.Read(out, 4096), 0);
    ASSERT_TRUE(processor.Write(block.data(), 1));
    EXPECT_EQ(ReadBytes(processor, 2048).size(), 2048u);
}

// The encoder waits for sound instead of polling: output queued after a short Read, in
// either mode, or the stop's wake ends the wait (a minute-long bound is never reached).
TEST_F(AudioProcessor, AReaderWaitingForSoundIsWokenByOutputOrByTheStop) {
    constexpr int Minute = 60000;
    SetTarget(22050, false);
    for (const bool convert : {false, true}) {
        TAudioProcessor processor(MakeWaveFormat(WAVE_FORMAT_PCM, 1, convert ? 44100 : 22050, 16));
        uint8_t out[4096];
        EXPECT_EQ(processor.Read(out, 4096), 0);
        // Enough blocks that the resampler's delay is filled and output comes.
        std::vector<uint8_t> sound(16384, 0x22);
        std::thread capture([&] {
            std::this_thread::sleep_for(milliseconds(20));
            processor.Write(sound.data(), 16384);
        });
        EXPECT_TRUE(processor.WaitForOutput(Minute)) << convert;
        capture.join();
        EXPECT_GT(processor.Read(out, 4096), 0) << convert;
    }
    TAudioProcessor idle(MakeWaveFormat(WAVE_FORMAT_PCM, 1, 22050, 16));
    uint8_t out[16];
    EXPECT_EQ(idle.Read(out, 16), 0);
    std::thread stop([&] {
        std::this_thread::sleep_for(milliseconds(20));
        idle.WakeReader();
    });
    EXPECT_TRUE(idle.WaitForOutput(Minute));
    stop.join();
}

TEST_F(AudioProcessor, UnconvertibleCaptureIsAcceptedButSilent) {
    SetTarget(44100, true);
    TWaveFormatEx compressed = MakeWaveFormat(0x55, 2, 44100, 16);
    TAudioProcessor processor(compressed);
    EXPECT_FALSE(processor.PassThrough());
    EXPECT_FALSE(processor.Running());
    EXPECT_NE(TakeLog().find("ACMConverter=NIL"), std::string::npos);
    std::vector<uint8_t> chunk(100000, 1);
    for (int i = 0; i < 9; ++i) EXPECT_TRUE(processor.Write(chunk.data(), 100000));
    EXPECT_TRUE(processor.Write(chunk.data(), 62000));  // the input queue is now full
    EXPECT_FALSE(processor.Write(chunk.data(), 1));
    uint8_t out[64];
    EXPECT_EQ(processor.Read(out, 64), 0);
}

// A reader that falls behind fills the output queue; the converted block that no longer fits
// waits for room instead of being dropped, so every sample arrives in order. 962000 is no
// multiple of the 2048-byte block, so a block straddles the moment the queue fills.
TEST_F(AudioProcessor, FullOutputQueueLosesNoConvertedSamples) {
    SetTarget(22050, false);
    TAudioProcessor processor(MakeExtensibleFormat(WAVE_FORMAT_PCM, 1, 22050, 16));
    std::vector<int16_t> ramp(733 * 1024);   // 733 blocks: more than both queues hold
    std::iota(ramp.begin(), ramp.end(), 0);  // wraps around through every value
    WriteAll(processor, Bytes(ramp), 10000);
    EXPECT_EQ(Samples(ReadBytes(processor, 2 * ramp.size())), ramp);
}

// Capture thread writing, worker converting, encoder thread reading, all at once: the result
// equals a plain conversion of the same bytes in 2048-byte blocks, 44100 Hz stereo to 22050 Hz
// mono with both tones in it.
TEST_F(AudioProcessor, ConcurrentCaptureConversionAndReadingMatchAPlainConversion) {
    SetTarget(22050, false);
    const TWaveFormatEx capture = MakeWaveFormat(WAVE_FORMAT_PCM, 2, 44100, 16);
    auto input = Bytes(ToInt16(Sines(44100, 3 * 44100, {1000, 500})));

    std::vector<int16_t> expected =
        ProcessorOutput(capture, MakeWaveFormat(WAVE_FORMAT_PCM, 1, 22050, 16), input);
    const size_t frames = expected.size();
    ASSERT_GT(frames, 3u * 22050u - 2048u);  // all but the filter delay and the last part-block

    TAudioProcessor processor(capture);
    std::vector<uint8_t> received;
    std::thread encoder([&] { received = ReadBytes(processor, 2 * frames); });
    std::thread capturer([&] { WriteAll(processor, input, 1764); });  // 10 ms capture buffers
    capturer.join();
    encoder.join();
    std::vector<int16_t> out = Samples(received);
    EXPECT_EQ(out, expected);
    EXPECT_NEAR(ToneLevel(out, 1, 0, 22050, 1000, 2000), 0.25, 0.01);
    EXPECT_NEAR(ToneLevel(out, 1, 0, 22050, 500, 2000), 0.25, 0.01);
}

}  // namespace
