// When a lost broadcast is restarted, look by look.

#include "engine/restart_rule.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct TLook {
    bool Connected;
    bool Connecting;
    bool Restarts;
    int NextMs;
};

void Expect(const std::vector<TLook>& looks) {
    TRestartRule rule;
    for (size_t i = 0; i < looks.size(); ++i) {
        bool restarted = false;
        const int next =
            rule.Check(looks[i].Connected, looks[i].Connecting, [&] { restarted = true; });
        EXPECT_EQ(restarted, looks[i].Restarts) << "look " << i;
        EXPECT_EQ(next, looks[i].NextMs) << "look " << i;
    }
}

constexpr int Poll = TRestartRule::PollIntervalMs;
constexpr int Retry = TRestartRule::RetryIntervalMs;

TEST(RestartRule, RestartsALostBroadcastAtOnceAndAServerThatStaysDownEveryRetry) {
    Expect({{true, false, false, Poll},
            {false, false, true, Retry},
            {false, false, true, Retry},
            {true, true, false, Poll},
            {true, false, false, Poll},
            {false, false, true, Retry}});
}

TEST(RestartRule, AnAttemptNeverLetInIsRetriedOneIntervalAfterItWasGivenUp) {
    Expect({{true, true, false, Poll},
            {true, true, false, Poll},
            {false, false, false, Retry},
            {false, false, true, Retry},
            {true, true, false, Poll},
            {false, false, false, Retry},
            {false, false, true, Retry}});
}

}  // namespace
