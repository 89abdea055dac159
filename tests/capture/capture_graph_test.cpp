// The capture graph with the two test devices, through a real GStreamer pipeline.

#include "capture/capture_graph.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "capture/capture_forwarder.h"
#include "settings/log.h"
#include "video/capture_intake.h"
#include "video/frame_format.h"

namespace {

using namespace std::chrono_literals;

// Everything the taps delivered, guarded by one lock.
class TTapRecorder {
  public:
    TCaptureCallbacks Callbacks() {
        TCaptureCallbacks callbacks;
        callbacks.Video = [this](const TVideoSample& s) {
            std::lock_guard lock(FLock);
            times.push_back(s.TimeMs);
            frameSize = s.Size;
            header = *s.Header;
            if (s.Size >= 3 * 80 + 3) lastFrame.assign(s.Data, s.Data + s.Size);
            FChanged.notify_all();
        };
        callbacks.Audio = [this](const TAudioSample& s) {
            std::lock_guard lock(FLock);
            audioBytes += s.Size;
            audioBuffers += 1;
            format = *s.Format;
            FChanged.notify_all();
        };
        callbacks.Fault = [this](const TCaptureFault& f) {
            std::lock_guard lock(FLock);
            faults.push_back(f);
            FChanged.notify_all();
        };
        return callbacks;
    }

    // Waits (at most `limit`) until `done` holds; the lock is held while it is checked.
    template <typename Done>
    bool WaitFor(Done done, std::chrono::milliseconds limit = 5000ms) {
        std::unique_lock lock(FLock);
        return FChanged.wait_for(lock, limit, [&] { return done(*this); });
    }

    std::vector<uint32_t> times;
    int32_t frameSize = 0;
    TBitmapInfoHeader header{};
    std::vector<uint8_t> lastFrame;
    int64_t audioBytes = 0;
    int audioBuffers = 0;
    TWaveFormatEx format{};
    std::vector<TCaptureFault> faults;

  private:
    std::mutex FLock;
    std::condition_variable FChanged;
};

class CaptureGraphTest : public ::testing::Test {
  protected:
    void SetUp() override { TakeLog(); }

    TConnectResult BuildTestDevices(TCaptureGraph& graph, TTapRecorder& recorder) {
        // Callbacks change only while no pipeline runs.
        graph.TearDown();
        graph.SetCallbacks(recorder.Callbacks());
        const auto video = ChooseStoredDevice(Devices.Names(TMediaKind::Video), TestPatternName);
        const auto audio = ChooseStoredDevice(Devices.Names(TMediaKind::Audio), TestToneName);
        return graph.Build(video, audio, false);
    }

