#pragma once
// SIGTERM, SIGINT and SIGHUP reach the window as an ordinary Qt signal: the handler writes one byte
// into a pipe (the only thing a handler may safely do) and a QSocketNotifier on the pipe's
// other end emits StopRequested on the window thread, where the program closes as its Exit
// item does.

#include <QObject>
#include <QSocketNotifier>
#include <memory>

class TStopSignals final : public QObject {
    Q_OBJECT
  public:
    // Installs the handlers; one object per process.
    explicit TStopSignals(QObject* parent = nullptr);
    // Puts the default handlers back and closes the pipe.
    ~TStopSignals() override;

  signals:
    void StopRequested(int signalNumber);

  private:
    void Drain();

    std::unique_ptr<QSocketNotifier> FNotifier;
};
