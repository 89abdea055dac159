#include "tests/net/event_log_capture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "settings/event_log.h"
#include "tests/support/file_bytes.h"
#include "tests/support/temp_folder.h"

namespace {

class tEventLogInTempFolder final : public ::testing::Environment {
  public:
    void SetUp() override {
        FFolder = std::make_unique<TTempFolder>();
        // A folder beside the "program" is used first: the user's own state folder stays clean.
        std::filesystem::create_directory(FFolder->File("logs"));
        EventLogStart(FFolder->File("net_tests"));
    }
    void TearDown() override {
        EventLogEnd();
        FFolder.reset();
    }

  private:
    std::unique_ptr<TTempFolder> FFolder;
};

[[maybe_unused]] ::testing::Environment* const EventLogEnvironment =
    ::testing::AddGlobalTestEnvironment(new tEventLogInTempFolder);

}  // namespace

std::string EventLogText() {
    return ReadFileText(EventLogFilePath());
}
