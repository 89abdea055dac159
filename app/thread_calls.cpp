#include "app/thread_calls.h"

#include <QCoreApplication>
#include <QEvent>

#include "base/sanitizer_sync.h"

namespace {

const QEvent::Type CallEventType = static_cast<QEvent::Type>(QEvent::registerEventType());

class TCallEvent final : public QEvent {
  public:
    explicit TCallEvent(std::function<void()> job) : QEvent(CallEventType), Job(std::move(job)) {
        HandOver(this);
    }
    // Also reached for a job dropped unrun, on the receiver's thread.
    ~TCallEvent() override { TakeOver(this); }

    std::function<void()> Job;
};

}  // namespace

void TThreadCalls::Post(std::function<void()> job) {
    QCoreApplication::postEvent(this, new TCallEvent(std::move(job)));
}

void TThreadCalls::customEvent(QEvent* event) {
    // Before the event is read at all: the posting thread wrote all of it.
    TakeOver(event);
    if (event->type() != CallEventType) return;
    auto* call = static_cast<TCallEvent*>(event);
    if (call->Job) call->Job();
}
