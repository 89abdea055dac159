#include "net/send_rate.h"

#include <cstddef>

void tSendRate::Start(int64_t nowMs) {
    FSlots.fill(0);
    FCurrent = 0;
    FCount = 0;
    FSinceMs = nowMs;
    FKbps = 0;
}

bool tSendRate::Update(int64_t nowMs) {
    const int64_t elapsed = nowMs - FSinceMs;
    if (elapsed <= MeasureAfterMs || FCount <= 0) return false;
    FSlots[static_cast<std::size_t>(FCurrent)] =
        (FCount * 1000 + elapsed / 2) / elapsed;  // rounded
    FCurrent = (FCurrent + 1) % Slots;
    FSinceMs = nowMs;
    FCount = 0;
    int64_t sum = 0;
    for (int64_t slot : FSlots) sum += slot;
    FKbps = static_cast<int32_t>(sum * 8 / (Slots * 1024));
    return true;
}
