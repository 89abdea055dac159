#include "window_fixture.h"

#include <QSettings>
#include <QTest>
#include <cstdlib>

#include "event_wait.h"
#include "settings/log.h"
#include "settings/settings.h"
#include "settings/store/settings_store.h"

const std::string TWindowTest::BaseStatus = "Audio OK  -  Video OK (640x480)  -  OK";

void TWindowTest::SetUp() {
    FSavedHome = qgetenv("HOME");
    FSavedConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", QByteArray::fromStdString(Work.Path()));
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(Work.File("config")));
    // Qt reads the configuration folder once per process: each test names its own.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString(Work.File("config")));
    LoadSettings();
    Settings.VideoDevice = "Test Pattern";
    Settings.AudioDevice = "Test Tone";
    RecordingFile = Work.File("recording.ogg");
    Settings.CaptureFile = RecordingFile;
    Settings.CaptureToFile = true;
    Settings.Autostart = false;
    TakeLog();
}

void TWindowTest::TearDown() {
    Window.reset();
    qputenv("HOME", FSavedHome);
    FSavedConfig.isNull() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", FSavedConfig);
}

void TWindowTest::OpenWindow(bool waitForReady, TTestDeviceOptions devices) {
    Window = std::make_unique<TfrmCapture>(devices);
    Window->show();
    if (!waitForReady) return;
    ASSERT_TRUE(WaitUntil([this] { return LogHas(" Ready"); }, 20000)) << SeenLog;
    ASSERT_TRUE(Window->GraphReady());
}

bool TWindowTest::LogHas(const std::string& text) const {
    const_cast<TWindowTest*>(this)->SeenLog = Window->LogPane().toPlainText().toStdString();
    return SeenLog.find(text) != std::string::npos;
}

void TWindowTest::Press(int key) {
    QTest::keyClick(Window.get(), static_cast<Qt::Key>(key));
}

bool TWindowTest::RecordFrames(int frames, int timeoutMs) {
    return WaitUntil(
        [&] {
            const TLiveEncoder* encoder = Window->Run().Encoder();
            return encoder && encoder->FramesEncoded() >= frames;
        },
        timeoutMs);
}

std::unique_ptr<TTempFolder> MakeSuiteStoreFolder() {
    auto folder = std::make_unique<TTempFolder>();
    setenv("XDG_CONFIG_HOME", folder->Path().c_str(), 1);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString(folder->Path()));
    return folder;
}
