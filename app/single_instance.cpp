#include "app/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QStandardPaths>
#include <cstring>

namespace {

constexpr const char* LockName = "/kestrova-zizizada.lock";
constexpr const char* SocketName = "/kestrova-zizizada.socket";

std::string RuntimeFolder() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return (folder.isEmpty() ? QDir::tempPath() : folder).toStdString();
}

}  // namespace

TSingleInstance::TSingleInstance(std::string folder)
    : FFolder(folder.empty() ? RuntimeFolder() : std::move(folder)) {}

bool TSingleInstance::Claim() {
    const std::string lockPath = FFolder + LockName;
    FLock.Reset(open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    // A folder that cannot hold the lock must not keep the program from starting.
    if (!FLock.Valid()) return true;
    // The system drops the lock with its holder, however that one ends: no stale lock.
    if (flock(FLock.Get(), LOCK_EX | LOCK_NB) == 0) return true;
    FLock.Reset(-1);
    AskTheFirstWindow();
    return false;
}

sockaddr_un TSingleInstance::SocketAddress() const {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = FFolder + SocketName;
    // A path too long for a socket leaves the address empty: nothing listens or connects.
    if (path.size() < sizeof address.sun_path)
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return address;
}

// As no application object exists yet, a plain blocking socket; one byte is the request.
void TSingleInstance::AskTheFirstWindow() const {
    const sockaddr_un address = SocketAddress();
    TUniqueFd socketFd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (address.sun_path[0] == 0 || !socketFd.Valid()) return;
    if (::connect(socketFd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return;
    const char request = '!';
    [[maybe_unused]] const ssize_t sent = send(socketFd.Get(), &request, 1, MSG_NOSIGNAL);
}

void TSingleInstance::Listen() {
    const sockaddr_un address = SocketAddress();
    if (!FLock.Valid() || address.sun_path[0] == 0) return;
    // Holding the lock, any socket file there is left from a window that died.
    unlink(address.sun_path);
    FListener.Reset(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!FListener.Valid() ||
        bind(FListener.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(FListener.Get(), 4) != 0) {
        FListener.Reset();
        return;
    }
    chmod(address.sun_path, 0600);
    FNotifier = std::make_unique<QSocketNotifier>(FListener.Get(), QSocketNotifier::Read);
    connect(FNotifier.get(), &QSocketNotifier::activated, this, &TSingleInstance::TakeRequests);
}

void TSingleInstance::TakeRequests() {
    bool asked = false;
    while (true) {
        TUniqueFd client(accept4(FListener.Get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!client.Valid()) break;
        asked = true;
    }
    if (asked) emit ActivationWanted();
}
