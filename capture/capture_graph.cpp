#include "capture/capture_graph.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "base/sanitizer_sync.h"
#include "capture/capture_graph_parts.h"
#include "settings/log.h"

namespace {

constexpr int StopTimeoutMs = 1000;
constexpr int TearDownTimeoutMs = 5000;
constexpr int RunTimeoutMs = 1000;
// A webcam may take a while to deliver its first frame after it was opened.
constexpr int FirstCapsTimeoutMs = 3000;
constexpr int CapsPollMs = 10;
// Audio devices are asked for buffers of about this size.
constexpr int AudioBufferBytes = 4096;
constexpr gint64 MinDeviceBuffers = 4;

GstCaps* RawAudioCaps(const std::string& format, int rate, int channels) {
    return gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, format.c_str(), "layout",
                               G_TYPE_STRING, "interleaved", "rate", G_TYPE_INT, rate, "channels",
                               G_TYPE_INT, channels, nullptr);
}

}  // namespace

TCaptureGraph::TCaptureGraph(const TCaptureDevices& devices, TTestDeviceOptions testOptions)
    : FDevices(devices),
      FTestOptions(testOptions),
      FVideoCache(std::make_unique<TCapsCache>()),
      FAudioCache(std::make_unique<TCapsCache>()) {
    EnsureGStreamer();
}

TCaptureGraph::~TCaptureGraph() {
    TearDown();
}

void TCaptureGraph::SetCallbacks(TCaptureCallbacks callbacks) {
    FCallbacks = std::move(callbacks);
}

TConnectResult TCaptureGraph::Build(const TDeviceChoice& video, const TDeviceChoice& audio,
                                    bool audioPreview) {
    TearDown();
    LogLine("Connecting sources");
    TConnectState state;
    state.VideoChosen = !video.None();
    state.AudioChosen = !audio.None();
    FBuilding = true;
    bool running = BuildPipeline(video, audio, audioPreview, state);
    if (running && (state.VideoChosen != state.VideoOk || state.AudioChosen != state.AudioOk)) {
        // A device that could not start leaves the graph; the other medium still works.
        DestroyPipeline();
        TConnectState rebuilt = state;
        running = BuildPipeline(state.VideoOk ? video : TDeviceChoice{},
                                state.AudioOk ? audio : TDeviceChoice{}, audioPreview, rebuilt);
        state.VideoOk = state.VideoOk && rebuilt.VideoOk;
        state.AudioOk = state.AudioOk && rebuilt.AudioOk;
        state.Width = rebuilt.Width;
        state.Height = rebuilt.Height;
    }
    FBuilding = false;
    if (FStuck) {
        // A device that does not start within the bound (a PipeWire node that never links)
        // holds the whole pipeline: nothing of it works.
        state.VideoOk = false;
        state.AudioOk = false;
    }
    TConnectResult result;
    result.VideoAttached = VideoAttached();
    result.AudioAttached = AudioAttached();
    result.VideoOk = state.VideoOk;
    result.AudioOk = state.AudioOk;
    result.Width = state.Width;
    result.Height = state.Height;
    result.VideoMode = FVideoMode;
    result.Status = ConnectStatusText(state);
    result.Ready = running;
    if (running) LogLine("Ready");
    return result;
}

GstElement* TCaptureGraph::CreateSource(TMediaKind kind, const TDeviceChoice& choice) {
    if (choice.None()) return nullptr;
    if (kind == TMediaKind::Video && choice.Name == TestPatternName) {
        FTestVideo = std::make_unique<TTestVideoDevice>(FTestOptions);
        return FTestVideo->Element();
    }
    if (kind == TMediaKind::Audio && choice.Name == TestToneName) {
        FTestAudio = std::make_unique<TTestAudioDevice>(FTestOptions);
        return FTestAudio->Element();
    }
    GstElement* element = FDevices.CreateElement(kind, choice);
    if (element == nullptr) LogLine("Capture device not found: " + choice.Name);
    GstCaps*& deviceCaps = kind == TMediaKind::Video ? FVideoDeviceOffer : FAudioDeviceOffer;
    if (element != nullptr) deviceCaps = FDevices.Caps(kind, choice);
    if (kind == TMediaKind::Video && element != nullptr) {
        FVideoDevicePath = FDevices.DevicePath(choice);
    }
    return element;
}

