#include "headless_fixture.h"

#include <QSettings>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "settings/settings.h"
#include "settings/store/settings_store.h"

std::unique_ptr<TTempFolder> THeadlessTest::Config;

void THeadlessTest::SetUpTestSuite() {
    Config = std::make_unique<TTempFolder>();
    setenv("XDG_CONFIG_HOME", Config->Path().c_str(), 1);
    // Qt reads XDG_CONFIG_HOME once per process: each suite points it at its own folder.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString(Config->Path()));
    LoadSettings();
    ASSERT_EQ(SettingsFilePath().rfind(Config->Path(), 0), 0u) << "store outside the test folder";
    ASSERT_TRUE(SaveSettings());
}

void THeadlessTest::TearDownTestSuite() {
    Config.reset();
}

namespace {

const std::string ReportPrefix = "sanitizer-report";

// Options for each sanitizer the runner may be built with, keeping any the caller set.
std::string ReportOptions(const std::string& folder) {
    std::string options;
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "TSAN_OPTIONS"}) {
        const std::string variable = name;
        options += variable + "=\"${" + variable + ":+$" + variable + ":}\"" +
                   Quote("log_path=" + folder + "/" + ReportPrefix) + " ";
    }
    return options;
}

}  // namespace

void THeadlessTest::TearDown() {
    if (!Config) return;
    std::vector<std::filesystem::path> reports;
    for (const auto& entry : std::filesystem::directory_iterator(Config->Path())) {
        if (entry.path().filename().string().rfind(ReportPrefix, 0) == 0)
            reports.push_back(entry.path());
    }
    for (const auto& report : reports) {
        std::ostringstream text;
        text << std::ifstream(report).rdbuf();
        ADD_FAILURE() << "sanitizer report from the runner, " << report.filename() << ":\n"
                      << text.str();
        std::filesystem::remove(report);
    }
}

void THeadlessTest::RestoreStoredDefaults() {
    std::remove(SettingsFilePath().c_str());
    LoadSettings();
    EXPECT_TRUE(SaveSettings());
}

std::string THeadlessTest::HeadlessCommand(const std::string& options) {
    return "env XDG_CONFIG_HOME=" + Quote(Config->Path()) + " " + ReportOptions(Config->Path()) +
           std::string(KZ_BIN_DIR) + "/kestrova_headless " + options;
}
