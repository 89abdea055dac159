#pragma once
// TUpdateCheck: the one version check of a program run, on a thread of its own. It asks the
// update server once and calls notify at most once, on its own thread, with the highest newer
// version the reply announces. Every failure ends the check without a word.
//
// Threads: the owner creates and destroys it (the window's thread); notify runs on the check's
// thread and must only hand the notice on (post it to the window). Destroying the check stops
// it at once, also while it waits for the server: the stop flag is set, the socket is shut
// down (again until the thread has ended, so a socket opened just after the flag cannot keep
// it waiting) and the thread is joined. A host name lookup in progress is the one wait that
// cannot be cut short.

#include <functional>

#include "base/event.h"
#include "base/thread.h"
#include "net/easy_socket.h"
#include "update/update_reply.h"
#include "update/update_server.h"

class TUpdateCheck final : public TWorkerThread {
  public:
    using TNotify = std::function<void(const TUpdateNotice&)>;

    // Starts the check at once. currentVersion: this program's version (ProgramVersion()).
    TUpdateCheck(TUpdateServer server, double currentVersion, TNotify notify);
    ~TUpdateCheck() override;

    // True once the check has ended (answered, failed or stopped).
    bool Finished() const { return FFinished.IsSet(); }
    // Waits at most timeoutMs for the check to end.
    bool WaitFinished(int timeoutMs) { return FFinished.WaitFor(timeoutMs); }

    // Bound of the connect and of the receive, in seconds.
    static constexpr int32_t kTimeoutSec = 30;
    // The reply's status line and headers fit in this; the rest is not read.
    static constexpr int32_t kReplyBytes = 4096;

  protected:
    void Execute() override;
    void Wake() override { FSocket.Disconnect(); }

  private:
    void Ask();

    const TUpdateServer FServer;
    const double FCurrentVersion;
    const TNotify FNotify;
    tEasySocket FSocket{kTimeoutSec, true, true};
    TEvent FFinished;
};