GstCaps* TCaptureGraph::OfferedCaps(TMediaKind kind, GstElement* source) const {
    GstCaps* caps = SourceCaps(source);
    GstCaps* deviceCaps = kind == TMediaKind::Video ? FVideoDeviceOffer : FAudioDeviceOffer;
    // A PipeWire source offers nothing before it runs: what its device announced stands in.
    if ((caps == nullptr || gst_caps_is_empty(caps) || gst_caps_is_any(caps)) &&
        deviceCaps != nullptr) {
        if (caps != nullptr) gst_caps_unref(caps);
        caps = gst_caps_ref(deviceCaps);
    }
    return caps;
}

bool TCaptureGraph::BuildPipeline(const TDeviceChoice& video, const TDeviceChoice& audio,
                                  bool audioPreview, TConnectState& state) {
    FPipeline = gst_pipeline_new("capture");
    GstBus* bus = gst_element_get_bus(FPipeline);
    gst_bus_set_sync_handler(bus, BusSyncHandler, this, nullptr);
    gst_object_unref(bus);
    FVideoFailed = false;
    FAudioFailed = false;
    if (GstElement* source = CreateSource(TMediaKind::Video, video)) {
        state.VideoOk = AddVideoBranch(source);
        if (!state.VideoOk) LogLine("Video device cannot be used: " + video.Name);
    }
    if (GstElement* source = CreateSource(TMediaKind::Audio, audio)) {
        state.AudioOk = AddAudioBranch(source, audioPreview);
        if (!state.AudioOk) LogLine("Audio device cannot be used: " + audio.Name);
    }
    if (!Run()) return false;
    WaitForCaps(FirstCapsTimeoutMs);
    ReadNegotiatedSize(state);
    return true;
}

void TCaptureGraph::WaitForCaps(int timeoutMs) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    const auto settled = [](GstElement* tap, const std::atomic<bool>& failed) {
        return tap == nullptr || failed.load() || TapHasCaps(tap);
    };
    while (std::chrono::steady_clock::now() < deadline &&
           !(settled(FVideoTap, FVideoFailed) && settled(FAudioTap, FAudioFailed))) {
        std::this_thread::sleep_for(std::chrono::milliseconds(CapsPollMs));
    }
}

void TCaptureGraph::ReadNegotiatedSize(TConnectState& state) const {
    const auto works = [](GstElement* tap, const std::atomic<bool>& failed) {
        return tap != nullptr && !failed.load() && TapHasCaps(tap);
    };
    state.VideoOk = state.VideoOk && works(FVideoTap, FVideoFailed);
    state.AudioOk = state.AudioOk && works(FAudioTap, FAudioFailed);
    if (state.VideoOk) TapVideoSize(FVideoTap, state.Width, state.Height);
}

