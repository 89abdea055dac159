#include "update/update_check.h"

#include <string_view>
#include <vector>

namespace {

// How often the stop shuts the socket down again while waiting for the thread.
constexpr int kStopStepMs = 10;

}  // namespace

TUpdateCheck::TUpdateCheck(TUpdateServer server, double currentVersion, TNotify notify)
    : FServer(std::move(server)), FCurrentVersion(currentVersion), FNotify(std::move(notify)) {
    StartThread();
}

TUpdateCheck::~TUpdateCheck() {
    Terminate();
    // The thread may open its socket just after Wake shut the old one: shut again until it ends.
    while (!FFinished.WaitFor(kStopStepMs)) FSocket.Disconnect();
    StopThread();
}

void TUpdateCheck::Execute() {
    Ask();
    FSocket.Disconnect();
    FFinished.Set();
}

void TUpdateCheck::Ask() {
    if (Terminated() || !FSocket.Connect(FServer.Port, FServer.Host)) return;
    const std::string request = UpdateRequest(FServer);
    if (Terminated() || !FSocket.WriteData(request.data(), static_cast<int32_t>(request.size())))
        return;
    std::vector<char> reply(kReplyBytes);
    const int32_t received = FSocket.ReceiveData(reply.data(), kReplyBytes);
    if (Terminated() || received <= 0) return;
    const auto notice = NewestNoticeInReply(
        std::string_view(reply.data(), static_cast<size_t>(received)), FCurrentVersion);
    if (notice && !Terminated()) FNotify(*notice);
}
