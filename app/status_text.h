#pragma once
// The status line of a running recording or broadcast, rebuilt by the status timer:
// the graph's status, " - Recording!", then the counts of what is attached.

#include <cstdint>
#include <optional>
#include <string>

struct TRunCounts {
    std::optional<int64_t> Samples;  // set when audio is attached
    std::optional<int32_t> Frames;   // set when video is attached
    std::optional<int32_t> Kbps;     // set when broadcasting
};

std::string RecordingStatus(const std::string& baseStatus, const TRunCounts& counts);
