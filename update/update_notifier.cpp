#include "update/update_notifier.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QEvent>
#include <QMessageBox>
#include <QPointer>
#include <QUrl>

#include "base/sanitizer_sync.h"

namespace {

const QEvent::Type ReportEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

}  // namespace

TUpdateNotifier::TUpdateNotifier(QWidget* window, std::optional<TUpdateServer> server,
                                 double currentVersion)
    : FWindow(window),
      FDownloadPage(server ? QString::fromStdString(server->DownloadPage()) : QString()) {
    if (!server) return;
    FCheck =
        std::make_unique<TUpdateCheck>(std::move(*server), currentVersion,
                                       [this](const TUpdateNotice& notice) { Report(notice); });
}

TUpdateNotifier::~TUpdateNotifier() = default;

void TUpdateNotifier::Report(const TUpdateNotice& notice) {
    {
        std::lock_guard lock(FReportsLock);
        FReports.push_back(notice);
    }
    // Qt's queue locks where ThreadSanitizer cannot see it: the event is marked handed over.
    auto* wake = new QEvent(ReportEvent);
    HandOver(wake);
    QCoreApplication::postEvent(this, wake);
}

void TUpdateNotifier::customEvent(QEvent* event) {
    TakeOver(event);
    if (event->type() != ReportEvent) return;
    TUpdateNotice notice;
    {
        std::lock_guard lock(FReportsLock);
        if (FReports.empty()) return;
        notice = FReports.front();
        FReports.pop_front();
    }
    UpdateAvailable(notice);
}

void TUpdateNotifier::UpdateAvailable(const TUpdateNotice& notice) {
    // One question per run: the check reports once, and nothing may stack a second box.
    if (FAsked) return;
    FAsked = true;
    // Taken first: the window, and this notifier with it, may go while the prompt is open.
    const QUrl page(FDownloadPage);
    if (AskToDownload(FWindow, notice)) QDesktopServices::openUrl(page);
}

bool AskToDownload(QWidget* window, const TUpdateNotice& notice) {
    QPointer<QMessageBox> box =
        new QMessageBox(QMessageBox::Question, QStringLiteral("Update Available"),
                        QString::fromStdString(UpdatePromptText(notice)),
                        QMessageBox::Yes | QMessageBox::No, window);
    box->setWindowModality(Qt::ApplicationModal);
    const int answer = box->exec();
    // A box whose window went during the question went with it.
    if (box) delete box.data();
    return answer == QMessageBox::Yes;
}
