// kestrova_headless: one recording or broadcast with the stored settings and no window.

#include <clocale>
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "app/headless_options.h"
#include "app/headless_runner.h"
#include "engine/library_folder.h"
#include "settings/event_log.h"
#include "settings/program_path.h"
#include "settings/store/installation_folder.h"
#include "settings/store/settings_store.h"

namespace {

std::atomic<bool> StopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free flag");

void RequestStop(int) {
    StopRequested.store(true);
}

void InstallStopHandlers() {
    struct sigaction action {};
    action.sa_handler = RequestStop;
    sigemptyset(&action.sa_mask);
    // A signal must not break a system call that some thread is in (a connect would fail
    // with EINTR and be reported as a server that cannot be reached).
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A closed terminal ends the run like SIGTERM, so the file gets its tail.
    sigaction(SIGHUP, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    const auto options =
        ParseHeadlessOptions(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) {
        std::cerr << "kestrova_headless: " << error << "\n";
        return 2;
    }
    if (options->Help) {
        std::cout << HeadlessUsage();
        return 0;
    }
    if (options->Version) {
        std::cout << "kestrova_headless " << KZ_VERSION << "\n";
        return 0;
    }
    if (options->ListDevices) {
        ListCaptureDevices(*options, std::cout);
        return 0;
    }
    InstallStopHandlers();
    // The log's time stamps carry the user's short date, as in the window program.
    std::setlocale(LC_TIME, "");
    // The stored settings are read but never written: this run's overrides stay in memory.
    SetInstallationFolderLookup(InstallationFolder);
    LoadSettings();
    EventLogStart(ProgramPath(argv[0]));
    int status = 0;
    {
        THeadlessRunner runner(*options, std::cout, std::cerr);
        status = runner.Run(StopRequested);
    }
    EventLogEnd();
    return status;
}
