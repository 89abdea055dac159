#include "app/frm_capture.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QVBoxLayout>

#include "app/capture_file_name.h"
#include "app/property_dialog.h"
#include "app/wait_cursor.h"
#include "engine/ogg_library.h"
#include "engine/theora_library.h"
#include "engine/vorbis_library.h"
#include "settings/log.h"
#include "settings/settings.h"
#include "settings/store/settings_store.h"
#include "settings/video_mode.h"
#include "ui/frm_about.h"
#include "ui/frm_settings.h"
#include "update/update_notifier.h"

namespace {

constexpr int WindowWidth = 642;
constexpr int WindowHeight = 541;
constexpr int LogAreaHeight = 100;
constexpr int SplitterWidth = 4;
constexpr int StartupDelayMs = 50;
constexpr int AutostartDelayMs = 500;
// How long the first graph build waits for device providers that have not answered yet.
constexpr int ProviderWaitMs = 1000;

// The device behind a menu item's tag; "<None>" for -1 or a device gone meanwhile.
TDeviceChoice MenuChoice(const std::vector<std::string>& names, int tag) {
    TDeviceChoice choice;
    if (tag < 0 || tag >= static_cast<int>(names.size())) return choice;
    choice.Index = tag;
    choice.Name = names[tag];
    return choice;
}

}  // namespace

TfrmCapture::TfrmCapture(TTestDeviceOptions testDevices, QWidget* parent)
    : QMainWindow(parent),
      FOggUse(BindOgg, UnbindOgg),
      FTheoraUse(BindTheora, UnbindTheora),
      FVorbisUse(BindVorbis, UnbindVorbis),
      FRun(std::make_unique<TRunControl>()) {
    FPendingAutostart = Settings.Autostart;
    FGraph = std::make_unique<TCaptureGraph>(FDevices, testDevices);
    TCaptureForwarder& forwarder = FRun->Forwarder();
    TCaptureCallbacks callbacks;
    callbacks.Video = [&forwarder](const TVideoSample& sample) {
        forwarder.VideoGrabOldBuffer(sample);
    };
    callbacks.Audio = [this, &forwarder](const TAudioSample& sample) {
        FAudioLevel.Add(reinterpret_cast<const int16_t*>(sample.Data), sample.Size / 2);
        forwarder.AudioGrabBuffer(sample);
    };
    callbacks.Preview = [this](const TPreviewFrame& frame) {
        pnlBG->VideoPreview()->PresentFrame(frame.Rgb, frame.Width, frame.Height, frame.Stride,
                                            true);
    };
    callbacks.Fault = [this](const TCaptureFault& fault) {
        FThreadCalls.Post([this, fault] { CaptureFault(fault); });
    };
    FGraph->SetCallbacks(std::move(callbacks));

    BuildLayout();
    ConnectMenus();
    FDevices.SetChangedCallback([this] { FThreadCalls.Post([this] { DevicesChanged(); }); });
    FStartClock.start();
    FDevices.Start();
    FillDeviceMenus();

    FMenus->Preview->setChecked(Settings.Preview);
    FMenus->PreviewA->setChecked(Settings.APreview);
    pnlBG->SetPreviewWanted(Settings.Preview);
    Startup.setSingleShot(true);
    Startup.setInterval(StartupDelayMs);
    connect(&Startup, &QTimer::timeout, this, &TfrmCapture::StartupTimer);
    Autostart.setSingleShot(true);
    Autostart.setInterval(AutostartDelayMs);
    connect(&Autostart, &QTimer::timeout, this, &TfrmCapture::AutostartTimer);
    Startup.start();
    SetRecording(false);
    FUpdateCheck = std::make_unique<TUpdateNotifier>(this);
}

TfrmCapture::~TfrmCapture() {
    FormClose();
    // The graph's callbacks point into the window: it goes before the widgets do.
    FGraph.reset();
}

