#include "app/run_control.h"

#include <QDateTime>
#include <QDir>
#include <cstdlib>

#include "app/capture_file_name.h"
#include "app/run_output.h"
#include "app/status_text.h"
#include "engine/start_failure.h"
#include "settings/log.h"
#include "settings/settings.h"
#include "video/processing_check.h"

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
    if (Settings.CaptureToFile || Settings.RecordWhileStreaming)
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
    // A start by hand begins afresh; a retry keeps showing why the last attempt failed.
    FBroadcast.Accepted = false;
    if (!FRetrying) FBroadcast.Problem.clear();
    FRetrying = false;
    if (video) {
        const std::string problem =
            ProcessingProblem(Settings.Processing, video->biWidth, std::abs(video->biHeight));
        if (!problem.empty()) return FailedStart(true, problem);
    }
    try {
        FEncoder = CreateEncoder(audio, video);
    } catch (const TStartFailure& failure) {
        return FailedStart(failure.Video(), failure.what());
    } catch (const std::exception& error) {
        return FailedStart(FHasVideo, error.what());
    }
    FRestartRule = TRestartRule();
    FStalls = TStallReport();
    // Live devices: one that stalls must not hold the other back.
    FEncoder->ReplaceLateMedia(true);
    FForwarder.SetEncoder(FEncoder.get());
    if (!FRecordingFile.empty() && FFileError.empty()) LogLine("Recording to " + FRecordingFile);
    // A file that cannot be created leaves a broadcast going: its status says both.
    if (!Settings.CaptureToFile)
        return BroadcastStatus(FBaseStatus, FBroadcast, {}) + FileProblemText(FFileError);
    if (!FFileError.empty()) return FBaseStatus + " - " + FFileError;
    return FBaseStatus + " - Recording!";
}

std::string TRunControl::FailedStart(bool video, const std::string& reason) {
    // Nothing was opened for writing: an earlier recording in the file stays as it was.
    FRecordingFile.clear();
    LogLine("Not started: " + reason);
    return FBaseStatus + (video ? " - Video Failed - " : " - Audio Failed - ") + reason;
}

void TRunControl::Stop() {
    FForwarder.SetEncoder(nullptr);
    if (!FEncoder) return;
    FEncoder->Stop();
    if (!FRecordingFile.empty() && FFileError.empty()) LogLine(SavedLine());
    FEncoder.reset();
}

// Where the recording went and how long it is, in words: the log pane's last word on a run.
std::string TRunControl::SavedLine() const {
    double seconds = 0;
    if (FHasVideo)
        seconds = FEncoder->FramesEncoded() / static_cast<double>(Settings.Theora.FPS);
    else if (FEncoder->SampleRate() > 0)
        seconds = static_cast<double>(FEncoder->SamplesEncoded()) / FEncoder->SampleRate();
    QString path = QString::fromStdString(FRecordingFile);
    const QString home = QDir::homePath() + "/";
    if (path.startsWith(home)) path = "~/" + path.mid(home.size());
    const std::string where =
        QString::number(seconds, 'f', 1).toStdString() + " s to " + path.toStdString();
    if (FEncoder->OutputFailed()) return "Saved only part of " + where + ": writing failed";
    return "Saved " + where;
}

void TRunControl::EnableRefresh(bool enabled) {
    if (enabled)
        FRefresh.start();
    else
        FRefresh.stop();
}

std::string TRunControl::RunStatus() const {
    if (!FEncoder) return FBaseStatus;
    // A file whose write failed has ended for good (logged); the status line keeps saying so.
    const std::string fileProblem = !FFileError.empty() ? FFileError
                                    : FEncoder->OutputFailed()
                                        ? "Error writing to file " + FRecordingFile
                                        : std::string();
    if (Settings.CaptureToFile && !fileProblem.empty()) return FBaseStatus + " - " + fileProblem;
    TRunCounts counts;
    if (FHasAudio) counts.Samples = FEncoder->SamplesEncoded();
    if (FHasVideo) counts.Frames = FEncoder->FramesEncoded();
    if (Settings.CaptureToFile) return RecordingStatus(FBaseStatus, counts) + FStallWarning;
    counts.Kbps = FEncoder->SendRateKbps();
    // A broadcast that also records goes on without its file and says so.
    return BroadcastStatus(FBaseStatus, FBroadcast, counts) + FileProblemText(fileProblem) +
           FStallWarning;
}

void TRunControl::LookAtTheServer() {
    // Connecting is read first: the attempt may end between the reads.
    const bool connecting = FEncoder->Connecting();
    FBroadcast.Accepted = !connecting && FEncoder->Connected() && FEncoder->OutputEverAccepted();
    const std::string problem = FEncoder->ConnectionProblem();
    // A problem stays on show through the retries until a server lets the broadcast in.
    if (!problem.empty()) FBroadcast.Problem = problem;
    if (FBroadcast.Accepted) FBroadcast.Problem.clear();
}

void TRunControl::tRefreshTimer() {
    if (!FEncoder) return;
    FStallWarning = FStalls.Check(*FEncoder, FHasAudio, FHasVideo);
    if (!Settings.CaptureToFile) LookAtTheServer();
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
    // A broadcast that also records connects again without a new run: the file has no gap.
    if (FEncoder->ReconnectOutput()) {
        FRefresh.setInterval(nextMs);
        return;
    }
    // The new run re-enables this timer, so its first look comes a retry interval later.
    FRefresh.stop();
    FRefresh.setInterval(nextMs);
    FRetrying = true;
    emit RestartWanted();
}
