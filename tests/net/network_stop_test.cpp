// Stopping a broadcast is bounded whatever the network does: a server that stopped reading,
// a server that never completes the handshake, a name server that never answers. Each case
// runs a real live encoder (both media, real codecs) against a real loopback peer and checks
// that freeing it takes at most 2 s and leaves no thread of the run behind.

#include <dirent.h>
#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <iostream>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "engine/live_encoder.h"
#include "net/easy_socket.h"
#include "net/ogg_network_stream.h"
#include "settings/log.h"
#include "settings/settings.h"
#include "tests/net/fake_name_server.h"
#include "tests/net/stream_test_support.h"
#include "tests/support/loopback_server.h"
#include "tests/support/recording_server.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kStopBound = 2s;
constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr int kFps = 15;
constexpr int kRate = 22050;

int ThreadCount() {
    // ThreadSanitizer starts a thread of its own when the process creates its first one; one
    // created and joined first puts that thread in every count.
    static const bool runtimeStarted = [] {
        std::thread([] {}).join();
        return true;
    }();
    (void)runtimeStarted;
    int count = 0;
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (const dirent* entry = readdir(tasks)) count += entry->d_name[0] != '.';
        closedir(tasks);
    }
    return count;
}

TBitmapInfoHeader Bgr() {
    TBitmapInfoHeader header{};
    header.biSize = sizeof header;
    header.biWidth = kWidth;
    header.biHeight = -kHeight;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biSizeImage = static_cast<uint32_t>(BitmapRowPitch(24, kWidth) * kHeight);
    return header;
}

const TWaveFormatEx Mono = MakeWaveFormat(WAVE_FORMAT_PCM, 1, kRate, 16);

// A broadcast run fed like the capture graph would, from a thread of its own, with noise
// pictures: Theora at its best quality makes them large, so a stalled link fills up soon.
class tFedBroadcast {
  public:
    tFedBroadcast() : FHeader(Bgr()) {
        Settings.CaptureToFile = false;
        Settings.Theora = {kWidth, kHeight, kFps, 0, 63, false, 90};
        Settings.TheoraFasterMode = true;
        Settings.VorbisSampleFreq = 2;
        Settings.VorbisStereo = false;
        Settings.VorbisQuality = -60;
        Settings.Processing = {};
        Settings.Processing.OverlayAlpha = 255;
        FEncoder =
            std::make_unique<TLiveEncoder>(&Mono, &FHeader, std::make_unique<tOggNetworkStream>());
        FFeeder = std::thread([this] { Feed(); });
    }
    ~tFedBroadcast() {
        StopFeeding();
        FEncoder.reset();
    }

    TLiveEncoder& Encoder() { return *FEncoder; }

    // True once the encoder has taken no frame for a whole second while frames kept coming.
    bool WaitUntilBlocked() {
        const auto deadline = Clock::now() + 60s;
        int32_t before = -1;
        while (Clock::now() < deadline) {
            const int32_t frames = FEncoder->FramesEncoded();
            if (frames == before && frames > 0) return true;
            before = frames;
            std::this_thread::sleep_for(1s);
        }
        return false;
    }

    // The capture side stops first, as in the program; then the time of freeing the run.
    Clock::duration StopTime() {
        StopFeeding();
        const auto start = Clock::now();
        FEncoder.reset();
        return Clock::now() - start;
    }

  private:
    void Feed() {
        std::mt19937 noise(7);
        std::vector<uint8_t> frame(FHeader.biSizeImage);
        const std::vector<uint8_t> sound(kRate / kFps * 2, 0);
        for (int i = 0; !FStop.load(); ++i) {
            for (auto& byte : frame) byte = static_cast<uint8_t>(noise());
            FEncoder->PutVideoFrame(frame.data(), static_cast<int32_t>(frame.size()),
                                    i / double(kFps));
            FEncoder->WriteAudio(sound.data(), static_cast<int32_t>(sound.size()));
            std::this_thread::sleep_for(2ms);
        }
    }
    void StopFeeding() {
        FStop.store(true);
        if (FFeeder.joinable()) FFeeder.join();
    }

    TBitmapInfoHeader FHeader;
    std::unique_ptr<TLiveEncoder> FEncoder;
    std::atomic<bool> FStop{false};
    std::thread FFeeder;
};

std::string Seconds(Clock::duration elapsed) {
    return std::to_string(std::chrono::duration<double>(elapsed).count()) + " s";
}

// A listener whose accept queue is full: further handshakes are never completed.
struct tFullBacklog {
    tFullBacklog() : Listener(0) { Queued.push_back(ConnectTo(Listener.Port())); }
    tLoopbackListener Listener;
    std::vector<TUniqueFd> Queued;
};

}  // namespace