bool TCaptureGraph::AddVideoBranch(GstElement* source) {
    gst_bin_add(GST_BIN(FPipeline), FVideoBin = gst_bin_new("video"));
    gst_bin_add(GST_BIN(FVideoBin), source);
    // Opened alone first, so that its formats can be read before the branch is built.
    HandOver(this);
    if (gst_element_set_state(source, GST_STATE_READY) == GST_STATE_CHANGE_FAILURE) return false;
    GstCaps* offered = OfferedCaps(TMediaKind::Video, source);
    const std::optional<TVideoOption> chosen = StartVideoOption(offered);
    if (offered != nullptr) gst_caps_unref(offered);
    if (!chosen) return false;
    const TVideoOption& option = *chosen;
    GstElement* decoder = nullptr;
    if (option.MediaType == "image/jpeg") {
        decoder = MakeElement("jpegdec");
    } else if (option.MediaType != "video/x-raw") {
        LogLine("Video device offers no format that can be decoded: " + option.MediaType);
        return false;
    }
    FVideoCurrent = option;
    if (FTestVideo) FTestVideo->Select(option);
    FVideoDeviceCaps = MakeCapsFilter(VideoOptionCaps(option, option.Rate));
    FVideoTapCaps = MakeCapsFilter(TapCaps(option));
    GstElement* tee = MakeElement("tee");
    FVideoTap =
        MakeTap("video-tap", gst_caps_from_string("video/x-raw,format={BGR,I420,YUY2,UYVY,NV12}"));
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = OnVideoSample;
    callbacks.eos = OnVideoEos;
    gst_app_sink_set_callbacks(GST_APP_SINK(FVideoTap), &callbacks, this, nullptr);
    std::vector<GstElement*> chain = {source, FVideoDeviceCaps};
    if (decoder != nullptr) chain.push_back(decoder);
    // The tap takes each frame on the device's own streaming thread: its callback only copies
    // the frame out and never blocks, and a queue there would cost two thread switches a frame.
    for (GstElement* e : {MakeElement("videoconvert"), FVideoTapCaps, tee, FVideoTap}) {
        chain.push_back(e);
    }
    if (!AddAndLink(FVideoBin, chain)) return false;
    if (FCallbacks.Preview) AddPreviewBranch(tee);
    FVideoSource = source;
    return gst_element_sync_state_with_parent(FVideoBin);
}

void TCaptureGraph::AddPreviewBranch(GstElement* tee) {
    GstElement* rate = MakeElement("videorate");
    g_object_set(rate, "drop-only", TRUE, "max-rate", PreviewFps, nullptr);
    GstElement* sink = FPreviewTap =
        MakeTap("preview", gst_caps_from_string("video/x-raw,format=RGB"));
    g_object_set(sink, "max-buffers", 1, "drop", TRUE, nullptr);
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = OnPreviewSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, this, nullptr);
    AddAndLink(FVideoBin, {tee, MakeLeakyQueue(), rate, MakeElement("videoconvert"), sink});
}

bool TCaptureGraph::AddAudioBranch(GstElement* source, bool audioPreview) {
    gst_bin_add(GST_BIN(FPipeline), FAudioBin = gst_bin_new("audio"));
    gst_bin_add(GST_BIN(FAudioBin), source);
    HandOver(this);
    if (gst_element_set_state(source, GST_STATE_READY) == GST_STATE_CHANGE_FAILURE) return false;
    FAudioDeviceCaps = MakeCapsFilter(gst_caps_new_any());
    FAudioTapCaps =
        MakeCapsFilter(gst_caps_from_string("audio/x-raw,format=S16LE,layout=interleaved"));
    GstElement* tee = MakeElement("tee");
    FAudioTap = MakeTap("audio-tap", gst_caps_from_string("audio/x-raw,format=S16LE"));
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = OnAudioSample;
    callbacks.eos = OnAudioEos;
    gst_app_sink_set_callbacks(GST_APP_SINK(FAudioTap), &callbacks, this, nullptr);
    std::vector<GstElement*> chain = {source, FAudioDeviceCaps, MakeElement("audioconvert"),
                                      MakeElement("audioresample"), FAudioTapCaps};
    if (FCallbacks.Levels) {
        GstElement* level = MakeElement("level");
        g_object_set(level, "interval", static_cast<guint64>(LevelIntervalNs), "post-messages",
                     TRUE, nullptr);
        chain.push_back(level);
    }
    // As for video: the tap's callback never blocks, so no queue (and no thread) before it.
    for (GstElement* e : {tee, FAudioTap}) chain.push_back(e);
    if (!AddAndLink(FAudioBin, chain)) return false;
    if (audioPreview) {
        // The preview plays what is captured; a machine without sound output just lacks it.
        GstElement* player = MakeElement("autoaudiosink");
        if (player != nullptr) AddAndLink(FAudioBin, {tee, MakeLeakyQueue(), player});
    }
    FAudioSource = source;
    return gst_element_sync_state_with_parent(FAudioBin);
}

