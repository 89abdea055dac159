// kestrova_zizizada: start-up and shutdown in their fixed order. The window log's lock is a
// static object, so it exists before anything below can write a line.
//
// Start: the one-window lock (a second start stops here), settings, event log start record, the
// application and its title, the signal pipe, the main window (which binds the codec libraries and
// builds the capture graph), the loop. End: the window closes (a running recording is finished, the
// graph torn down), then the settings are saved and the event log gets its end record, whatever way
// the loop ended.

#include <QSessionManager>
#include <clocale>
#include <iostream>
#include <string>

#include "app/frm_capture.h"
#include "app/kestrova_application.h"
#include "app/single_instance.h"
#include "app/stop_signals.h"
#include "engine/library_folder.h"
#include "settings/event_log.h"
#include "settings/log.h"
#include "settings/program_path.h"
#include "settings/store/installation_folder.h"
#include "settings/store/settings_store.h"

int main(int argc, char** argv) {
    // Before any setting is read: a second window would overwrite what the first one stores.
    TSingleInstance instance;
    if (!instance.Claim()) {
        std::cerr << "kestrova_zizizada is already running: its window was brought forward.\n";
        return 0;
    }
    // The window log's time stamps carry the user's short date.
    std::setlocale(LC_TIME, "");
    SetInstallationFolderLookup(InstallationFolder);
    LoadSettings();
    EventLogStart(ProgramPath(argc > 0 ? argv[0] : nullptr));
    {
        // Qt reads its own options (-platform, -display) and leaves ours: there are none.
        TKestrovaApplication application(argc, argv);
        if (argc > 1) std::cerr << "kestrova_zizizada takes no arguments; ignoring them.\n";
        TStopSignals stopSignals;
        TfrmCapture window;
        instance.Listen();
        QObject::connect(&instance, &TSingleInstance::ActivationWanted, &window, [&window] {
            window.showNormal();
            window.raise();
            window.activateWindow();
        });
        QObject::connect(&stopSignals, &TStopSignals::StopRequested, &window,
                         &TfrmCapture::ExitClick);
        // The session's end closes the window as Exit does, before the loop returns.
        QObject::connect(&application, &QGuiApplication::commitDataRequest, &window,
                         [&window](QSessionManager&) { window.ExitClick(); });
        QObject::connect(&application, &QCoreApplication::aboutToQuit, &window,
                         &TfrmCapture::ExitClick);
        window.show();
        application.exec();
    }
    if (!SaveSettings())
        std::cerr << "kestrova_zizizada: settings could not be written to " << SettingsFilePath()
                  << "\n";
    EventLogEnd();
    return 0;
}
