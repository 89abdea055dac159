#pragma once
// When a broadcast whose server went away is restarted: the owner polls the encoder's
// Connected state every 50 ms; on a lost connection it restarts the run and looks again only
// 5000 ms later, so a server that is still down is retried every five seconds. The main
// window and the headless runner both drive their timers from this one rule.

#include <functional>

class TRestartRule {
  public:
    static constexpr int PollIntervalMs = 50;
    static constexpr int RetryIntervalMs = 5000;

    // Checks once; calls `restart` (stop the run, start a new one) when not connected.
    // Returns the milliseconds until the next check.
    int Check(bool connected, const std::function<void()>& restart) const;
};