bool TCaptureGraph::ChangeState(GstState state, int timeoutMs) {
    if (FPipeline == nullptr || FStuck) return false;
    HandOver(this);
    const auto deadline = TStateChange::TClock::now() + std::chrono::milliseconds(timeoutMs);
    const TStateChange change(FPipeline, state);
    const bool changed = Returned(change, deadline) && Settled(deadline);
    TakeOver(this);
    return changed;
}

bool TCaptureGraph::Returned(const TStateChange& change,
                             TStateChange::TClock::time_point deadline) {
    if (!change.WaitReturned(deadline)) {
        // Another change would only queue behind it: the pipeline is left alone from now on,
        // and given up at the next teardown.
        FStuck = true;
        LogLine("Capture devices do not answer: the capture graph is left to stop by itself");
        return false;
    }
    return !change.Failed();
}

bool TCaptureGraph::Settled(TStateChange::TClock::time_point deadline) const {
    const auto left =
        std::max(deadline - TStateChange::TClock::now(), TStateChange::TClock::duration::zero());
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    return gst_element_get_state(FPipeline, nullptr, nullptr, static_cast<GstClockTime>(ns)) !=
           GST_STATE_CHANGE_FAILURE;
}

void TCaptureGraph::StartTestDevices() {
    if (FTestVideo && FVideoSource != nullptr) FTestVideo->Start();
    if (FTestAudio && FAudioSource != nullptr) FTestAudio->Start();
}

void TCaptureGraph::StopTestDevices() {
    if (FTestVideo) FTestVideo->Stop();
    if (FTestAudio) FTestAudio->Stop();
}

bool TCaptureGraph::Run() {
    if (FPipeline == nullptr) return false;
    FVideoFailed = false;
    FAudioFailed = false;
    if (FStuck) return FRunning = false;
    // The clock and base time are set once the state change began; the sinks finish theirs
    // only when data arrives, so the test devices start before the wait.
    HandOver(this);
    const TStateChange change(FPipeline, GST_STATE_PLAYING);
    if (!Returned(change, TStateChange::TClock::now() + std::chrono::milliseconds(RunTimeoutMs))) {
        TakeOver(this);
        return FRunning = false;
    }
    StartTestDevices();
    FRunning = Settled(TStateChange::TClock::now() + std::chrono::milliseconds(RunTimeoutMs));
    TakeOver(this);
    return FRunning;
}

void TCaptureGraph::Stop() {
    if (FPipeline == nullptr) return;
    // The generators first: they must not post into a graph that stops.
    StopTestDevices();
    // READY keeps the devices open; when it returns, the streaming threads have ended.
    ChangeState(GST_STATE_READY, StopTimeoutMs);
    FRunning = false;
}

void TCaptureGraph::DestroyPipeline() {
    if (FPipeline == nullptr) return;
    StopTestDevices();
    // Stopped first within the stop's bound: a device that does not answer is then given up
    // after a second, not after the teardown's five.
    ChangeState(GST_STATE_READY, StopTimeoutMs);
    ChangeState(GST_STATE_NULL, TearDownTimeoutMs);
    if (FStuck) Abandon();
    gst_object_unref(FPipeline);
    FPipeline = FVideoBin = FAudioBin = FVideoSource = FAudioSource = nullptr;
    FVideoDeviceCaps = FAudioDeviceCaps = FVideoTapCaps = FAudioTapCaps = nullptr;
    FVideoTap = FAudioTap = FPreviewTap = nullptr;
    for (GstCaps** caps : {&FVideoDeviceOffer, &FAudioDeviceOffer}) {
        if (*caps != nullptr) gst_caps_unref(*caps);
        *caps = nullptr;
    }
    FStuck = false;
    FTestVideo.reset();
    FTestAudio.reset();
    FVideoCurrent.reset();
    FVideoMode.reset();
    FVideoDevicePath.clear();
    FVideoCache->Clear();
    FAudioCache->Clear();
    FRunning = false;
}

