#include "app/graph_capture.h"

#include "app/synthetic_capture.h"
#include "engine/live_encoder.h"
#include "settings/log.h"
#include "settings/settings.h"
#include "settings/video_mode.h"

// How long a run waits for the device providers before it chooses among what they listed.
constexpr int ProviderWaitMs = 2000;

TTestDeviceOptions TestDeviceOptions(const THeadlessOptions& options) {
    using TFormat = TTestDeviceOptions::TVideoFormat;
    TTestDeviceOptions test;
    test.VideoFormat = options.TestPatternFormat == "mjpeg"  ? TFormat::Mjpeg
                       : options.TestPatternFormat == "i420" ? TFormat::I420
                                                             : TFormat::Bgr;
    test.Width = options.CaptureWidth;
    test.Height = options.CaptureHeight;
    test.Fps = options.CaptureFps;
    test.Rate = options.CaptureRate;
    test.Channels = options.CaptureChannels;
    test.VideoFailAfterSeconds = options.FailVideoAfter;
    test.AudioFailAfterSeconds = options.FailAudioAfter;
    return test;
}

TGraphCapture::TGraphCapture(const THeadlessOptions& options)
    : FOptions(options), FGraph(FDevices, TestDeviceOptions(options)) {
    TCaptureCallbacks callbacks;
    callbacks.Video = [this](const TVideoSample& s) { FForwarder.VideoGrabOldBuffer(s); };
    callbacks.Audio = [this](const TAudioSample& s) { FForwarder.AudioGrabBuffer(s); };
    callbacks.Fault = [this](const TCaptureFault& fault) {
        std::lock_guard lock(FFaultLock);
        if (!FFault) FFault = fault.Message;
    };
    FGraph.SetCallbacks(std::move(callbacks));
}

TGraphCapture::~TGraphCapture() {
    StopRun();
    FGraph.TearDown();
}

TDeviceChoice TGraphCapture::Choose(TMediaKind kind, const std::optional<std::string>& name,
                                    const std::string& stored) const {
    return ChooseStoredDevice(FDevices.Names(kind), name ? *name : stored);
}

bool TGraphCapture::Open() {
    const bool realDevices = !(FOptions.VideoDevice && FOptions.AudioDevice &&
                               TDeviceChoice{0, *FOptions.VideoDevice}.IsTestDevice() &&
                               TDeviceChoice{0, *FOptions.AudioDevice}.IsTestDevice());
    // Test devices alone need no monitor: they are always listed.
    if (realDevices) {
        FDevices.Start();
        FDevices.WaitUntilSettled(ProviderWaitMs);
    }
    const TDeviceChoice video =
        Choose(TMediaKind::Video, FOptions.VideoDevice, Settings.VideoDevice);
    const TDeviceChoice audio =
        Choose(TMediaKind::Audio, FOptions.AudioDevice, Settings.AudioDevice);
    for (const auto& [choice, name] :
         {std::pair{video, FOptions.VideoDevice}, std::pair{audio, FOptions.AudioDevice}}) {
        if (choice.None() && name && *name != NoDeviceName) {
            LogLine("No capture device named " + *name + " (see --list-devices)");
            return false;
        }
    }
    // This run's mode, else the one the window stored for the device.
    FGraph.SetVideoMode(FOptions.VideoMode ? FOptions.VideoMode
                                           : StoredVideoMode(Settings.VideoModes, video.Name));
    const TConnectResult result = FGraph.Build(video, audio, Settings.APreview);
    LogLine("Status: " + result.Status);
    if (FOptions.VideoMode && !result.VideoMode) {
        // Asked for by name on the command line: another size would be a silent surprise.
        LogLine("The video device does not offer " + VideoModeText(*FOptions.VideoMode) +
                " (see --list-devices)");
        return false;
    }
    if (!result.Ready || (!result.VideoAttached && !result.AudioAttached)) {
        LogLine("Nothing to capture");
        return false;
    }
    return true;
}

void TGraphCapture::PrepareRun(std::optional<TWaveFormatEx>& audio,
                               std::optional<TBitmapInfoHeader>& video) {
    LogLine("Stopping Preview/Record...");
    StopRun();
    const int channels = Settings.VorbisStereo ? 2 : 1;
    audio = FGraph.ChooseAudioFormat(SampleRateTable[Settings.VorbisSampleFreq], channels);
    video = FGraph.ChooseVideoFormat(Settings.Theora.FPS);
}

void TGraphCapture::StartRun(TLiveEncoder& encoder) {
    {
        std::lock_guard lock(FFaultLock);
        FFault.reset();
    }
    // Live devices: one that stalls must not hold the other back.
    encoder.ReplaceLateMedia(true);
    FForwarder.SetEncoder(&encoder);
    FGraph.Run();
}

void TGraphCapture::StopRun() {
    FGraph.Stop();
    FForwarder.SetEncoder(nullptr);
}

std::optional<std::string> TGraphCapture::Fault() const {
    std::lock_guard lock(FFaultLock);
    return FFault;
}

std::unique_ptr<THeadlessCapture> MakeHeadlessCapture(const THeadlessOptions& options) {
    if (options.VideoDevice || options.AudioDevice) return std::make_unique<TGraphCapture>(options);
    return std::make_unique<TSyntheticCapture>(options);
}
