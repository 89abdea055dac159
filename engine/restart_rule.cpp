#include "engine/restart_rule.h"

#include "settings/log.h"

int TRestartRule::Check(bool connected, bool connecting, const std::function<void()>& restart) {
    if (connected) {
        FWasConnecting = connecting;
        return PollIntervalMs;
    }
    if (FWasConnecting) {
        // The attempt has only now been given up: it counts as the retry just made.
        FWasConnecting = false;
        DebugLine("Main: connection attempt given up, next one in 5 s");
        return RetryIntervalMs;
    }
    DebugLine("Main: Encoder.Connected=false");
    restart();
    return RetryIntervalMs;
}
