#include "app/run_output.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/ogg_file.h"
#include "net/ogg_network_stream.h"
#include "settings/log.h"
#include "settings/settings.h"
#include "tests/support/loopback_server.h"
#include "tests/support/temp_folder.h"

namespace {

class RunOutputTest : public ::testing::Test {
  protected:
    void SetUp() override {
        FSaved.CaptureToFile = Settings.CaptureToFile;
        FSaved.CaptureFile = Settings.CaptureFile;
        FSaved.Icecast = Settings.Icecast;
        TakeLog();
    }
    void TearDown() override {
        Settings.CaptureToFile = FSaved.CaptureToFile;
        Settings.CaptureFile = FSaved.CaptureFile;
        Settings.Icecast = FSaved.Icecast;
    }

    TTempFolder Folder;

  private:
    struct {
        bool CaptureToFile;
        std::string CaptureFile;
        TIcecastSettings Icecast;
    } FSaved;
};

TEST_F(RunOutputTest, TheSettingsChooseARecordingFileOrANetworkStream) {
    Settings.CaptureToFile = true;
    Settings.CaptureFile = Folder.File("run.ogg");
    TRunOutput file = CreateRunOutput();
    EXPECT_EQ(file.ErrorText, "");
    auto* recording = dynamic_cast<tOggFile*>(file.Output.get());
    ASSERT_NE(recording, nullptr);
    EXPECT_TRUE(recording->IsOpen());
    EXPECT_TRUE(std::filesystem::exists(Settings.CaptureFile));
    // Through the base, as the live encoder asks: a file never loses a server.
    EXPECT_TRUE(file.Output->Connected());
    EXPECT_EQ(file.Output->SendRateKbps(), 0);

    // Nothing listens on that loopback port: the stream only tries.
    Settings.CaptureToFile = false;
    Settings.Icecast.Server = "127.0.0.1";
    Settings.Icecast.Port = UnusedPort();
    TRunOutput network = CreateRunOutput();
    EXPECT_EQ(network.ErrorText, "");
    EXPECT_NE(dynamic_cast<tOggNetworkStream*>(network.Output.get()), nullptr);
}

TEST_F(RunOutputTest, AFileThatCannotBeCreatedIsReportedAndItsOutputDropsWhatItGets) {
    Settings.CaptureToFile = true;
    Settings.CaptureFile = Folder.File("no/such/folder/run.ogg");
    TRunOutput run = CreateRunOutput();
    EXPECT_EQ(run.ErrorText, "Error writing to file " + Settings.CaptureFile);
    EXPECT_NE(TakeLog().find("Error writing to file " + Settings.CaptureFile), std::string::npos);
    ASSERT_NE(run.Output, nullptr);
    const uint8_t bytes[4] = {1, 2, 3, 4};
    EXPECT_EQ(run.Output->WriteData(bytes, 4), 4);
    EXPECT_FALSE(std::filesystem::exists(Settings.CaptureFile));
}

}  // namespace