void TCaptureGraph::Abandon() {
    // Nothing of the stuck pipeline may call into us once we have let go of it; it reaches
    // NULL and is freed on GStreamer's thread whenever its device answers.
    GstBus* bus = gst_element_get_bus(FPipeline);
    gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
    gst_object_unref(bus);
    GstAppSinkCallbacks none{};
    for (GstElement* tap : {FVideoTap, FAudioTap, FPreviewTap}) {
        if (tap != nullptr) gst_app_sink_set_callbacks(GST_APP_SINK(tap), &none, nullptr, nullptr);
    }
    const TStateChange release(FPipeline, GST_STATE_NULL);
}

void TCaptureGraph::TearDown() {
    DestroyPipeline();
}

std::optional<TWaveFormatEx> TCaptureGraph::ChooseAudioFormat(int wantedRate, int wantedChannels) {
    if (FAudioSource == nullptr) return std::nullopt;
    GstCaps* offered = OfferedCaps(TMediaKind::Audio, FAudioSource);
    const std::vector<TAudioOption> options =
        AudioOptionsFromCaps(offered, wantedRate, wantedChannels);
    if (offered != nullptr) gst_caps_unref(offered);
    const int best = ChooseAudioOption(options, wantedRate, wantedChannels);
    // Without a 16-bit PCM format the device keeps its first one, converted before the tap.
    TAudioOption chosen{"", wantedRate, wantedChannels};
    if (best >= 0) {
        chosen = options[best];
    } else if (!options.empty()) {
        chosen = options.front();
    }
    SetCaps(FAudioDeviceCaps, chosen.Format.empty()
                                  ? gst_caps_new_any()
                                  : RawAudioCaps(chosen.Format, chosen.Rate, chosen.Channels));
    SetCaps(FAudioTapCaps, RawAudioCaps("S16LE", chosen.Rate, chosen.Channels));
    const TWaveFormatEx format = PcmWaveFormat(chosen.Rate, chosen.Channels);
    if (HasProperty(FAudioSource, "latency-time")) {
        const auto us = static_cast<gint64>(AudioBufferBytes) * 1'000'000 / format.nAvgBytesPerSec;
        g_object_set(FAudioSource, "latency-time", us, nullptr);
        // A device's ring of fewer than four such buffers overruns: at 22050 Hz mono the
        // default 200 ms holds two, and PulseAudio then hands over the sound garbled.
        if (HasProperty(FAudioSource, "buffer-time")) {
            gint64 bufferUs = 0;
            g_object_get(FAudioSource, "buffer-time", &bufferUs, nullptr);
            if (bufferUs < us * MinDeviceBuffers) {
                g_object_set(FAudioSource, "buffer-time", us * MinDeviceBuffers, nullptr);
            }
        }
    }
    DebugLine("Audio capture format: " + std::to_string(chosen.Rate) + " Hz, " +
              std::to_string(chosen.Channels) + " channels" +
              (best >= 0 ? "" : " (converted from " + chosen.Format + ")"));
    return format;
}

std::vector<TElementProperty> TCaptureGraph::Properties(TMediaKind kind) const {
    GstElement* source = kind == TMediaKind::Video ? FVideoSource : FAudioSource;
    if (source == nullptr) return {};
    return WritableProperties(source);
}

bool TCaptureGraph::SetProperty(TMediaKind kind, const std::string& name,
                                const std::string& value) {
    GstElement* source = kind == TMediaKind::Video ? FVideoSource : FAudioSource;
    return source != nullptr && SetPropertyFromText(source, name, value);
}

std::vector<TColorBalanceChannel> TCaptureGraph::ColorBalance() const {
    if (FVideoSource == nullptr) return {};
    return ColorBalanceChannels(FVideoSource);
}

bool TCaptureGraph::SetColorBalance(const std::string& channel, int value) {
    return FVideoSource != nullptr && SetColorBalanceValue(FVideoSource, channel, value);
}