TEST(NetworkStop, ServerThatStoppedReadingDoesNotHoldTheStop) {
    tRecordingServer server("HTTP/1.0 200 OK\r\n\r\n", tRecordingServer::tAnswer::Stall, 4096);
    AimAt(server.Port());
    const int threadsBefore = ThreadCount();
    Clock::duration elapsed{};
    {
        tFedBroadcast run;
        ASSERT_TRUE(run.WaitUntilBlocked()) << "the send queue never filled up";
        EXPECT_TRUE(run.Encoder().Connected()) << "a stalled link still looks connected";
        elapsed = run.StopTime();
    }
    EXPECT_LT(elapsed, kStopBound) << Seconds(elapsed);
    EXPECT_EQ(ThreadCount(), threadsBefore);
    std::cout << "[ stop time ] stalled server: " << Seconds(elapsed) << "\n";
    const std::string log = TakeLog();
    EXPECT_TRUE(InOrder(log, {"Server ready for data", "Encoding stopped in state "})) << log;
    EXPECT_NE(log.find("Streaming ended"), std::string::npos) << log;
}

TEST(NetworkStop, HandshakeThatNeverCompletesDoesNotHoldTheStop) {
    tFullBacklog server;
    ASSERT_TRUE(server.Queued.back().Valid());
    AimAt(server.Listener.Port());
    const int threadsBefore = ThreadCount();
    Clock::duration elapsed{};
    {
        tFedBroadcast run;
        std::this_thread::sleep_for(300ms);  // well inside the connect
        EXPECT_TRUE(run.Encoder().Connected()) << "connecting counts as connected";
        elapsed = run.StopTime();
    }
    EXPECT_LT(elapsed, kStopBound) << Seconds(elapsed);
    EXPECT_EQ(ThreadCount(), threadsBefore);
    std::cout << "[ stop time ] handshake never completed: " << Seconds(elapsed) << "\n";
    const std::string log = TakeLog();
    EXPECT_NE(log.find("Connecting to server"), std::string::npos) << log;
    // A connect given up for the stop is not a server that could not be reached.
    EXPECT_EQ(log.find("Unable to connect"), std::string::npos) << log;
}

TEST(NetworkStop, NameServerThatNeverAnswersDoesNotHoldTheStop) {
    tFakeNameServer names(true);
    // Without the abandon the lookup alone would last this long.
    tResolverRedirect redirect(names.Port(), 30);
    AimAt(UnusedPort());
    Settings.Icecast.Server = "icecast.kestrova.test";
    Clock::duration elapsed{};
    {
        tFedBroadcast run;
        ASSERT_TRUE(WaitUntil([&] { return names.Queries() > 0; }));
        elapsed = run.StopTime();
    }
    EXPECT_LT(elapsed, kStopBound) << Seconds(elapsed);
    std::cout << "[ stop time ] name server never answers: " << Seconds(elapsed) << "\n";
    const std::string log = TakeLog();
    EXPECT_EQ(log.find("Unable to connect"), std::string::npos) << log;
}

// A stop can come at any moment of the connect, also between the check for a quit and the
// moment the socket exists: every one of them must end the connect at once.
TEST(NetworkStop, StopAtAnyMomentOfTheConnectEndsItAtOnce) {
    tFullBacklog server;
    AimAt(server.Listener.Port());
    for (int delayUs : {0, 10, 50, 100, 200, 400, 800, 1600, 3200, 6400}) {
        SCOPED_TRACE(delayUs);
        auto stream = std::make_unique<tOggNetworkStream>();
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs));
        const auto start = Clock::now();
        stream.reset();
        EXPECT_LT(Clock::now() - start, kStopBound);
    }
    TakeLog();
}

// An untimed connect interrupted by a signal whose handler does not restart system calls
// goes on waiting for the handshake instead of failing with EINTR.
TEST(NetworkStop, SignalDuringAConnectIsNoFailure) {
    struct sigaction action {};
    struct sigaction previous {};
    action.sa_handler = [](int) {};
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);

    tFullBacklog server;
    tEasySocket socket(30, false, false);
    std::atomic<bool> done{false};
    bool connected = false;
    std::thread client([&] {
        connected = socket.Connect(server.Listener.Port(), "127.0.0.1");
        done.store(true);
    });
    const pthread_t clientThread = client.native_handle();
    for (int i = 0; i < 20 && !done.load(); ++i) {
        pthread_kill(clientThread, SIGUSR1);
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_FALSE(done.load()) << "the connect ended early: " << socket.LastError();
    // Room in the accept queue: the client's next handshake attempt gets through.
    TUniqueFd first = server.Listener.Accept();
    TUniqueFd second = server.Listener.Accept(10000);
    client.join();
    sigaction(SIGUSR1, &previous, nullptr);
    EXPECT_TRUE(connected) << SocketErrorText(socket.LastError());
    EXPECT_TRUE(second.Valid());
}

// Abort refuses every later connect too: an owner that is stopping never starts one.
TEST(NetworkStop, AbortedSocketRefusesEveryLaterConnect) {
    tLoopbackListener server;
    tEasySocket socket(5, false, true);
    socket.Abort();
    EXPECT_FALSE(socket.Connect(server.Port(), "127.0.0.1"));
    EXPECT_EQ(socket.LastError(), ECANCELED);
    EXPECT_FALSE(server.Accept(200).Valid());
}
