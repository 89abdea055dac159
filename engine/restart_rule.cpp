#include "engine/restart_rule.h"

#include "settings/log.h"

int TRestartRule::Check(bool connected, const std::function<void()>& restart) const {
    if (connected) return PollIntervalMs;
    DebugLine("Main: Encoder.Connected=false");
    restart();
    return RetryIntervalMs;
}
