// The sound path from capture to file, as a run uses it: captured PCM through the audio
// processor into the Vorbis encoder and a recorded Ogg file, judged by ffmpeg's decoder.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/audio_processor.h"
#include "engine/ogg_file.h"
#include "engine/ogg_vorbis_codec.h"
#include "settings/settings.h"
#include "tests/engine/audio_signal.h"
#include "tests/engine/ogg_test_support.h"
#include "tests/support/run_command.h"

namespace {

using namespace audio_signal;

constexpr double DefaultQuality = -0.06;
constexpr double Seconds = 3.0;
constexpr int ProcessorBlock = TAudioProcessor::SourceBlockSize;

std::string Probe(const std::string& path) {
    const TCommandResult probe = CommandOutput(
        "ffprobe -v error -show_entries stream=codec_name,sample_rate,channels -of default=nw=1 " +
        Quote(path));
    return probe.ExitCode == 0 ? probe.Output : "ffprobe failed";
}

std::vector<int16_t> Decode(const std::string& path) {
    const TCommandResult decode =
        CommandOutput("ffmpeg -v error -i " + Quote(path) + " -f s16le - 2>/dev/null");
    if (decode.ExitCode != 0) return {};
    return Samples(std::vector<uint8_t>(decode.Output.begin(), decode.Output.end()));
}

class AudioPath : public ::testing::Test {
  protected:
    void SetUp() override {
        FSavedFreq = Settings.VorbisSampleFreq;
        FSavedStereo = Settings.VorbisStereo;
    }
    void TearDown() override {
        Settings.VorbisSampleFreq = FSavedFreq;
        Settings.VorbisStereo = FSavedStereo;
    }

    // Captures Seconds of a 1000 Hz tone on the left and 500 Hz on the right in the capture
    // format, as 10 ms buffers, and records what the live encoder would make of it: each
    // read of the processor's output goes straight to the encoder. Returns the sample frames
    // encoded; Finish ends the stream as a stopped run does.
    int64_t Record(const TWaveFormatEx& capture, const std::string& path) {
        const int captureRate = static_cast<int>(capture.nSamplesPerSec);
        const std::vector<uint8_t> input = Bytes(
            ToInt16(Sines(captureRate, static_cast<int>(captureRate * Seconds), {1000, 500})));
        TAudioProcessor processor(capture);
        const TWaveFormatEx output = processor.OutputFormat();
        // What the processor delivers for whole 2048-byte blocks of the input.
        const size_t expected = ProcessorOutput(capture, output, input).size() / output.nChannels;

        tOggFile file;
        tOggVorbisCodec codec;
        if (!file.Open(path) || !codec.Init(&file, output.nChannels, DefaultQuality,
                                            static_cast<int32_t>(output.nSamplesPerSec))) {
            return -1;
        }
        std::vector<uint8_t> buffer(1 << 16);
        int64_t encoded = 0;
        auto drain = [&] {
            int32_t got;
            while ((got = processor.Read(buffer.data(), static_cast<int32_t>(buffer.size()))) > 0) {
                const int32_t frames = got / output.nBlockAlign;
                if (!codec.Encode(reinterpret_cast<const int16_t*>(buffer.data()), frames, false)) {
                    return false;
                }
                encoded += frames;
            }
            return true;
        };
        const size_t chunk = capture.nAvgBytesPerSec / 100;
        for (size_t at = 0; at < input.size(); at += chunk) {
            const auto length = static_cast<int32_t>(std::min(chunk, input.size() - at));
            if (!processor.Write(input.data() + at, length) || !drain()) return -1;
        }
        // The worker converts what is left; the wait is bounded.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (static_cast<size_t>(encoded) < expected &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            if (!drain()) return -1;
        }
        codec.Finish();
        file.Close();
        return encoded;
    }

    // Records a stereo capture at captureRate in the target format the settings ask for,
    // checks what ffprobe sees and the length, and returns the decoded sound.
    std::vector<int16_t> RecordAndDecode(int captureRate, int targetRate, int targetChannels) {
        Settings.VorbisSampleFreq = static_cast<int32_t>(
            std::find(std::begin(SampleRateTable), std::end(SampleRateTable), targetRate) -
            std::begin(SampleRateTable));
        Settings.VorbisStereo = targetChannels == 2;
        const TWaveFormatEx capture =
            MakeWaveFormat(WAVE_FORMAT_PCM, 2, static_cast<uint32_t>(captureRate), 16);
        const std::string path =
            MakeTempFolder("audio_path_" + std::to_string(targetRate)) + "sound.ogg";
        const int64_t encoded = Record(capture, path);
        EXPECT_GT(encoded, 0);
        EXPECT_EQ(Probe(path), "codec_name=vorbis\nsample_rate=" + std::to_string(targetRate) +
                                   "\nchannels=" + std::to_string(targetChannels) + "\n");
        std::vector<int16_t> decoded = Decode(path);
        // Within one 2048-byte block of output PCM: the processor keeps back a part block and
        // its resampler's delay, and nothing encoded may go missing at the end.
        EXPECT_NEAR(static_cast<double>(decoded.size()) / targetChannels, targetRate * Seconds,
                    ProcessorBlock / (2.0 * targetChannels))
            << encoded << " frames encoded";
        return decoded;
    }

  private:
    int FSavedFreq = 0;
    bool FSavedStereo = false;
};

TEST_F(AudioPath, StereoCaptureBecomesMonoAtTheTargetRate) {
    const std::vector<int16_t> decoded = RecordAndDecode(44100, 22050, 1);
    ASSERT_GT(decoded.size(), 22050u);
    // Both tones reach the single channel; nothing stands out between and beyond them.
    const size_t settle = 2048;
    EXPECT_GT(ToneLevel(decoded, 1, 0, 22050, 1000, settle), 0.15);
    EXPECT_GT(ToneLevel(decoded, 1, 0, 22050, 500, settle), 0.15);
    EXPECT_LT(ToneLevel(decoded, 1, 0, 22050, 750, settle), 0.02);
    EXPECT_LT(ToneLevel(decoded, 1, 0, 22050, 3000, settle), 0.02);
}

TEST_F(AudioPath, StereoCaptureKeepsItsChannelsApart) {
    const std::vector<int16_t> decoded = RecordAndDecode(48000, 44100, 2);
    ASSERT_GT(decoded.size(), 2 * 44100u);
    const size_t settle = 4096;
    const double left1000 = ToneLevel(decoded, 2, 0, 44100, 1000, settle);
    const double left500 = ToneLevel(decoded, 2, 0, 44100, 500, settle);
    const double right1000 = ToneLevel(decoded, 2, 1, 44100, 1000, settle);
    const double right500 = ToneLevel(decoded, 2, 1, 44100, 500, settle);
    EXPECT_GT(left1000, 0.3);
    EXPECT_GT(right500, 0.3);
    EXPECT_GT(left1000, 10 * left500);
    EXPECT_GT(right500, 10 * right1000);
}

}  // namespace
