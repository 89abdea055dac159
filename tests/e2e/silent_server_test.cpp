// A broadcast to a server that takes the connection and never answers the source request:
// the runner gives the attempt up, says so, and tries again, instead of showing a live
// broadcast that sends nothing for minutes.

#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <vector>

#include "headless_fixture.h"
#include "settings/settings.h"
#include "settings/store/settings_store.h"
#include "tests/support/loopback_server.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

const std::string GivenUp =
    "Got disconnected reading response to stream request. Check server logs";

double SecondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

class SilentServerTest : public THeadlessTest {
  protected:
    void SetUp() override {
        Settings.DebugMode = true;
        ASSERT_TRUE(SaveSettings());
    }
};

TEST_F(SilentServerTest, UnansweredRequestIsGivenUpWithinElevenSecondsAndRetried) {
    tLoopbackListener listener;
    TBackgroundProcess runner(
        HeadlessCommand("--stream --server 127.0.0.1 --port " + std::to_string(listener.Port()) +
                        " --mount /kz.ogg --user source --password x"),
        Work.File("runner.log"));
    std::vector<TUniqueFd> held;  // taken and never answered
    held.push_back(listener.Accept(10000));
    ASSERT_TRUE(held.back().Valid()) << runner.Output();
    const auto connected = Clock::now();

    ASSERT_TRUE(runner.WaitForOutput(GivenUp, 1, 11s)) << runner.Output();
    const auto givenUp = Clock::now();
    held.push_back(listener.Accept(8000));
    ASSERT_TRUE(held.back().Valid()) << runner.Output();
    const auto retried = Clock::now();
    // The given-up attempt counts as a retry: the next one waits the retry interval.
    EXPECT_GE(SecondsBetween(givenUp, retried), 4.0) << runner.Output();
    std::cout << "request unanswered: given up after " << SecondsBetween(connected, givenUp)
              << " s, next attempt " << SecondsBetween(givenUp, retried) << " s later\n";

    ASSERT_TRUE(runner.WaitForOutput("Main: Encoder.Connected=false", 1, 5s)) << runner.Output();
    const std::string output = runner.Output();
    EXPECT_LE(SecondsBetween(connected, givenUp), 11.0) << output;
    EXPECT_EQ(output.find("Server ready for data"), std::string::npos) << output;
    EXPECT_EQ(Count(output, "Connecting to server 127.0.0.1"), 2u) << output;
    EXPECT_NE(output.find("Will re-try connection"), std::string::npos) << output;
    // A stop during the next unanswered attempt does not wait for it.
    const auto stopping = Clock::now();
    // No attempt was let in: the status says the broadcast never went out.
    EXPECT_EQ(runner.Stop(5000), 4) << runner.Output();
    EXPECT_LT(SecondsBetween(stopping, Clock::now()), 5.0);
    // The stop is no server fault: the second attempt's end is not reported as one.
    EXPECT_EQ(Count(runner.Output(), GivenUp), 1u) << runner.Output();
    EXPECT_EQ(Count(runner.Output(), "Will re-try connection"), 1u) << runner.Output();
}

}  // namespace
