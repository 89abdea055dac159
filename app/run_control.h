#pragma once
// TRunControl: one broadcast or recording as the main window runs it. It owns the live
// encoder (FEncoder exists exactly while a run is active), hands the capture taps to it
// through the forwarder, and runs the status timer tRefresh: the status text every 50 ms,
// and, when a broadcast has lost its server, a restart of the run through the restart rule,
// looking again only 5 s later. A broadcast that also records is not restarted: its output
// connects again and the recording goes on.
//
// Threads: everything on the window thread; the forwarder's handlers on the capture threads.
// Start and Stop are called only while the capture graph is stopped, so no handler runs while
// the encoder comes or goes.

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/stall_report.h"
#include "app/status_text.h"
#include "capture/capture_forwarder.h"
#include "engine/live_encoder.h"
#include "engine/restart_rule.h"

class TRunControl final : public QObject {
    Q_OBJECT
  public:
    explicit TRunControl(QObject* parent = nullptr);
    ~TRunControl() override;

    // Creates the encoder for these formats (either may be absent) and its output: the
    // stored file, a new file in the videos folder when none is stored, or the server (with
    // such a file too when the broadcast also records).
    // Returns the status text to show: base + " - Recording!", or the file error. A run that
    // cannot start (the picture options do not fit the capture, a codec refuses its settings)
    // leaves no encoder, writes nothing, and returns base + " - Video Failed - " or
    // " - Audio Failed - " and the reason.
    std::string Start(const std::string& baseStatus, const std::optional<TWaveFormatEx>& audio,
                      const std::optional<TBitmapInfoHeader>& video);
    // Ends the run and frees the encoder; a recording's end is logged as "Saved <seconds> s to
    // <file>".
    void Stop();

    bool Recording() const { return FEncoder != nullptr; }
    TCaptureForwarder& Forwarder() { return FForwarder; }
    const TLiveEncoder* Encoder() const { return FEncoder.get(); }
    // The file this run records to; empty for a broadcast that records nothing.
    const std::string& RecordingFile() const { return FRecordingFile; }

    // tRefresh: on while a run is active.
    void EnableRefresh(bool enabled);
    QTimer& tRefresh() { return FRefresh; }
    // The status text of the running run (what tRefresh shows).
    std::string RunStatus() const;

  signals:
    void StatusChanged(const QString& text);
    // The broadcast lost its server: the window stops and starts the run again.
    void RestartWanted();

  private:
    void tRefreshTimer();
    std::string FailedStart(bool video, const std::string& reason);
    std::string SavedLine() const;
    void LookAtTheServer();
    std::unique_ptr<TLiveEncoder> CreateEncoder(const std::optional<TWaveFormatEx>& audio,
                                                const std::optional<TBitmapInfoHeader>& video);

    TCaptureForwarder FForwarder;
    std::unique_ptr<TLiveEncoder> FEncoder;
    QTimer FRefresh;
    TRestartRule FRestartRule;
    TStallReport FStalls;
    std::string FStallWarning;  // appended to the status while a device stalls
    std::string FBaseStatus;
    std::string FRecordingFile;
    std::string FFileError;  // shown instead of the counts while the file cannot be written
    TBroadcastState FBroadcast;
    bool FRetrying = false;  // the coming Start is a retry this control asked for
    bool FHasAudio = false;
    bool FHasVideo = false;
};
