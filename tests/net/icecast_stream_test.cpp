#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include "net/ogg_network_stream.h"
#include "net/queue_writer.h"
#include "settings/log.h"
#include "settings/settings.h"
#include "tests/net/stream_test_support.h"
#include "tests/support/file_bytes.h"
#include "tests/support/icecast_server.h"
#include "tests/support/run_command.h"
#include "tests/support/temp_folder.h"

namespace {

constexpr const char* kMount = "/kz-live.ogg";

// A real Vorbis stream made by ffmpeg; empty when it cannot be made.
std::string VorbisStream(int seconds) {
    const TTempFolder folder;
    const std::string path = folder.File("tone.ogg");
    const TCommandResult made =
        RunCommand("ffmpeg -nostdin -v error -f lavfi -i sine=frequency=440:duration=" +
                   std::to_string(seconds) + " -c:a libvorbis -f ogg -y " + Quote(path));
    return made.ExitCode == 0 ? ReadFileText(path) : "";
}

void Send(tOggNetworkStream& stream, const std::string& bytes) {
    constexpr size_t kChunk = 4096;
    for (size_t at = 0; at < bytes.size(); at += kChunk) {
        const auto size = static_cast<int32_t>(std::min(kChunk, bytes.size() - at));
        stream.WriteData(reinterpret_cast<const uint8_t*>(bytes.data() + at), size);
    }
}

class IcecastStream : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!tIcecastServer::Installed()) GTEST_SKIP() << "icecast2 is not installed";
        ASSERT_TRUE(FServer.Start()) << FServer.Error();
        AimAt(FServer.Port(), tIcecastServer::SourcePassword);
        Settings.Icecast.MountPoint = kMount;
    }

    tIcecastServer FServer;
};

}  // namespace

TEST_F(IcecastStream, ListenersHearTheBroadcastUntilItStops) {
    const std::string vorbis = VorbisStream(10);
    ASSERT_FALSE(vorbis.empty());
    {
        tOggNetworkStream stream;
        ASSERT_TRUE(FServer.WaitForMount(kMount, true)) << TakeLog() << FServer.ErrorLog();
        Send(stream, vorbis);
        const std::string heard = FServer.Get(kMount, 4096, 3000);
        const size_t body = heard.find("\r\n\r\n");
        ASSERT_NE(body, std::string::npos) << heard;
        EXPECT_EQ(heard.substr(body + 4, 4), "OggS");
        EXPECT_NE(heard.find("\x01vorbis", body), std::string::npos);
        EXPECT_TRUE(stream.Connected());
    }
    EXPECT_TRUE(FServer.WaitForMount(kMount, false)) << FServer.ErrorLog();
    EXPECT_TRUE(InOrder(TakeLog(), {"Server ready for data\r\n", "Streaming ended\r\n"}));
}

TEST_F(IcecastStream, WrongPasswordIsRefusedWithTheServersLine) {
    Settings.Icecast.Password = "wrong";
    auto writer = std::make_unique<tQueueWriter>();
    EXPECT_TRUE(WaitUntil([&] { return !writer->Running(); }));
    writer.reset();
    const std::string log = TakeLog();
    EXPECT_TRUE(
        InOrder(log, {"Unable to stream to server: HTTP/1.0 401 ", "Will re-try connection\r\n"}))
        << log;
}

TEST_F(IcecastStream, ServerThatGoesAwayEndsTheSender) {
    const std::string vorbis = VorbisStream(2);
    ASSERT_FALSE(vorbis.empty());
    tOggNetworkStream stream;
    ASSERT_TRUE(FServer.WaitForMount(kMount, true)) << TakeLog() << FServer.ErrorLog();
    Send(stream, vorbis);
    FServer.Stop();
    EXPECT_TRUE(WaitUntil([&] {
        Send(stream, vorbis.substr(0, 4096));
        return !stream.Connected();
    }));
}
