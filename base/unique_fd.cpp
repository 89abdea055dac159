#include "base/unique_fd.h"

#include <unistd.h>

void TUniqueFd::Reset(int fd) noexcept {
    if (fd == FFd) return;
    Close();
    FFd = fd;
}

bool TUniqueFd::Close() noexcept {
    if (FFd < 0) return true;
    // Not retried on EINTR: Linux has released the descriptor by then, and a second close
    // could hit a descriptor another thread has just been given.
    const bool closed = close(FFd) == 0;
    FFd = -1;
    return closed;
}
