#include "headless_fixture.h"

#include <cstdlib>

#include "settings/settings.h"
#include "settings/settings_store.h"

std::unique_ptr<TTempFolder> THeadlessTest::Config;

void THeadlessTest::SetUpTestSuite() {
    Config = std::make_unique<TTempFolder>();
    setenv("XDG_CONFIG_HOME", Config->Path().c_str(), 1);
    LoadSettings();
    ASSERT_EQ(SettingsFilePath().rfind(Config->Path(), 0), 0u) << "store outside the test folder";
    ASSERT_TRUE(SaveSettings());
}

void THeadlessTest::TearDownTestSuite() { Config.reset(); }

std::string THeadlessTest::HeadlessCommand(const std::string& options) {
    return "env XDG_CONFIG_HOME=" + Quote(Config->Path()) + " " + std::string(KZ_BIN_DIR) +
           "/kestrova_headless " + options;
}
