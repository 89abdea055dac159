// kestrova_screenshot: renders the main window while it records the test pattern, preview
// showing, into a PNG. Run it with a private store (scripts/screenshots does): it changes
// the stored devices and records to a temporary file.

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <iostream>

#include "app/frm_capture.h"
#include "app/kestrova_application.h"
#include "settings/log.h"
#include "settings/settings.h"
#include "settings/store/settings_store.h"

namespace {

bool TurnLoopUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return done();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: kestrova_screenshot OUTPUT.png\n";
        return 2;
    }
    const QString output = QString::fromLocal8Bit(argv[1]);
    TKestrovaApplication application(argc, argv);
    QTemporaryDir work;
    LoadSettings();
    Settings.VideoDevice = "Test Pattern";
    Settings.AudioDevice = "Test Tone";
    Settings.CaptureToFile = true;
    Settings.CaptureFile = (work.path() + "/screenshot.ogg").toStdString();
    Settings.Preview = true;
    Settings.APreview = false;
    Settings.Autostart = true;

    TfrmCapture window;
    window.show();
    const bool recording = TurnLoopUntil(
        [&] {
            const TLiveEncoder* encoder = window.Run().Encoder();
            return encoder && encoder->FramesEncoded() >= 40 &&
                   window.StatusText().contains("Frames");
        },
        30000);
    if (!recording) {
        std::cerr << "kestrova_screenshot: the window did not start recording\n" << TakeLog();
        return 1;
    }
    // Let the meter catch a beep and the log pane its last lines.
    TurnLoopUntil([&] { return window.LevelMeter().Shown().PeakDb > -20; }, 3000);
    TurnLoopUntil([] { return false; }, 300);
    if (!window.grab().save(output)) {
        std::cerr << "kestrova_screenshot: could not write " << output.toStdString() << "\n";
        return 1;
    }
    window.ExitClick();
    std::cout << "Main window written to " << output.toStdString() << "\n";
    return 0;
}
