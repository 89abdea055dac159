#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "engine/ogg_io_base.h"
#include "tests/engine/ogg_test_support.h"

namespace {

constexpr int PacketsPerStream = 400;

std::vector<uint8_t> PacketBytes(int stream, int number) {
    std::vector<uint8_t> bytes(static_cast<size_t>(1 + (number * 197 + stream * 61) % 2500));
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(stream * 100 + number + i);
    return bytes;
}

// Granule positions per second of the video-like and the audio-like stream.
double Rates[2] = {15.0 * 1024, 44100.0};

double GranuleSeconds(void* rate, ogg_int64_t granulePos) {
    return static_cast<double>(granulePos) / *static_cast<double*>(rate);
}

bool Submit(tOggIOBase& output, int stream, int number) {
    std::vector<uint8_t> bytes = PacketBytes(stream, number);
    ogg_packet packet = MakePacket(bytes, (number + 1) * 1024, number);
    return output.SubmitPacket(stream, packet, GranuleSeconds, &Rates[stream]);
}

// One encoder after its header: submits its packets, forcing a page out now and then, as
// the encoders do.
void Produce(tOggIOBase& output, int stream, std::atomic<bool>& failed) {
    for (int number = 1; number < PacketsPerStream; ++number) {
        if (!Submit(output, stream, number)) failed = true;
        if (number % 15 == 14 && !output.FlushStream(stream)) failed = true;
    }
}

TEST(OggOutputConcurrency, TwoProducersAndAWriterLoseNothing) {
    TRecordingOutput output;
    ASSERT_EQ(output.AddStream(), 0);
    ASSERT_EQ(output.AddStream(), 1);
    // The headers go in before the encoding threads start.
    ASSERT_TRUE(Submit(output, 0, 0));
    ASSERT_TRUE(Submit(output, 1, 0));
    std::atomic<bool> failed{false};
    std::atomic<int> running{2};
    auto producer = [&](int stream) {
        Produce(output, stream, failed);
        --running;
    };
    std::thread video(producer, 0);
    std::thread audio(producer, 1);
    // The live encoder's thread keeps asking for pages meanwhile.
    while (running > 0) {
        output.WritePages(1, 3000);
        std::this_thread::yield();
    }
    video.join();
    audio.join();
    ASSERT_FALSE(failed);
    ASSERT_TRUE(output.FlushStream(0));
    ASSERT_TRUE(output.FlushStream(1));
    ASSERT_TRUE(output.WritePages(0, 3000));

    TParsedOgg parsed = ParseOgg(output.Bytes());
    EXPECT_TRUE(parsed.Intact);
    ASSERT_GE(parsed.Pages.size(), 2u);
    EXPECT_TRUE(parsed.Pages[0].IsBOS);
    EXPECT_TRUE(parsed.Pages[1].IsBOS);
    for (int stream = 0; stream < 2; ++stream) {
        const auto& packets = parsed.Packets[output.SerialNumber(stream)];
        ASSERT_EQ(packets.size(), static_cast<size_t>(PacketsPerStream));
        for (int number = 0; number < PacketsPerStream; ++number) {
            ASSERT_EQ(packets[number], PacketBytes(stream, number)) << stream << ":" << number;
        }
    }
}

}  // namespace
