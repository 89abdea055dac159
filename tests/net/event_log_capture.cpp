#include "tests/net/event_log_capture.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "settings/event_log.h"

namespace {

class tEventLogInTempFolder final : public ::testing::Environment {
  public:
    void SetUp() override {
        char pattern[] = "/tmp/kz_net_tests_XXXXXX";
        if (mkdtemp(pattern) == nullptr) return;
        FFolder = pattern;
        EventLogStart(FFolder + "/net_tests");
    }
    void TearDown() override {
        EventLogEnd();
        std::error_code ignored;
        if (!FFolder.empty()) std::filesystem::remove_all(FFolder, ignored);
    }

  private:
    std::string FFolder;
};

[[maybe_unused]] ::testing::Environment* const EventLogEnvironment =
    ::testing::AddGlobalTestEnvironment(new tEventLogInTempFolder);

}  // namespace

std::string EventLogText() {
    std::ifstream file(EventLogFilePath(), std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}
