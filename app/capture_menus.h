#pragma once
// The main window's menu bar: every item with its caption, accelerator and shortcut, and the
// rule that decides which items may be used. While a run is active everything that would
// change the capture graph is disabled, so worker threads can read the settings unlocked.

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>
#include <string>
#include <vector>

// What the enabled states depend on.
struct TMenuState {
    bool Recording = false;
    bool AudioAttached = false;
    bool VideoAttached = false;
    bool VideoHasPropertyPages = false;
    bool HasCapturePin = false;
    bool HasPreviewPin = false;
    bool VideoHasInput = false;  // a crossbar-like input chooser exists
    // A chosen device is not connected: a run would fail, so none starts.
    bool ChosenDeviceAbsent = false;
    // Until their dialogs exist these two items stay disabled.
    bool SettingsDialogAvailable = false;
    bool AboutBoxAvailable = false;
};

class TCaptureMenus final : public QObject {
    Q_OBJECT
  public:
    explicit TCaptureMenus(QMenuBar* bar);

    // The SetRecording rule.
    void ApplyState(const TMenuState& state);

    // Replaces the device items of the Audio or Video submenu (after "<None>", Tag -1) and
    // checks the item with index `chosen` (-1: "<None>"). Items carry their index as data.
    // A non-empty `absent` is the chosen device's name while it is not connected: it gets a
    // checked, disabled item of its own ("NAME (not connected)") instead of "<None>".
    void FillAudioDevices(const std::vector<std::string>& names, int chosen,
                          const std::string& absent = {});
    void FillVideoDevices(const std::vector<std::string>& names, int chosen,
                          const std::string& absent = {});

    QAction* Exit;
    QMenu* Audio;
    QAction* NoneAudio;
    QMenu* Video;
    QAction* NoneVideo;
    QAction* PreviewA;
    QAction* Preview;
    QAction* VideoCapFilter;
    QAction* VideoCapturePin;
    QAction* VideoPreviewPin;
    QAction* VideoCrossbar;
    QAction* ACapF;
    QAction* StreamSettings;
    QAction* StartCapture;
    QAction* StopCapture;
    QAction* About1;

  signals:
    // A device item (or "<None>", tag -1) was chosen by the operator.
    void AudioChosen(int tag);
    void VideoChosen(int tag);

  private:
    QAction* AddItem(QMenu* menu, const char* name, const QString& caption,
                     const QKeySequence& shortcut);
    void FillDevices(QMenu* menu, QActionGroup* group, QAction* none,
                     const std::vector<std::string>& names, int chosen, const std::string& absent);

    QActionGroup* FAudioGroup;
    QActionGroup* FVideoGroup;
};
