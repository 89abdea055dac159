#include "app/headless_runner.h"

#include <chrono>
#include <iomanip>
#include <thread>
#include <utility>

#include "app/graph_capture.h"
#include "app/run_output.h"
#include "capture/capture_devices.h"
#include "capture/device_modes.h"
#include "engine/restart_rule.h"
#include "settings/log.h"
#include "settings/settings.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
// --list-devices lists what the device providers gave within this time, so it ends within 3 s
// even when a sound server does not answer.
constexpr int ListWaitMs = 2000;

}  // namespace

THeadlessRunner::THeadlessRunner(const THeadlessOptions& options, std::ostream& out,
                                 std::ostream& err)
    : FOptions(options), FOut(out), FErr(err) {}

THeadlessRunner::~THeadlessRunner() {
    StopRun();
}

void THeadlessRunner::ApplyOverrides() const {
    Settings.CaptureToFile = !FOptions.Stream;
    // Only a file named on the command line records a broadcast: what the window stores does
    // not make a script write files it did not ask for.
    Settings.RecordWhileStreaming = FOptions.Stream && FOptions.File.has_value();
    if (FOptions.File) Settings.CaptureFile = *FOptions.File;
    if (FOptions.Server) Settings.Icecast.Server = *FOptions.Server;
    if (FOptions.Port) Settings.Icecast.Port = *FOptions.Port;
    if (FOptions.Mount) Settings.Icecast.MountPoint = *FOptions.Mount;
    if (FOptions.User) Settings.Icecast.Username = *FOptions.User;
    if (FOptions.Password) Settings.Icecast.Password = *FOptions.Password;
}

bool THeadlessRunner::StartRun() {
    std::optional<TWaveFormatEx> audio;
    std::optional<TBitmapInfoHeader> video;
    FCapture->PrepareRun(audio, video);
    FRunHasVideo = video.has_value();
    FRunHasAudio = audio.has_value();
    TRunOutput run = CreateRunOutput();
    if (!run.ErrorText.empty()) {
        FErr << "kestrova_headless: " << run.ErrorText << "\n";
        // A broadcast goes on without the copy it could not create; the exit status tells.
        if (Settings.CaptureToFile) return false;
        FFailed = true;
    }
    try {
        FEncoder = std::make_unique<TLiveEncoder>(audio ? &*audio : nullptr,
                                                  video ? &*video : nullptr, std::move(run.Output));
    } catch (const std::exception& error) {
        // The encoder has logged the details; the run cannot start.
        FErr << "kestrova_headless: the run could not start: " << error.what() << "\n";
        return false;
    }
    FCapture->StartRun(*FEncoder);
    return true;
}

void THeadlessRunner::StopRun() {
    // As the window does: stop the capture, then free the encoder, so no sample arrives while
    // the encoder goes away.
    if (FCapture) FCapture->StopRun();
    if (!FEncoder) return;
    FEncoder->Stop();
    // Counted once the encoder has ended, so the last frames are in.
    FEarlierRunsSeconds += EncodedSeconds();
    if (FEncoder->OutputEverAccepted()) FEverAccepted = true;
    // The output and the codecs report their own failures in the log; the exit status tells
    // a script that this run is not what was asked for.
    if (FEncoder->OutputFailed()) FailRun("the output could not be written");
    FEncoder.reset();
}

void THeadlessRunner::FailRun(const std::string& why) {
    if (!FFailed) FErr << "kestrova_headless: " << why << "\n";
    FFailed = true;
}

void THeadlessRunner::Reconnect() {
    // A broadcast that also records keeps its encoding, so the file has no gap.
    if (!FEncoder->ReconnectOutput()) Restart();
}

void THeadlessRunner::Restart() {
    StopRun();
    if (!StartRun()) FailRun("the run could not be restarted");
}

double THeadlessRunner::EncodedSeconds() const {
    if (!FEncoder) return 0;
    if (FRunHasVideo) return FEncoder->FramesEncoded() / static_cast<double>(Settings.Theora.FPS);
    if (FEncoder->SampleRate() <= 0) return 0;
    return static_cast<double>(FEncoder->SamplesEncoded()) / FEncoder->SampleRate();
}

void THeadlessRunner::FlushLog() {
    const std::string text = TakeLog();
    if (text.empty()) return;
    std::string lines;
    lines.reserve(text.size());
    for (char c : text) {
        if (c != '\r') lines += c;
    }
    FOut << lines << std::flush;
}