    TCaptureDevices Devices;  // not started: only the test devices are listed
};

// Blue, green, red of the pixel at (x, y) of a top-down BGR frame.
std::array<int, 3> Pixel(const std::vector<uint8_t>& frame, int pitch, int x, int y) {
    const uint8_t* p = frame.data() + static_cast<size_t>(y) * pitch + x * 3;
    return {p[0], p[1], p[2]};
}

TEST_F(CaptureGraphTest, TestDevicesGiveBothOkPartsAndLogConnectingAndReady) {
    TTapRecorder recorder;  // outlives the graph, whose callbacks use it
    TCaptureGraph graph(Devices);
    const TConnectResult result = BuildTestDevices(graph, recorder);
    EXPECT_TRUE(result.Ready);
    EXPECT_TRUE(result.VideoAttached);
    EXPECT_TRUE(result.AudioAttached);
    EXPECT_EQ(result.Status, "Audio OK  -  Video OK (640x480)  -  OK");
    const std::string log = TakeLog();
    EXPECT_NE(log.find("Connecting sources"), std::string::npos) << log;
    EXPECT_NE(log.find("Ready"), std::string::npos) << log;
    EXPECT_LT(log.find("Connecting sources"), log.find("Ready"));
}

TEST_F(CaptureGraphTest, VideoTapDeliversTopDownBgrFramesOnTheMediaClock) {
    TTapRecorder recorder;  // outlives the graph, whose callbacks use it
    TCaptureGraph graph(Devices);
    ASSERT_TRUE(BuildTestDevices(graph, recorder).Ready);
    ASSERT_TRUE(recorder.WaitFor([](auto& r) { return r.times.size() >= 12; }));
    graph.Stop();
    EXPECT_EQ(recorder.header.biHeight, -480);
    EXPECT_EQ(recorder.frameSize, 640 * 3 * 480);
    EXPECT_EQ(static_cast<uint32_t>(recorder.frameSize), recorder.header.biSizeImage);
    // Stamped with the pattern's own media times: 30 fps in whole milliseconds.
    for (size_t i = 1; i < recorder.times.size(); ++i) {
        const uint32_t step = recorder.times[i] - recorder.times[i - 1];
        EXPECT_TRUE(step == 33 || step == 34) << "step " << i << ": " << step;
    }
    // Right way up: yellow bar near the top left, black band with the square at the bottom.
    EXPECT_EQ(Pixel(recorder.lastFrame, 1920, 120, 10), (std::array<int, 3>{0, 255, 255}));
    EXPECT_EQ(Pixel(recorder.lastFrame, 1920, 2, 470), (std::array<int, 3>{0, 0, 0}));
}

// Y'CbCr of the pixel at (x, y) of an I420 frame in the capture layout.
std::array<int, 3> PlanesAt(const std::vector<uint8_t>& frame, int width, int height, int x,
                            int y) {
    const TI420Layout layout = CaptureI420Layout(width, height);
    const int64_t chroma = y / 2 * layout.ChromaStride + x / 2;
    return {frame[y * layout.YStride + x], frame[layout.CbOffset + chroma],
            frame[layout.CrOffset + chroma]};
}

void ExpectNear(const std::array<int, 3>& actual, const std::array<int, 3>& expected, int within) {
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(actual[i], expected[i], within) << "component " << i;
}

// The yellow bar: BGR (0, 255, 255), Y'CbCr (210, 16, 146) in studio swing, (226, 0, 149) in
// the full range that decoded JPEG arrives in.
constexpr std::array<int, 3> YellowBgr{0, 255, 255};
std::array<int, 3> YellowYCbCr(const TBitmapInfoHeader& header) {
    return IsFullRangeHeader(header) ? std::array<int, 3>{226, 0, 149}
                                     : std::array<int, 3>{210, 16, 146};
}

// Y'CbCr formats reach the tap as I420 (no round trip through RGB), the sound as S16.
TEST_F(CaptureGraphTest, FormatsThatNeedDecodingOrConversionReachTheTapsAsI420AndS16) {
    using TFormat = TTestDeviceOptions::TVideoFormat;
    for (const auto& [video, rate, channels] :
         {std::tuple{TFormat::Mjpeg, 48000, 2}, std::tuple{TFormat::I420, 8000, 1}}) {
        TTestDeviceOptions options;
        options.VideoFormat = video;
        options.Rate = rate;
        options.Channels = channels;
        TTapRecorder recorder;
        TCaptureGraph graph(Devices, options);
        ASSERT_EQ(BuildTestDevices(graph, recorder).Status,
                  "Audio OK  -  Video OK (640x480)  -  OK");
        graph.Stop();
        // The device's own rate and channels: the audio processor converts later.
        const auto format = graph.ChooseAudioFormat(44100, 2);
        ASSERT_TRUE(format);
        EXPECT_EQ(format->nSamplesPerSec, static_cast<uint32_t>(rate));
        EXPECT_EQ(format->nChannels, channels);
        EXPECT_EQ(format->wBitsPerSample, 16);
        const auto header = graph.ChooseVideoFormat(15);
        ASSERT_TRUE(header);
        EXPECT_EQ(header->biHeight, -480);
        EXPECT_TRUE(IsI420Header(*header));
        recorder.WaitFor([](auto&) { return true; }, 0ms);
        ASSERT_TRUE(graph.Run());
        ASSERT_TRUE(recorder.WaitFor([](auto& r) {
            return r.times.size() >= 5 && r.audioBuffers >= 5 && !r.lastFrame.empty();
        }));
        graph.Stop();
        EXPECT_EQ(recorder.format.nSamplesPerSec, static_cast<uint32_t>(rate));
        EXPECT_EQ(recorder.frameSize, CaptureI420Layout(640, 480).Size);
        EXPECT_TRUE(IsI420Header(recorder.header));
        EXPECT_EQ(IsFullRangeHeader(recorder.header), video == TFormat::Mjpeg);
        EXPECT_EQ(recorder.header.biCompression, header->biCompression);
        // Decoded colours stay near the bars (JPEG and 4:2:0 blur the edges only).
        ExpectNear(PlanesAt(recorder.lastFrame, 640, 480, 120, 100), YellowYCbCr(*header), 3);
    }
}

// Each mode of the test pattern reaches the tap at its size: the RGB one as BGR, YUY2 as it
// comes, JPEG decoded to full-range I420; the same colours either way.
TEST_F(CaptureGraphTest, EachTestPatternModeReachesTheTapInItsOwnPath) {
    struct TCase {
        TVideoMode Mode;
        uint32_t Compression;
    };
    for (const TCase& c : {TCase{{"BGR", 640, 480, 30, 1}, BI_RGB_COMPRESSION},
                           TCase{{"YUY2", 640, 480, 30, 1}, YUY2_COMPRESSION},
                           TCase{{"MJPG", 1280, 720, 30, 1}, J420_COMPRESSION}}) {
        SCOPED_TRACE(VideoModeText(c.Mode));
        TTapRecorder recorder;
        TCaptureGraph graph(Devices);
        graph.SetVideoMode(c.Mode);
        ASSERT_EQ(BuildTestDevices(graph, recorder).VideoMode, c.Mode);
        graph.Stop();
        const auto header = graph.ChooseVideoFormat(30);
        ASSERT_TRUE(header);
        EXPECT_EQ(header->biCompression, c.Compression);
        EXPECT_EQ(header->biWidth, c.Mode.Width);
        EXPECT_EQ(header->biHeight, -c.Mode.Height);
        const size_t before = recorder.times.size();
        ASSERT_TRUE(graph.Run());
        ASSERT_TRUE(recorder.WaitFor([&](auto& r) { return r.times.size() >= before + 3; }));
        graph.Stop();
        EXPECT_EQ(recorder.frameSize, static_cast<int32_t>(header->biSizeImage));
        EXPECT_EQ(recorder.header.biCompression, header->biCompression);
        const int x = c.Mode.Width * 3 / 16, y = c.Mode.Height / 4;
        if (IsYCbCrHeader(*header)) {
            // As the video processor takes it in: I420, in studio swing.
            const TCaptureIntake intake(*header);
            std::vector<uint8_t> i420(size_t(intake.OutputBytes()));
            ASSERT_EQ(intake.Take(recorder.lastFrame.data(), int64_t(recorder.lastFrame.size()),
                                  i420.data()),
                      intake.OutputBytes());
            ExpectNear(PlanesAt(i420, c.Mode.Width, c.Mode.Height, x, y),
                       YellowYCbCr(I420BitmapHeader(1, 1)), 3);
        } else {
            EXPECT_EQ(Pixel(recorder.lastFrame, c.Mode.Width * 3, x, y), YellowBgr);
        }
    }
}

TEST_F(CaptureGraphTest, AudioTapBuffersAreAboutFourKilobytesOfTheChosenFormat) {
    TTapRecorder recorder;  // outlives the graph, whose callbacks use it
    TCaptureGraph graph(Devices);
    ASSERT_TRUE(BuildTestDevices(graph, recorder).Ready);
    graph.Stop();
    const auto format = graph.ChooseAudioFormat(44100, 2);
    ASSERT_TRUE(format);
    EXPECT_EQ(format->nSamplesPerSec, 44100u);
    EXPECT_EQ(format->nChannels, 2);
    EXPECT_EQ(format->nBlockAlign, 4);
    ASSERT_TRUE(graph.Run());
    ASSERT_TRUE(recorder.WaitFor([](auto& r) { return r.audioBuffers >= 10; }));
    graph.Stop();
    EXPECT_EQ(recorder.audioBytes % 4, 0);
    EXPECT_EQ(recorder.audioBytes / recorder.audioBuffers, 4096);
}

TEST_F(CaptureGraphTest, ADeviceThatFailsMidRunIsReportedOnceWithALogLine) {
    TTestDeviceOptions options;
    options.VideoFailAfterSeconds = 0.5;
    TTapRecorder recorder;
    TCaptureGraph graph(Devices, options);
    ASSERT_TRUE(BuildTestDevices(graph, recorder).Ready);
    TakeLog();
    // Each run starts the device afresh, so it fails again half a second in.
    graph.Stop();
    ASSERT_TRUE(graph.Run());
    ASSERT_TRUE(recorder.WaitFor([](auto& r) { return !r.faults.empty(); }, 2500ms));
    std::this_thread::sleep_for(100ms);
    graph.Stop();
    ASSERT_EQ(recorder.faults.size(), 1u);
    EXPECT_TRUE(recorder.faults[0].Video);
    EXPECT_EQ(recorder.faults[0].Kind, TCaptureFault::TKind::Error);
    EXPECT_NE(TakeLog().find(recorder.faults[0].Message), std::string::npos);
    EXPECT_NE(recorder.faults[0].Message.find("Video capture failed"), std::string::npos);
    // The audio side kept delivering meanwhile.
    EXPECT_GT(recorder.audioBuffers, 0);
}

TEST_F(CaptureGraphTest, ADeviceThatFailsWhileBuildingLeavesTheOtherMediumWorking) {
    TTestDeviceOptions options;
    options.Width = 0;  // a device that cannot negotiate at all
    TTapRecorder recorder;
    TCaptureGraph graph(Devices, options);
    const TConnectResult result = BuildTestDevices(graph, recorder);
    EXPECT_TRUE(result.Ready);
    EXPECT_FALSE(result.VideoAttached);
    EXPECT_TRUE(result.AudioAttached);
    EXPECT_EQ(result.Status, "Audio OK  -  Video Failed - OK");
    EXPECT_TRUE(recorder.WaitFor([](auto& r) { return r.audioBuffers > 2; }));
    EXPECT_FALSE(graph.ChooseVideoFormat(15));
}

TEST_F(CaptureGraphTest, ACallbackThatThrowsLosesItsSampleOnly) {
    std::atomic<int> calls{0};
    TCaptureGraph graph(Devices);
    TCaptureCallbacks callbacks;
    callbacks.Video = [&](const TVideoSample&) {
        ++calls;
        throw std::runtime_error("window gone");
    };
    graph.SetCallbacks(callbacks);
    const auto video = ChooseStoredDevice(Devices.Names(TMediaKind::Video), TestPatternName);
    ASSERT_TRUE(graph.Build(video, {}, false).Ready);
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (calls < 5 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_GE(calls.load(), 5);
}

TEST_F(CaptureGraphTest, TwentyStartsAndStopsInARowKeepDelivering) {
    TTapRecorder recorder;  // outlives the graph, whose callbacks use it
    TCaptureGraph graph(Devices);
    ASSERT_TRUE(BuildTestDevices(graph, recorder).Ready);
    for (int cycle = 0; cycle < 20; ++cycle) {
        graph.Stop();
        ASSERT_TRUE(graph.ChooseAudioFormat(22050, 1));
        ASSERT_TRUE(graph.ChooseVideoFormat(15));
        size_t before = 0;
        recorder.WaitFor([&](auto& r) { return before = r.times.size(), true; }, 0ms);
        ASSERT_TRUE(graph.Run()) << "cycle " << cycle;
        ASSERT_TRUE(recorder.WaitFor([&](auto& r) { return r.times.size() > before + 1; }))
            << "cycle " << cycle;
    }
    graph.TearDown();
    EXPECT_TRUE(recorder.faults.empty());
}

// Pipelines alive, as GStreamer's leaks tracer (started with the tests) counts them; -1
// without the tracer. Asked only while no graph exists: the list the tracer hands out lets go
// of one reference too many on each object in it.
int LivePipelines() {
    int count = -1;
    GList* tracers = gst_tracing_get_active_tracers();
    for (GList* t = tracers; t != nullptr; t = t->next) {
        if (std::string(G_OBJECT_TYPE_NAME(t->data)) != "GstLeaksTracer") continue;
        GstStructure* live = nullptr;
        g_signal_emit_by_name(t->data, "get-live-objects", &live);
        if (live == nullptr) continue;
        count = static_cast<int>(
            gst_value_list_get_size(gst_structure_get_value(live, "live-objects-list")));
        gst_structure_free(live);
    }
    g_list_free_full(tracers, gst_object_unref);
    return count;
}

// A graph torn down leaves nothing behind: every bus message it handled (state changes, level
// messages) is freed, so nothing holds the pipeline and its frames.
TEST_F(CaptureGraphTest, ATornDownGraphFreesItsPipeline) {
    const int before = LivePipelines();
    if (before < 0) GTEST_SKIP() << "GStreamer's leaks tracer is not running";
    TTapRecorder recorder;
    std::atomic<int> levels{0};
    TCaptureGraph graph(Devices);
    TCaptureCallbacks callbacks = recorder.Callbacks();
    callbacks.Levels = [&levels](const TAudioLevels&) { ++levels; };
    graph.SetCallbacks(callbacks);
    ASSERT_TRUE(graph
                    .Build(ChooseStoredDevice(Devices.Names(TMediaKind::Video), TestPatternName),
                           ChooseStoredDevice(Devices.Names(TMediaKind::Audio), TestToneName),
                           false)
                    .Ready);
    graph.Stop();
    ASSERT_TRUE(graph.ChooseAudioFormat(22050, 1));
    ASSERT_TRUE(graph.ChooseVideoFormat(15));
    ASSERT_TRUE(graph.Run());
    ASSERT_TRUE(recorder.WaitFor([&](auto& r) { return r.times.size() > 10 && levels > 3; }))
        << levels << " level messages";
    graph.TearDown();
    EXPECT_EQ(LivePipelines(), before);
}

// A mode asked for reaches the tap, for the preview and for a run, at the mode's own rate.
TEST_F(CaptureGraphTest, AChosenModeIsWhatTheDeviceDeliversAndWhatTheRunGets) {
    TTestDeviceOptions options;
    options.Fps = 10;
    TTapRecorder recorder;  // outlives the graph, whose callbacks use it
    TCaptureGraph graph(Devices, options);
    EXPECT_TRUE(graph.VideoModes().empty());
    graph.SetVideoMode(TVideoMode{"BGR", 320, 240, 10, 1});
    const TConnectResult result = BuildTestDevices(graph, recorder);
    EXPECT_EQ(result.Status, "Audio OK  -  Video OK (320x240)  -  OK");
    EXPECT_EQ(result.VideoMode, (TVideoMode{"BGR", 320, 240, 10, 1}));
    std::vector<std::string> modes;
    for (const TVideoMode& mode : graph.VideoModes()) modes.push_back(VideoModeText(mode));
    // Its own format in two sizes, then the camera modes.
    EXPECT_EQ(modes, (std::vector<std::string>{"BGR 320x240@10/1", "BGR 640x480@10/1",
                                               "YUY2 640x480@30/1", "MJPG 640x480@30/1",
                                               "YUY2 1280x720@30/1", "MJPG 1280x720@30/1"}));
    EXPECT_NE(TakeLog().find("Video capture mode: BGR 320x240@10/1"), std::string::npos);

    graph.Stop();
    const auto header = graph.ChooseVideoFormat(30);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->biWidth, 320);
    EXPECT_EQ(header->biHeight, -240);
    const size_t before = recorder.times.size();  // stopped: no callback runs
    ASSERT_TRUE(graph.Run());
    ASSERT_TRUE(recorder.WaitFor([&](auto& r) { return r.times.size() >= before + 4; }));
    graph.Stop();
    EXPECT_EQ(recorder.frameSize, 320 * 3 * 240);
    EXPECT_EQ(recorder.times.back() - recorder.times[recorder.times.size() - 2], 100u);
}

// A stored mode the device no longer offers leaves the automatic choice, said once however
// often the graph is built.
TEST_F(CaptureGraphTest, AModeTheDeviceDoesNotOfferFallsBackAndIsLoggedOnce) {
    TTapRecorder recorder;  // outlives the graph, whose callbacks use it
    TCaptureGraph graph(Devices);
    graph.SetVideoMode(TVideoMode{"YUY2", 800, 600, 30, 1});
    for (int build = 0; build < 2; ++build) {
        const TConnectResult result = BuildTestDevices(graph, recorder);
        EXPECT_EQ(result.Status, "Audio OK  -  Video OK (640x480)  -  OK");
        EXPECT_FALSE(result.VideoMode);
        const std::string line =
            "The video device does not offer the mode YUY2 800x600@30/1; the automatic "
            "choice applies";
        EXPECT_EQ(TakeLog().find(line) != std::string::npos, build == 0) << "build " << build;
    }
    graph.SetVideoMode(std::nullopt);
    EXPECT_FALSE(BuildTestDevices(graph, recorder).VideoMode);
}

TEST_F(CaptureGraphTest, NoDevicesChosenStillBuildsAndReportsOk) {
    TCaptureGraph graph(Devices);
    const TConnectResult result = graph.Build({}, {}, false);
    EXPECT_EQ(result.Status, "OK");
    EXPECT_FALSE(graph.ChooseAudioFormat(44100, 2));
    EXPECT_FALSE(graph.ChooseVideoFormat(15));
}

}  // namespace
