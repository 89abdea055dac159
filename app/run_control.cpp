#include "app/run_control.h"

#include <QDateTime>

#include "app/capture_file_name.h"
#include "app/run_output.h"
#include "app/status_text.h"
#include "settings/log.h"
#include "settings/settings.h"

namespace {

constexpr int FirstRefreshMs = 250;

}  // namespace

TRunControl::TRunControl(QObject* parent) : QObject(parent) {
    FRefresh.setObjectName("tRefresh");
    FRefresh.setInterval(FirstRefreshMs);
    connect(&FRefresh, &QTimer::timeout, this, &TRunControl::tRefreshTimer);
}

TRunControl::~TRunControl() {
    Stop();
}

std::unique_ptr<TLiveEncoder> TRunControl::CreateEncoder(
    const std::optional<TWaveFormatEx>& audio, const std::optional<TBitmapInfoHeader>& video) {
    FRecordingFile.clear();
    if (Settings.CaptureToFile)
        FRecordingFile = RecordingFilePath(Settings.CaptureFile, QDateTime::currentDateTime());
    // A file that cannot be created has been logged by the file output; the run goes on,
    // writing nothing, and the status line says why.
    TRunOutput run = CreateRunOutput(FRecordingFile);
    FFileError = run.ErrorText;
    return std::make_unique<TLiveEncoder>(audio ? &*audio : nullptr, video ? &*video : nullptr,
                                          std::move(run.Output));
}

std::string TRunControl::Start(const std::string& baseStatus,
                               const std::optional<TWaveFormatEx>& audio,
                               const std::optional<TBitmapInfoHeader>& video) {
    Stop();
    FBaseStatus = baseStatus;
    FHasAudio = audio.has_value();
    FHasVideo = video.has_value();
    FEncoder = CreateEncoder(audio, video);
    FRestartRule = TRestartRule();
    FStalls = TStallReport();
    // Live devices: one that stalls must not hold the other back.
    FEncoder->ReplaceLateMedia(true);
    FForwarder.SetEncoder(FEncoder.get());
    if (!FRecordingFile.empty() && FFileError.empty()) LogLine("Recording to " + FRecordingFile);
    return FFileError.empty() ? FBaseStatus + " - Recording!" : FBaseStatus + " - " + FFileError;
}

void TRunControl::Stop() {
    FForwarder.SetEncoder(nullptr);
    FEncoder.reset();
}

void TRunControl::EnableRefresh(bool enabled) {
    if (enabled)
        FRefresh.start();
    else
        FRefresh.stop();
}

std::string TRunControl::RunStatus() const {
    if (!FEncoder) return FBaseStatus;
    if (!FFileError.empty()) return FBaseStatus + " - " + FFileError;
    // A file whose write failed has ended for good (logged); the status line keeps saying so.
    if (FEncoder->OutputFailed()) return FBaseStatus + " - Error writing to file " + FRecordingFile;
    TRunCounts counts;
    if (FHasAudio) counts.Samples = FEncoder->SamplesEncoded();
    if (FHasVideo) counts.Frames = FEncoder->FramesEncoded();
    if (!Settings.CaptureToFile) counts.Kbps = FEncoder->SendRateKbps();
    return RecordingStatus(FBaseStatus, counts) + FStallWarning;
}

void TRunControl::tRefreshTimer() {
    if (!FEncoder) return;
    FStallWarning = FStalls.Check(*FEncoder, FHasAudio, FHasVideo);
    emit StatusChanged(QString::fromStdString(RunStatus()));
    // Connecting is read first: the attempt may end between the two reads.
    const bool connecting = FEncoder->Connecting();
    const bool connected = FEncoder->Connected();
    bool restart = false;
    const int nextMs = FRestartRule.Check(connected, connecting, [&restart] { restart = true; });
    if (!restart) {
        FRefresh.setInterval(nextMs);
        return;
    }
    // The new run re-enables this timer, so its first look comes a retry interval later.
    FRefresh.stop();
    FRefresh.setInterval(nextMs);
    emit RestartWanted();
}