void THeadlessRunner::PrintStatus() {
    std::string status = FOptions.Stream ? "Streaming!" : "Recording!";
    if (FRunHasAudio) status += " - " + std::to_string(FEncoder->SamplesEncoded()) + " Samples";
    if (FRunHasVideo) status += " - " + std::to_string(FEncoder->FramesEncoded()) + " Frames";
    if (FOptions.Stream) status += " - " + std::to_string(FEncoder->SendRateKbps()) + " kbps";
    if (FOptions.Stream && FEncoder->OutputFailed())
        status += " - Error writing to file " + Settings.CaptureFile;
    FOut << status << "\n" << std::flush;
}

// How long the run's loop sleeps between its checks: a tenth of a second, as every wake-up
// costs a thread switch and no check needs more; 10 ms once a timed run is that close to its
// end, so that it ends on time; 2 ms for a fast run, which is not paced by the wall clock.
int THeadlessRunner::PollIntervalMs() const {
    constexpr int Idle = 100, NearTheEnd = 10, Fast = 2;
    if (FOptions.Fast) return Fast;
    if (FOptions.Seconds <= 0) return Idle;
    const double leftMs = (FOptions.Seconds - TotalSeconds()) * 1000;
    return leftMs > Idle ? Idle : NearTheEnd;
}

int THeadlessRunner::Run(const std::atomic<bool>& stop) {
    ApplyOverrides();
    FCapture = MakeHeadlessCapture(FOptions);
    if (!FCapture->Open() || !StartRun()) {
        StopRun();
        FlushLog();
        return FailedStatus;
    }
    TRestartRule rule;
    auto nextCheck = Clock::now() + milliseconds(TRestartRule::PollIntervalMs);
    auto nextStatus = Clock::now() + milliseconds(1000);
    int status = 0;
    while (!stop.load() && FEncoder &&
           (FOptions.Seconds <= 0 || TotalSeconds() < FOptions.Seconds)) {
        std::this_thread::sleep_for(milliseconds(PollIntervalMs()));
        if (FCapture->Fault()) {
            // The device's own log line says why; the run ends as a Stop would end it.
            status = DeviceFaultStatus;
            break;
        }
        // A file output that failed has ended for good (logged); the run is over. A broadcast
        // that also records goes on without its file.
        if (FEncoder->OutputEnded()) break;
        if (FCapture->LiveDevices()) FStalls.Check(*FEncoder, FRunHasAudio, FRunHasVideo);
        const auto now = Clock::now();
        if (FOptions.Stream && now >= nextCheck) {
            // Connecting is read first: the attempt may end between the two reads.
            const bool connecting = FEncoder->Connecting();
            const bool connected = FEncoder->Connected();
            nextCheck =
                now + milliseconds(rule.Check(connected, connecting, [this] { Reconnect(); }));
        }
        if (FOptions.Stream && FEncoder && now >= nextStatus) {
            PrintStatus();
            nextStatus = now + milliseconds(1000);
        }
        FlushLog();
    }
    StopRun();
    FCapture.reset();
    FlushLog();
    FOut << "Encoded " << std::fixed << std::setprecision(3) << FEarlierRunsSeconds << " s\n";
    // A device that stalled is a device that stopped for a script, though the file is whole.
    if (status == 0 && FStalls.StallSeen()) status = DeviceFaultStatus;
    if (status != 0) return status;
    if (FFailed) return FailedStatus;
    if (FOptions.Stream && !FEverAccepted) {
        FErr << "kestrova_headless: the server never accepted the broadcast\n";
        return NeverConnectedStatus;
    }
    return 0;
}

void ListCaptureDevices(const THeadlessOptions& options, std::ostream& out) {
    TCaptureDevices devices;
    devices.Start();
    // A provider that never answers (its server stopped) is left out, not waited for.
    devices.WaitUntilSettled(ListWaitMs);
    const TTestDeviceOptions test = TestDeviceOptions(options);
    const std::vector<std::string> video = devices.Names(TMediaKind::Video);
    for (int i = 0; i < static_cast<int>(video.size()); ++i) {
        out << "video: " << video[i] << "\n";
        for (const TVideoMode& mode : DeviceVideoModes(devices, {i, video[i]}, test))
            out << "  mode: " << VideoModeText(mode) << "\n";
    }
    for (const auto& name : devices.Names(TMediaKind::Audio)) out << "audio: " << name << "\n";
}
