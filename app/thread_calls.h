#pragma once
// TThreadCalls: runs jobs that other threads (GStreamer's, the device monitor's) hand to the
// thread this object lives on, the window thread, in the order they came. Qt's event queue
// carries them; its locks are invisible to ThreadSanitizer in an uninstrumented Qt, so each
// job is marked as handed over. Jobs still queued when this object goes are dropped.

#include <QObject>
#include <functional>

class TThreadCalls final : public QObject {
  public:
    using QObject::QObject;

    // Any thread.
    void Post(std::function<void()> job);

  protected:
    void customEvent(QEvent* event) override;
};
