#pragma once
// TfrmCapture: the program's main window and the owner of everything that runs: the device
// lists and menus, the capture graph with its preview, the run (TRunControl), the status
// line, the sound level meter and the log pane.
//
// Everything here runs on the window thread. Capture callbacks reach the window only through
// the preview widget, the level meter's sums and the run's forwarder, all made for that.

#include <QElapsedTimer>
#include <QLabel>
#include <QMainWindow>
#include <QSplitter>
#include <QTimer>
#include <memory>
#include <string>

#include "app/audio_level.h"
#include "app/capture_menus.h"
#include "app/elided_label.h"
#include "app/level_meter.h"
#include "app/log_pane.h"
#include "app/preview_panel.h"
#include "app/run_control.h"
#include "app/thread_calls.h"
#include "capture/capture_devices.h"
#include "capture/capture_graph.h"
#include "engine/library_binder.h"

class TUpdateNotifier;

class TfrmCapture final : public QMainWindow {
    Q_OBJECT
  public:
    // `testDevices` shapes "Test Pattern" and "Test Tone" (tests make them small and fast).
    explicit TfrmCapture(TTestDeviceOptions testDevices = {}, QWidget* parent = nullptr);
    ~TfrmCapture() override;

    // For tests and the screenshot script: what the operator sees.
    QString StatusText() const { return Status->FullText(); }
    TCaptureMenus& Menus() { return *FMenus; }
    TPreviewPanel& PreviewPanel() { return *pnlBG; }
    TLogPane& LogPane() { return *Logs; }
    TLevelMeter& LevelMeter() { return *FLevelMeter; }
    const TRunControl& Run() const { return *FRun; }
    bool Recording() const { return FRecording; }
    bool GraphReady() const { return FConnect.Ready; }

  public slots:
    // Closes the program as the Exit item does; SIGTERM, SIGINT and the session's end too.
    void ExitClick();
    void StreamSettingsClick();
    void About1Click();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildLayout();
    void ConnectMenus();
    void FillDeviceMenus();
    void DevicesChanged();
    std::string AbsentStatus() const;
    bool DeviceAbsent() const { return !FAudioAbsent.empty() || !FVideoAbsent.empty(); }

    void ConnectSources();
    void TearDownGraph();
    void StopGraph();
    void RunGraph();
    void StartStreaming();
    void StopStreaming();
    void SetRecording(bool value);
    void ShowStatus(const std::string& text);

    void CaptureFault(const TCaptureFault& fault);
    void StartupTimer();
    void AutostartTimer();
    void NoneAudioClick(int tag);
    void NoneVideoClick(int tag);
    void PreviewClick();
    void PreviewAClick();
    void StartCaptureClick();
    void StopCaptureClick();
    void RestartRun();
    void FormClose();

    void VideoCapFilterClick();
    void ACapFClick();
    void VideoPinClick();
    void VideoCrossbarClick();

    // The codec libraries stay bound for the window's life, which is the program's.
    TLibraryUse FOggUse;
    TLibraryUse FTheoraUse;
    TLibraryUse FVorbisUse;

    // What the capture and device threads ask of the window; outlives both.
    TThreadCalls FThreadCalls;
    TCaptureDevices FDevices;
    std::unique_ptr<TCaptureGraph> FGraph;
    TAudioLevel FAudioLevel;
    std::unique_ptr<TRunControl> FRun;
    // The once-per-run update check; joined before the window goes.
    std::unique_ptr<TUpdateNotifier> FUpdateCheck;

    TCaptureMenus* FMenus = nullptr;
    TPreviewPanel* pnlBG = nullptr;
    QSplitter* Splitter1 = nullptr;
    QWidget* pnlLog = nullptr;
    TLogPane* Logs = nullptr;
    TElidedLabel* Status = nullptr;
    TLevelMeter* FLevelMeter = nullptr;
    QTimer Startup;
    QTimer Autostart;

    bool FRecording = false;
    TDeviceChoice FVideoChoice;  // the device checked in each menu; None() for "<None>"
    TDeviceChoice FAudioChoice;
    // The chosen device's name while it is not connected; empty otherwise.
    std::string FAudioAbsent;
    std::string FVideoAbsent;
    QElapsedTimer FStartClock;
    bool FDevicesChanged = false;  // a device came or went during a run
    TConnectResult FConnect;
    bool FVideoHasProperties = false;  // read once per build, not while a run streams
    std::string FBaseStatus;
    bool FPendingAutostart = false;
    bool FClosed = false;
};
