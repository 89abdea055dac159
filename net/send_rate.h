#pragma once
// The send rate the main window shows: bytes counted per measurement of a little over one
// second, averaged over the last five measurements, in kilobits (1024 bits) per second.
// Used by the sender thread alone; times come from the caller, in milliseconds of a steady
// clock.

#include <array>
#include <cstdint>

class tSendRate {
  public:
    static constexpr int32_t Slots = 5;
    static constexpr int64_t MeasureAfterMs = 1000;

    void Start(int64_t nowMs);
    void Add(int32_t bytes) { FCount += bytes; }
    // Takes a measurement once more than MeasureAfterMs have passed and something was sent;
    // true when it did.
    bool Update(int64_t nowMs);
    int32_t Kbps() const { return FKbps; }

  private:
    std::array<int64_t, Slots> FSlots{};  // bytes per second
    int FCurrent = 0;
    int64_t FCount = 0;
    int64_t FSinceMs = 0;
    int32_t FKbps = 0;
};
