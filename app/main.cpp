// kestrova_zizizada: start-up and shutdown in their fixed order. The window log's lock is a
// static object, so it exists before anything below can write a line.

#include <clocale>
#include <iostream>
#include <string>

#include "engine/library_folder.h"
#include "settings/event_log.h"
#include "settings/log.h"
#include "settings/program_path.h"
#include "settings/store/installation_folder.h"
#include "settings/store/settings_store.h"

namespace {

void ReportFiles(bool settingsSaved) {
    std::string settingsFile = SettingsFilePath();
    if (settingsSaved)
        std::cout << "Settings written to " << settingsFile << "\n";
    else
        std::cout << "Settings could not be written to " << settingsFile << "\n";
    std::string eventLog = EventLogFilePath();
    if (!eventLog.empty())
        std::cout << "Event log written to " << eventLog << "\n";
    else
        std::cout << "No event log could be written\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) std::cerr << "kestrova_zizizada takes no arguments; ignoring them.\n";
    // The window log's time stamps carry the user's short date.
    std::setlocale(LC_TIME, "");

    SetInstallationFolderLookup(InstallationFolder);
    LoadSettings();
    EventLogStart(ProgramPath(argc > 0 ? argv[0] : nullptr));

    // The main window and its runs belong here.

    bool saved = SaveSettings();
    EventLogEnd();

    std::cout << "Kestrova Ogg Zizizada " KZ_VERSION "\n";
    ReportFiles(saved);
    std::cout << TakeLog() << std::flush;
    return 0;
}
