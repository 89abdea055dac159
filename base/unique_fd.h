#pragma once
// TUniqueFd: the one owner of a file descriptor. Move-only; the descriptor is closed when the
// owner goes or takes another one. -1 stands for "none".

class TUniqueFd final {
  public:
    TUniqueFd() = default;
    explicit TUniqueFd(int fd) noexcept : FFd(fd) {}
    ~TUniqueFd() { Reset(); }

    TUniqueFd(const TUniqueFd&) = delete;
    TUniqueFd& operator=(const TUniqueFd&) = delete;
    TUniqueFd(TUniqueFd&& other) noexcept : FFd(other.Release()) {}
    TUniqueFd& operator=(TUniqueFd&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }

    int Get() const { return FFd; }
    bool Valid() const { return FFd >= 0; }

    // Gives the descriptor up without closing it; the owner is then empty.
    int Release() noexcept {
        const int fd = FFd;
        FFd = -1;
        return fd;
    }

    // Closes the descriptor held, unless it is fd itself, and takes fd.
    void Reset(int fd = -1) noexcept;

    // Closes the descriptor now and empties the owner. False when close(2) failed: for a file,
    // a write the system had deferred may have been lost. True when nothing was held.
    bool Close() noexcept;

  private:
    int FFd = -1;
};
