// kestrova_dialog_screenshots: renders the four pages of the settings dialog, the About box
// and the colour picker into PNGs in one folder. Run it with a private store (scripts/screenshots
// does): it loads the settings, and the store holds the defaults when it is empty.

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QTemporaryDir>
#include <QThread>
#include <functional>
#include <iostream>

#include "settings/settings.h"
#include "settings/store/settings_store.h"
#include "ui/artwork.h"
#include "ui/color_picker.h"
#include "ui/frm_about.h"
#include "ui/frm_settings.h"

namespace {

void Settle() {
    for (int turn = 0; turn < 10; ++turn) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
}

bool Render(QWidget& window, const QDir& folder, const QString& name,
            const std::function<void()>& pose = {}) {
    window.show();
    window.activateWindow();
    Settle();
    if (pose) {
        pose();
        Settle();
    }
    const QString path = folder.filePath(name);
    if (!window.grab().save(path)) {
        std::cerr << "kestrova_dialog_screenshots: could not write " << path.toStdString() << "\n";
        return false;
    }
    std::cout << "Written " << path.toStdString() << "\n";
    return true;
}

// A logo on a coloured ground, as an overlay picture might look.
QString WriteOverlayPicture(const QTemporaryDir& work) {
    QImage picture(320, 120, QImage::Format_RGB32);
    picture.fill(QColor(255, 0, 255));
    QPainter painter(&picture);
    painter.drawImage(QRect(96, 10, 128, 99), AboutLogo());
    painter.end();
    const QString path = work.filePath("overlay.bmp");
    picture.save(path, "BMP");
    return path;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: kestrova_dialog_screenshots OUTPUT_FOLDER\n";
        return 2;
    }
    QApplication application(argc, argv);
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    QTemporaryDir work;
    LoadSettings();
    Settings.CaptureToFile = false;
    Settings.Processing.Overlay = true;
    Settings.Processing.OverlayImage = WriteOverlayPicture(work).toStdString();
    Settings.Processing.OverlayColor = 0x00FF00FF;

    bool written = true;
    {
        TfrmSettings dialog(Settings);
        const std::pair<TKestrovaButton*, const char*> pages[] = {
            {dialog.btn1, "settings-capture.png"},
            {dialog.btn2, "settings-audio.png"},
            {dialog.btn3, "settings-video.png"},
            {dialog.btn4, "settings-misc.png"}};
        for (const auto& [selector, name] : pages) {
            selector->click();
            written = Render(dialog, folder, name) && written;
        }
    }
    {
        TfrmAbout about;
        written = Render(about, folder, "about.png") && written;
    }
    {
        TColorPicker picker(nullptr, QString::fromStdString(Settings.Processing.OverlayImage));
        // The pointer over the logo's ring, with the swatch beside it.
        auto pointAtLogo = [&picker] {
            const QPointF at(picker.Pic()->width() * 121.0 / 320,
                             picker.Pic()->height() * 48.0 / 120);
            QMouseEvent move(QEvent::MouseMove, at, picker.Pic()->mapToGlobal(at), Qt::NoButton,
                             Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(picker.Pic(), &move);
        };
        written = Render(picker, folder, "colour-picker.png", pointAtLogo) && written;
    }
    return written ? 0 : 1;
}
