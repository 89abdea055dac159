#include "app/headless_runner.h"

#include <chrono>
#include <thread>
#include <utility>

#include "app/run_output.h"
#include "engine/restart_rule.h"
#include "settings/log.h"
#include "settings/settings.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

TWaveFormatEx PcmFormat(int rate, int channels) {
    TWaveFormatEx format{};
    format.wFormatTag = 1;
    format.nChannels = static_cast<uint16_t>(channels);
    format.nSamplesPerSec = static_cast<uint32_t>(rate);
    format.wBitsPerSample = 16;
    format.nBlockAlign = static_cast<uint16_t>(channels * 2);
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
    return format;
}

// The capture side delivers top-down BGR rows, which a negative height announces.
TBitmapInfoHeader BgrHeader(int width, int height) {
    TBitmapInfoHeader header{};
    header.biSize = sizeof(TBitmapInfoHeader);
    header.biWidth = width;
    header.biHeight = -height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = 0;
    header.biSizeImage = static_cast<uint32_t>(((width * 3 + 3) & ~3) * height);
    return header;
}

}  // namespace

THeadlessRunner::THeadlessRunner(const THeadlessOptions& options, std::ostream& out,
                                 std::ostream& err)
    : FOptions(options),
      FOut(out),
      FErr(err),
      FAudioFormat(PcmFormat(options.CaptureRate, options.CaptureChannels)),
      FVideoHeader(BgrHeader(options.CaptureWidth, options.CaptureHeight)) {}

THeadlessRunner::~THeadlessRunner() {
    StopRun();
}

void THeadlessRunner::ApplyOverrides() const {
    Settings.CaptureToFile = !FOptions.Stream;
    if (FOptions.File) Settings.CaptureFile = *FOptions.File;
    if (FOptions.Server) Settings.Icecast.Server = *FOptions.Server;
    if (FOptions.Port) Settings.Icecast.Port = *FOptions.Port;
    if (FOptions.Mount) Settings.Icecast.MountPoint = *FOptions.Mount;
    if (FOptions.User) Settings.Icecast.Username = *FOptions.User;
    if (FOptions.Password) Settings.Icecast.Password = *FOptions.Password;
}

bool THeadlessRunner::StartRun() {
    TRunOutput run = CreateRunOutput();
    if (!run.ErrorText.empty()) {
        FErr << "kestrova_headless: " << run.ErrorText << "\n";
        return false;
    }
    try {
        FEncoder = std::make_unique<TLiveEncoder>(FOptions.Audio ? &FAudioFormat : nullptr,
                                                  FOptions.Video ? &FVideoHeader : nullptr,
                                                  std::move(run.Output));
    } catch (const std::exception& error) {
        // The encoder has logged the details; the run cannot start.
        FErr << "kestrova_headless: the run could not start: " << error.what() << "\n";
        return false;
    }
    if (FOptions.Video) {
        FVideoSource = std::make_unique<TTestPatternSource>(*this, FOptions.CaptureWidth,
                                                            FOptions.CaptureHeight,
                                                            FOptions.CaptureFps, FOptions.Fast);
        FVideoSource->Start();
    }
    if (FOptions.Audio) {
        FAudioSource = std::make_unique<TTestToneSource>(*this, FOptions.CaptureRate,
                                                         FOptions.CaptureChannels, FOptions.Fast);
        FAudioSource->Start();
    }
    return true;
}

void THeadlessRunner::StopRun() {
    // Like the capture graph: no sample may arrive while the encoder goes away.
    FVideoSource.reset();
    FAudioSource.reset();
    if (!FEncoder) return;
    FEarlierRunsSeconds += EncodedSeconds();
    FEncoder->Stop();
    // The output and the codecs report their own failures in the log; the exit status tells
    // a script that this run is not what was asked for.
    if (FEncoder->OutputFailed()) FailRun("the output could not be written");
    if (FEncoder->CodecError()) FailRun("an encoder could not be started");
    FEncoder.reset();
}

void THeadlessRunner::FailRun(const std::string& why) {
    if (!FFailed) FErr << "kestrova_headless: " << why << "\n";
    FFailed = true;
}

void THeadlessRunner::Restart() {
    StopRun();
    if (!StartRun()) FailRun("the run could not be restarted");
}

bool THeadlessRunner::WriteAudio(const uint8_t* data, int size) {
    return FEncoder->WriteAudio(data, size);
}

void THeadlessRunner::PutVideoFrame(const uint8_t* data, int size, double timeSeconds) {
    FEncoder->PutVideoFrame(data, size, timeSeconds);
}

double THeadlessRunner::EncodedSeconds() const {
    if (!FEncoder) return 0;
    if (FOptions.Video) return FEncoder->FramesEncoded() / static_cast<double>(Settings.Theora.FPS);
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
    if (FOptions.Audio) status += " - " + std::to_string(FEncoder->SamplesEncoded()) + " Samples";
    if (FOptions.Video) status += " - " + std::to_string(FEncoder->FramesEncoded()) + " Frames";
    if (FOptions.Stream) status += " - " + std::to_string(FEncoder->SendRateKbps()) + " kbps";
    FOut << status << "\n" << std::flush;
}

int THeadlessRunner::Run(const std::atomic<bool>& stop) {
    ApplyOverrides();
    if (!StartRun()) {
        StopRun();
        FlushLog();
        return 1;
    }
    const TRestartRule rule;
    auto nextCheck = Clock::now() + milliseconds(TRestartRule::PollIntervalMs);
    auto nextStatus = Clock::now() + milliseconds(1000);
    while (!stop.load() && FEncoder &&
           (FOptions.Seconds <= 0 || TotalSeconds() < FOptions.Seconds)) {
        std::this_thread::sleep_for(milliseconds(FOptions.Fast ? 2 : 10));
        const auto now = Clock::now();
        if (FOptions.Stream && now >= nextCheck) {
            nextCheck =
                now + milliseconds(rule.Check(FEncoder->Connected(), [this] { Restart(); }));
        }
        if (FOptions.Stream && FEncoder && now >= nextStatus) {
            PrintStatus();
            nextStatus = now + milliseconds(1000);
        }
        FlushLog();
    }
    StopRun();
    FlushLog();
    return FFailed ? 1 : 0;
}
