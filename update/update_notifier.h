#pragma once
// TUpdateNotifier: the main window's side of the update check. The window creates one as the
// last step of its own creation and keeps it until it closes; it starts the check (when an
// update server is configured) and, when the check reports a newer version, asks the operator
// once, on the window's thread, whether to open the download page.
//
// Threads: created, used and destroyed on the window's thread. The check's reports wait in a
// locked list and a posted event wakes that thread for each; destroying the notifier stops and
// joins the check without waiting for the network, and a report still waiting then is dropped
// with the notifier.

#include <QObject>
#include <QString>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>

#include "update/update_check.h"

class QWidget;

class TUpdateNotifier final : public QObject {
  public:
    // window: owner of the prompt (may be null). server: nullopt means no check at all.
    explicit TUpdateNotifier(QWidget* window,
                             std::optional<TUpdateServer> server = ConfiguredUpdateServer(),
                             double currentVersion = ProgramVersion());
    ~TUpdateNotifier() override;

    // True while a check was started and has not ended.
    bool Checking() const { return FCheck && !FCheck->Finished(); }

  protected:
    // The wake for one waiting report.
    void customEvent(QEvent* event) override;

  private:
    // The check's thread.
    void Report(const TUpdateNotice& notice);
    // WM_UPDATEAVAILABLE: the prompt, and the download page on Yes; at most one prompt in the
    // notifier's life, later reports are dropped.
    void UpdateAvailable(const TUpdateNotice& notice);

    QWidget* const FWindow;
    const QString FDownloadPage;
    std::mutex FReportsLock;
    std::deque<TUpdateNotice> FReports;  // guarded by FReportsLock
    bool FAsked = false;
    std::unique_ptr<TUpdateCheck> FCheck;
};

// Shows the question with Yes and No, owned by window; true on Yes.
bool AskToDownload(QWidget* window, const TUpdateNotice& notice);
