#pragma once
// TSingleInstance: one window per user. Two windows would fight over the capture devices and
// the settings file, the one that exits last overwriting what the other stored. The first
// start holds a lock file in the user's runtime folder for as long as it runs and listens on
// a local socket beside it; a later start finds the lock taken, asks the first window through
// the socket to come forward, and exits before it reads or writes any setting.
//
// Threads: the window thread only.

#include <sys/un.h>

#include <QObject>
#include <QSocketNotifier>
#include <memory>
#include <string>

#include "base/unique_fd.h"

class TSingleInstance final : public QObject {
    Q_OBJECT
  public:
    // `folder` holds the lock and the socket; empty: the user's runtime folder.
    explicit TSingleInstance(std::string folder = {});

    // True when this is the only window: the lock is held from now on. False when another
    // window holds it; that one has been asked to come forward.
    bool Claim();
    // After Claim(): listens for later starts (needs the application object).
    void Listen();

  signals:
    // A later start asked for the window.
    void ActivationWanted();

  private:
    sockaddr_un SocketAddress() const;
    void AskTheFirstWindow() const;
    void TakeRequests();

    std::string FFolder;
    TUniqueFd FLock;
    TUniqueFd FListener;
    std::unique_ptr<QSocketNotifier> FNotifier;
};
