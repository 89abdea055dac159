#pragma once
// When a broadcast whose server went away is restarted: the owner polls the encoder's
// Connected state every 50 ms; on a lost connection it restarts the run and looks again only
// 5000 ms later, so a server that is still down is retried every five seconds. An attempt the
// server took but never let in (no answer to the source request) fails only when its wait runs
// out; the next one then comes five seconds after that, not at once, so such a server is not
// hammered either. The main window and the headless runner both drive their timers from this
// one rule; each run starts with a fresh rule.

#include <functional>

class TRestartRule {
  public:
    static constexpr int PollIntervalMs = 50;
    static constexpr int RetryIntervalMs = 5000;

    // Checks once; `connecting` is whether the run is still waiting to be let in. Calls
    // `restart` (stop the run, start a new one) when it is time to. Returns the milliseconds
    // until the next check.
    int Check(bool connected, bool connecting, const std::function<void()>& restart);

  private:
    bool FWasConnecting = false;  // the last look found the run waiting to be let in
};
