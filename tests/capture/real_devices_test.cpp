// The device lists with real device providers: a private PulseAudio or PipeWire session, whose
// sources come and go while the lists are watched, and a server that stopped answering.
// Start() and the destructor run under a deadlock guard: a monitor that hangs ends this test
// program with a message rather than holding the suite.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "capture/capture_devices.h"
#include "tests/support/deadlock_guard.h"
#include "tests/support/session_environment.h"
#include "tests/support/sound_session.h"

namespace {

using namespace std::chrono_literals;

// The product promises both: the lists are there at once, and follow a change within 3 s.
constexpr auto StartLimit = 3000ms;
constexpr auto ChangeLimit = 3000ms;

bool Lists(const TCaptureDevices& devices, TMediaKind kind, const std::string& name) {
    const auto names = devices.Names(kind);
    return std::find(names.begin(), names.end(), name) != names.end();
}

// Polls until the list holds `name` (or, with present false, no longer does).
bool WaitForListed(const TCaptureDevices& devices, TMediaKind kind, const std::string& name,
                   bool present) {
    const auto deadline = std::chrono::steady_clock::now() + ChangeLimit;
    while (Lists(devices, kind, name) != present) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

std::string Joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += "[" + name + "] ";
    return text;
}

class RealDeviceListTest : public ::testing::TestWithParam<TSoundServer> {
  protected:
    void SetUp() override {
        const std::string missing = TSoundSession::MissingPrograms(GetParam());
        if (!missing.empty()) GTEST_SKIP() << "not installed: " << missing;
        Session = std::make_unique<TSoundSession>(GetParam());
        ASSERT_TRUE(Session->Start()) << Session->Error();
        Environment = std::make_unique<TSessionEnvironment>(*Session);
    }

    void TearDown() override {
        if (Devices) {
            TDeadlockGuard guard("~TCaptureDevices", StartLimit, KillSession());
            Devices.reset();
        }
        Environment.reset();
        Session.reset();
    }

    // A monitor on the session, started under the guard.
    void StartDevices() {
        Devices = std::make_unique<TCaptureDevices>();
        Devices->SetChangedCallback([this] { ++Changes; });
        TDeadlockGuard guard("TCaptureDevices::Start", StartLimit, KillSession());
        Devices->Start();
    }

    std::function<void()> KillSession() {
        return [session = Session.get()] { session->KillNow(); };
    }

    // The session's standing audio source (published first under PipeWire); empty on failure.
    std::string PresentSource() {
        if (GetParam() == TSoundServer::PulseAudio) return TSoundSession::PulseToneName;
        return Session->PublishAudioSource("SessionTone") > 0 ? "SessionTone" : "";
    }

    // Adds an audio source to the session; returns what RemoveSource needs.
    int AddSource(const std::string& name) {
        if (GetParam() == TSoundServer::PulseAudio) {
            return Session->LoadModule(
                "module-sine-source source_name=extra frequency=660 "
                "source_properties=device.description=" +
                name);
        }
        return Session->PublishAudioSource(name);
    }
    bool RemoveSource(int handle) {
        return GetParam() == TSoundServer::PulseAudio ? Session->UnloadModule(handle)
                                                      : Session->EndProcess(handle);
    }

    std::unique_ptr<TSoundSession> Session;
    std::unique_ptr<TSessionEnvironment> Environment;
    std::unique_ptr<TCaptureDevices> Devices;
    std::atomic<int> Changes{0};
};

TEST_P(RealDeviceListTest, ASourceThatComesAndGoesIsListedAndUnlistedWithin3s) {
    const std::string present = PresentSource();
    ASSERT_FALSE(present.empty()) << Session->Error();
    StartDevices();
    // The lists grow as the providers answer.
    EXPECT_TRUE(WaitForListed(*Devices, TMediaKind::Audio, present, true))
        << Joined(Devices->Names(TMediaKind::Audio));
    EXPECT_EQ(Devices->Names(TMediaKind::Audio).back(), TestToneName);
    EXPECT_EQ(Devices->Names(TMediaKind::Video).back(), TestPatternName);

    const int changesBefore = Changes;
    const int handle = AddSource("SessionExtra");
    ASSERT_GE(handle, 0) << Session->Error();
    EXPECT_TRUE(WaitForListed(*Devices, TMediaKind::Audio, "SessionExtra", true))
        << Joined(Devices->Names(TMediaKind::Audio));
    EXPECT_GT(Changes, changesBefore) << "the changed callback did not run for an added source";
    EXPECT_EQ(Devices->Names(TMediaKind::Audio).back(), TestToneName);

    const int changesAfterAdding = Changes;
    ASSERT_TRUE(RemoveSource(handle));
    EXPECT_TRUE(WaitForListed(*Devices, TMediaKind::Audio, "SessionExtra", false))
        << Joined(Devices->Names(TMediaKind::Audio));
    EXPECT_GT(Changes, changesAfterAdding) << "the changed callback did not run for a removal";
    // The other source is untouched by its neighbour's going.
    EXPECT_TRUE(Lists(*Devices, TMediaKind::Audio, present));
}

TEST_P(RealDeviceListTest, AFrozenServerLetsStartReturnAndItsSourcesFollowOnceItAnswers) {
    const std::string present = PresentSource();
    ASSERT_FALSE(present.empty()) << Session->Error();
    ASSERT_TRUE(Session->Pause());
    StartDevices();
    EXPECT_EQ(Devices->Names(TMediaKind::Audio).back(), TestToneName);
    EXPECT_EQ(Devices->Names(TMediaKind::Video).back(), TestPatternName);
    ASSERT_TRUE(Session->Resume());
    EXPECT_TRUE(WaitForListed(*Devices, TMediaKind::Audio, present, true))
        << Joined(Devices->Names(TMediaKind::Audio));
}

TEST_P(RealDeviceListTest, ListsAreFreedWhileTheServerIsStillFrozen) {
    ASSERT_TRUE(Session->Pause());
    StartDevices();
    // The guarded destructor in TearDown runs with the provider still waiting.
}

INSTANTIATE_TEST_SUITE_P(Providers, RealDeviceListTest,
                         ::testing::Values(TSoundServer::PulseAudio, TSoundServer::PipeWire),
                         [](const auto& info) { return std::string(SoundServerName(info.param)); });

}  // namespace
