#include "app/run_control.h"

#include <QDateTime>

#include "app/capture_file_name.h"
#include "app/status_text.h"
#include "engine/ogg_file.h"
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
    const TWaveFormatEx* audioFormat = audio ? &*audio : nullptr;
    const TBitmapInfoHeader* videoHeader = video ? &*video : nullptr;
    FRecordingFile.clear();
    FFileError.clear();
    if (!Settings.CaptureToFile) return std::make_unique<TLiveEncoder>(audioFormat, videoHeader);
    FRecordingFile = RecordingFilePath(Settings.CaptureFile, QDateTime::currentDateTime());
    auto file = std::make_unique<tOggFile>();
    // The file output logs the failure itself; the run goes on, writing nothing.
    if (!file->Open(FRecordingFile)) FFileError = "Error writing to file " + FRecordingFile;
    return std::make_unique<TLiveEncoder>(audioFormat, videoHeader, std::move(file));
}

std::string TRunControl::Start(const std::string& baseStatus,
                               const std::optional<TWaveFormatEx>& audio,
                               const std::optional<TBitmapInfoHeader>& video) {
    Stop();
    FBaseStatus = baseStatus;
    FHasAudio = audio.has_value();
    FHasVideo = video.has_value();
    FEncoder = CreateEncoder(audio, video);
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
    TRunCounts counts;
    if (FHasAudio) counts.Samples = FEncoder->SamplesEncoded();
    if (FHasVideo) counts.Frames = FEncoder->FramesEncoded();
    if (!Settings.CaptureToFile) counts.Kbps = FEncoder->SendRateKbps();
    return RecordingStatus(FBaseStatus, counts);
}

void TRunControl::tRefreshTimer() {
    if (!FEncoder) return;
    emit StatusChanged(QString::fromStdString(RunStatus()));
    bool restart = false;
    const int nextMs = FRestartRule.Check(FEncoder->Connected(), [&restart] { restart = true; });
    if (!restart) {
        FRefresh.setInterval(nextMs);
        return;
    }
    // The new run re-enables this timer, so its first look comes a retry interval later.
    FRefresh.stop();
    FRefresh.setInterval(nextMs);
    emit RestartWanted();
}