void TfrmCapture::BuildLayout() {
    setObjectName("frmCapture");
    setWindowTitle("Kestrova - Ogg Capture");
    setFont(QFont("Tahoma", 8));
    FMenus = new TCaptureMenus(menuBar());

    Splitter1 = new QSplitter(Qt::Vertical, this);
    Splitter1->setObjectName("Splitter1");
    Splitter1->setHandleWidth(SplitterWidth);
    Splitter1->setChildrenCollapsible(false);
    pnlBG = new TPreviewPanel(Splitter1);
    pnlLog = new QWidget(Splitter1);
    pnlLog->setObjectName("pnlLog");
    auto* logLayout = new QVBoxLayout(pnlLog);
    logLayout->setContentsMargins(0, 0, 0, 0);
    logLayout->setSpacing(0);
    Logs = new TLogPane(pnlLog);
    logLayout->addWidget(Logs);
    auto* statusBar = new QStatusBar(pnlLog);
    statusBar->setSizeGripEnabled(false);
    Status = new TElidedLabel(statusBar);
    Status->setObjectName("Status");
    statusBar->addWidget(Status, 1);
    FLevelMeter = new TLevelMeter(FAudioLevel, statusBar);
    statusBar->addPermanentWidget(FLevelMeter);
    logLayout->addWidget(statusBar);
    Splitter1->setStretchFactor(0, 1);
    Splitter1->setStretchFactor(1, 0);
    setCentralWidget(Splitter1);

    resize(WindowWidth, WindowHeight);
    Splitter1->setSizes({WindowHeight - LogAreaHeight, LogAreaHeight});
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(0, 0), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void TfrmCapture::ConnectMenus() {
    connect(FMenus->Exit, &QAction::triggered, this, &TfrmCapture::ExitClick);
    connect(FMenus->StreamSettings, &QAction::triggered, this, &TfrmCapture::StreamSettingsClick);
    connect(FMenus->About1, &QAction::triggered, this, &TfrmCapture::About1Click);
    connect(FMenus, &TCaptureMenus::AudioChosen, this, &TfrmCapture::NoneAudioClick);
    connect(FMenus, &TCaptureMenus::VideoChosen, this, &TfrmCapture::NoneVideoClick);
    connect(FMenus->Preview, &QAction::triggered, this, &TfrmCapture::PreviewClick);
    connect(FMenus->PreviewA, &QAction::triggered, this, &TfrmCapture::PreviewAClick);
    connect(FMenus->StartCapture, &QAction::triggered, this, &TfrmCapture::StartCaptureClick);
    connect(FMenus->StopCapture, &QAction::triggered, this, &TfrmCapture::StopCaptureClick);
    connect(FMenus->VideoCapFilter, &QAction::triggered, this, &TfrmCapture::VideoCapFilterClick);
    connect(FMenus->ACapF, &QAction::triggered, this, &TfrmCapture::ACapFClick);
    connect(FMenus->VideoCapturePin, &QAction::triggered, this, &TfrmCapture::VideoPinClick);
    connect(FMenus->VideoPreviewPin, &QAction::triggered, this, &TfrmCapture::VideoPinClick);
    connect(FMenus->VideoCrossbar, &QAction::triggered, this, &TfrmCapture::VideoCrossbarClick);
    connect(FRun.get(), &TRunControl::StatusChanged, Status, &TElidedLabel::SetFullText);
    connect(FRun.get(), &TRunControl::RestartWanted, this, &TfrmCapture::RestartRun);
}

void TfrmCapture::FillDeviceMenus() {
    // The stored names decide, as at start: a device that comes back under its name is used
    // again, and one that is gone stays chosen, shown as not connected.
    const auto audio = FDevices.Names(TMediaKind::Audio);
    const auto video = FDevices.Names(TMediaKind::Video);
    FAudioChoice = ChooseStoredDevice(audio, Settings.AudioDevice);
    FVideoChoice = ChooseStoredDevice(video, Settings.VideoDevice);
    FAudioAbsent = StoredDeviceAbsent(audio, Settings.AudioDevice) ? Settings.AudioDevice : "";
    FVideoAbsent = StoredDeviceAbsent(video, Settings.VideoDevice) ? Settings.VideoDevice : "";
    FMenus->FillAudioDevices(audio, FAudioChoice.Index, FAudioAbsent);
    FMenus->FillVideoDevices(video, FVideoChoice.Index, FVideoAbsent);
}

void TfrmCapture::DevicesChanged() {
    // While a run is active the menus are disabled: the refresh waits for the run's end.
    if (FClosed) return;
    if (FRecording) {
        FDevicesChanged = true;
        return;
    }
    FDevicesChanged = false;
    const std::string audioBefore = FAudioChoice.Name + "|" + FAudioAbsent;
    const std::string videoBefore = FVideoChoice.Name + "|" + FVideoAbsent;
    FillDeviceMenus();
    const bool same = audioBefore == FAudioChoice.Name + "|" + FAudioAbsent &&
                      videoBefore == FVideoChoice.Name + "|" + FVideoAbsent;
    // Before the first build (Startup still pending) there is no graph to change.
    if (same || Startup.isActive()) return;
    TearDownGraph();
    ConnectSources();
}

std::string TfrmCapture::AbsentStatus() const {
    std::string text;
    if (!FAudioAbsent.empty()) text += "Audio device not connected: " + FAudioAbsent + "  -  ";
    if (!FVideoAbsent.empty()) text += "Video device not connected: " + FVideoAbsent + "  -  ";
    return text;
}

void TfrmCapture::ShowStatus(const std::string& text) {
    Status->SetFullText(QString::fromStdString(text));
}

void TfrmCapture::ConnectSources() {
    TWaitCursor wait;
    FGraph->SetVideoMode(StoredVideoMode(Settings.VideoModes, FVideoChoice.Name));
    FConnect = FGraph->Build(FVideoChoice, FAudioChoice, Settings.APreview);
    FVideoHasProperties = !FGraph->Properties(TMediaKind::Video).empty();
    if (FConnect.VideoOk)
        pnlBG->SetVideoSize(FConnect.Width, FConnect.Height);
    else
        pnlBG->SetVideoSize(0, 0);
    FLevelMeter->SetActive(FConnect.AudioAttached);
    FBaseStatus = AbsentStatus() + FConnect.Status;
    ShowStatus(FBaseStatus);
    SetRecording(FRecording);
    // An automatic start waits for a chosen device that is not connected yet.
    if (!FConnect.Ready || !FPendingAutostart || DeviceAbsent()) return;
    LogLine("Triggering auto-stream");
    Autostart.start();
    FPendingAutostart = false;
}

void TfrmCapture::TearDownGraph() {
    FGraph->TearDown();
    FConnect = TConnectResult{};
    FVideoHasProperties = false;
    pnlBG->SetVideoSize(0, 0);
    SetRecording(false);
    ShowStatus("Stopped.");
}

void TfrmCapture::StopGraph() {
    TWaitCursor wait;
    FGraph->Stop();
}

void TfrmCapture::RunGraph() {
    TWaitCursor wait;
    FGraph->Run();
}

void TfrmCapture::StartStreaming() {
    LogLine("Stopping Preview/Record...");
    StopGraph();
    const int channels = Settings.VorbisStereo ? 2 : 1;
    const int rate = SampleRateTable[Settings.VorbisSampleFreq];
    const auto audio = FGraph->ChooseAudioFormat(rate, channels);
    const auto video = FGraph->ChooseVideoFormat(Settings.Theora.FPS);
    const std::string status = FRun->Start(FBaseStatus, audio, video);
    // A run that could not start leaves the preview going and Start offered again.
    SetRecording(FRun->Recording());
    RunGraph();
    ShowStatus(status);
    if (FRun->Recording()) DebugLine("StartStreaming() Started OK #1");
}

void TfrmCapture::StopStreaming() {
    DebugLine("StopStreaming()");
    ShowStatus(FBaseStatus + " - Stopping...");
    StopGraph();
    SetRecording(false);
    FRun->Stop();
    RunGraph();
    ShowStatus(FBaseStatus);
}

void TfrmCapture::SetRecording(bool value) {
    FRecording = value;
    TMenuState state;
    state.Recording = value;
    state.SettingsDialogAvailable = true;
    state.AboutBoxAvailable = true;
    state.AudioAttached = FGraph->AudioAttached();
    state.VideoAttached = FGraph->VideoAttached();
    state.VideoHasPropertyPages = FVideoHasProperties;
    state.HasCapturePin = FConnect.VideoOk;
    state.HasPreviewPin = FConnect.VideoOk;
    state.VideoHasInput = !FGraph->VideoDevicePath().empty();
    state.ChosenDeviceAbsent = DeviceAbsent();
    FMenus->ApplyState(state);
    FRun->EnableRefresh(value);
    if (!value && FDevicesChanged) DevicesChanged();
}

void TfrmCapture::CaptureFault(const TCaptureFault& fault) {
    // The graph has logged the fault. A run ends cleanly, its file complete; the preview of
    // the other medium goes on where the graph keeps it.
    if (FClosed) return;
    if (FRecording) StopCaptureClick();
    ShowStatus(FBaseStatus + " - " + (fault.Video ? "Video" : "Audio") + " device failed");
}

void TfrmCapture::StartupTimer() {
    Startup.stop();
    // The first build waits a little for the device providers, so a stored device that a
    // provider is about to list is not reported absent; one that never answers holds nothing.
    if (!FDevices.Settled() && FStartClock.elapsed() < ProviderWaitMs) {
        Startup.start();
        return;
    }
    FillDeviceMenus();
    ConnectSources();
}

void TfrmCapture::AutostartTimer() {
    Autostart.stop();
    // A click on a disabled item does nothing.
    FMenus->StartCapture->trigger();
}

void TfrmCapture::NoneAudioClick(int tag) {
    TWaitCursor wait;
    TearDownGraph();
    const auto names = FDevices.Names(TMediaKind::Audio);
    FAudioChoice = MenuChoice(names, tag);
    Settings.AudioDevice = FAudioChoice.None() ? NoDeviceName : FAudioChoice.Name;
    FAudioAbsent.clear();
    FMenus->FillAudioDevices(names, FAudioChoice.Index);
    ConnectSources();
}

void TfrmCapture::NoneVideoClick(int tag) {
    TWaitCursor wait;
    TearDownGraph();
    const auto names = FDevices.Names(TMediaKind::Video);
    FVideoChoice = MenuChoice(names, tag);
    Settings.VideoDevice = FVideoChoice.None() ? NoDeviceName : FVideoChoice.Name;
    FVideoAbsent.clear();
    FMenus->FillVideoDevices(names, FVideoChoice.Index);
    ConnectSources();
}

void TfrmCapture::PreviewClick() {
    Settings.Preview = FMenus->Preview->isChecked();
    pnlBG->SetPreviewWanted(Settings.Preview);
}

void TfrmCapture::PreviewAClick() {
    Settings.APreview = FMenus->PreviewA->isChecked();
    TearDownGraph();
    ConnectSources();
}

void TfrmCapture::StartCaptureClick() {
    if (FRecording) return;
    if (DeviceAbsent()) {
        LogLine("Not started: a chosen capture device is not connected");
        return;
    }
    StartStreaming();
    SetRecording(FRun->Recording());
}

void TfrmCapture::StopCaptureClick() {
    DebugLine("Main: StopCaptureClick()");
    if (!FRecording) return;
    StopStreaming();
    SetRecording(false);
}

void TfrmCapture::RestartRun() {
    StopCaptureClick();
    FMenus->StartCapture->trigger();
}

void TfrmCapture::VideoCapFilterClick() {
    StopGraph();
    ShowDevicePropertiesDialog(*FGraph, TMediaKind::Video, this);
    RunGraph();
}

void TfrmCapture::ACapFClick() {
    StopGraph();
    ShowDevicePropertiesDialog(*FGraph, TMediaKind::Audio, this);
    RunGraph();
}

void TfrmCapture::VideoPinClick() {
    StopGraph();
    auto& modes = Settings.VideoModes;
    const auto stored = modes.find(FVideoChoice.Name);
    const std::optional<std::string> chosen = ShowVideoPinDialog(
        *FGraph, FConnect, Settings.Theora.FPS, stored == modes.end() ? "" : stored->second, this);
    if (!chosen) return RunGraph();
    if (chosen->empty())
        modes.erase(FVideoChoice.Name);
    else
        modes[FVideoChoice.Name] = *chosen;
    // Kept at once, as the settings dialog's OK keeps its values.
    if (!SaveSettings()) LogLine("The settings could not be written to " + SettingsFilePath());
    // The device is opened anew in that mode; the preview and status follow its size.
    TWaitCursor wait;
    TearDownGraph();
    ConnectSources();
}

void TfrmCapture::VideoCrossbarClick() {
    StopGraph();
    ShowCrossbarDialog(FGraph->VideoDevicePath(), this);
    RunGraph();
}

void TfrmCapture::StreamSettingsClick() {
    TSettingsContext context;
    if (FConnect.VideoOk) {
        context.CaptureWidth = FConnect.Width;
        context.CaptureHeight = FConnect.Height;
    }
    context.DefaultFolder =
        QString::fromStdString(DefaultRecordingFolder()) + "/Kestrova <date and time>.ogg";
    // Saved whatever the answer: the dialog's own choices (the debug switch) are kept too.
    ShowSettingsDialog(this, Settings, context);
    SaveSettings();
}

void TfrmCapture::About1Click() {
    ShowAboutBox(this);
}

void TfrmCapture::FormClose() {
    if (FClosed) return;
    FClosed = true;
    // Quitting never waits for the check's network time-outs: it is stopped and joined here.
    FUpdateCheck.reset();
    Startup.stop();
    Autostart.stop();
    if (FRecording) StopStreaming();
    TearDownGraph();
}

void TfrmCapture::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}

void TfrmCapture::ExitClick() {
    FormClose();
    close();
    QApplication::quit();
}
