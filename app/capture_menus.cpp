#include "app/capture_menus.h"

TCaptureMenus::TCaptureMenus(QMenuBar* bar) : QObject(bar) {
    QMenu* file = bar->addMenu("&File");
    Exit = AddItem(file, "Exit", "E&xit", QKeySequence(Qt::ALT | Qt::Key_F4));

    QMenu* devices = bar->addMenu("&Devices");
    Audio = devices->addMenu("&Audio Capture Source");
    Audio->setObjectName("Audio");
    Video = devices->addMenu("&Video Capture Source");
    Video->setObjectName("Video");
    FAudioGroup = new QActionGroup(this);
    FVideoGroup = new QActionGroup(this);
    NoneAudio = AddItem(Audio, "NoneAudio", "<None>", {});
    NoneVideo = AddItem(Video, "NoneVideo", "<None>", {});
    for (auto [item, group] : {std::pair{NoneAudio, FAudioGroup}, {NoneVideo, FVideoGroup}}) {
        item->setCheckable(true);
        item->setData(-1);
        group->addAction(item);
    }
    NoneAudio->setChecked(true);
    NoneVideo->setChecked(true);
    connect(FAudioGroup, &QActionGroup::triggered, this,
            [this](QAction* item) { emit AudioChosen(item->data().toInt()); });
    connect(FVideoGroup, &QActionGroup::triggered, this,
            [this](QAction* item) { emit VideoChosen(item->data().toInt()); });

    QMenu* options = bar->addMenu("&Options");
    PreviewA = AddItem(options, "PreviewA", "Toggle &Audio Preview", Qt::CTRL | Qt::Key_F9);
    Preview = AddItem(options, "Preview", "Toggle &Video Preview", Qt::CTRL | Qt::Key_F10);
    PreviewA->setCheckable(true);
    Preview->setCheckable(true);
    options->addSeparator();
    VideoCapFilter =
        AddItem(options, "VideoCapFilter", "&Video Capture Filter...", Qt::CTRL | Qt::Key_1);
    VideoCapturePin =
        AddItem(options, "VideoCapturePin", "&Video Capture Pin...", Qt::CTRL | Qt::Key_2);
    VideoPreviewPin =
        AddItem(options, "VideoPreviewPin", "&Video Preview Pin...", Qt::CTRL | Qt::Key_3);
    VideoCrossbar = AddItem(options, "VideoCrossbar", "Video Crossbar...", Qt::CTRL | Qt::Key_4);
    options->addSeparator();
    ACapF = AddItem(options, "ACapF", "Audio Capture Filter...", Qt::CTRL | Qt::Key_5);

    QMenu* capture = bar->addMenu("&Capture");
    StreamSettings = AddItem(capture, "StreamSettings", "Settings...", Qt::Key_F4);
    capture->addSeparator();
    StartCapture = AddItem(capture, "StartCapture", "&Start Capture", Qt::Key_F6);
    StopCapture = AddItem(capture, "StopCapture", "S&top Capture", Qt::Key_F7);

    QMenu* help = bar->addMenu("&Help");
    About1 = AddItem(help, "About1", "&About", Qt::Key_F1);
}

QAction* TCaptureMenus::AddItem(QMenu* menu, const char* name, const QString& caption,
                                const QKeySequence& shortcut) {
    QAction* item = menu->addAction(caption);
    item->setObjectName(name);
    item->setShortcut(shortcut);
    // Shortcuts work while the log or the preview has the focus, as in any main window.
    item->setShortcutContext(Qt::ApplicationShortcut);
    return item;
}

void TCaptureMenus::ApplyState(const TMenuState& state) {
    const bool idle = !state.Recording;
    PreviewA->setEnabled(idle && state.AudioAttached);
    ACapF->setEnabled(idle && state.AudioAttached);
    Preview->setEnabled(idle && state.VideoAttached);
    Audio->setEnabled(idle);
    Video->setEnabled(idle);
    // The submenu's own item must follow, or its shortcut-less entry stays clickable.
    Audio->menuAction()->setEnabled(idle);
    Video->menuAction()->setEnabled(idle);
    VideoCapFilter->setEnabled(idle && state.VideoHasPropertyPages);
    VideoCapturePin->setEnabled(idle && state.HasCapturePin);
    VideoPreviewPin->setEnabled(idle && state.HasPreviewPin);
    VideoCrossbar->setEnabled(idle && state.VideoHasInput);
    StartCapture->setEnabled(idle && !state.ChosenDeviceAbsent);
    StreamSettings->setEnabled(idle && state.SettingsDialogAvailable);
    StopCapture->setEnabled(state.Recording);
    About1->setEnabled(state.AboutBoxAvailable);
}

void TCaptureMenus::FillAudioDevices(const std::vector<std::string>& names, int chosen,
                                     const std::string& absent) {
    FillDevices(Audio, FAudioGroup, NoneAudio, names, chosen, absent);
}

void TCaptureMenus::FillVideoDevices(const std::vector<std::string>& names, int chosen,
                                     const std::string& absent) {
    FillDevices(Video, FVideoGroup, NoneVideo, names, chosen, absent);
}

void TCaptureMenus::FillDevices(QMenu* menu, QActionGroup* group, QAction* none,
                                const std::vector<std::string>& names, int chosen,
                                const std::string& absent) {
    for (QAction* item : group->actions()) {
        if (item == none) continue;
        group->removeAction(item);
        menu->removeAction(item);
        delete item;
    }
    for (size_t i = 0; i < names.size(); ++i) {
        // Device names are plain text: an '&' must not become an accelerator.
        QString caption = QString::fromStdString(names[i]).replace("&", "&&");
        QAction* item = menu->addAction(caption);
        item->setCheckable(true);
        item->setData(static_cast<int>(i));
        group->addAction(item);
        if (static_cast<int>(i) == chosen) item->setChecked(true);
    }
    if (!absent.empty()) {
        QString caption = QString::fromStdString(absent).replace("&", "&&");
        QAction* item = menu->addAction(caption + " (not connected)");
        item->setCheckable(true);
        item->setEnabled(false);
        item->setData(-2);
        group->addAction(item);
        item->setChecked(true);
    } else if (chosen < 0) {
        none->setChecked(true);
    }
}
