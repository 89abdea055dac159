#pragma once
// The status line of a running recording or broadcast, rebuilt by the status timer:
// the graph's status, " - Recording!", then the counts of what is attached; a broadcast not
// yet let in by its server says where it stands instead.

#include <cstdint>
#include <optional>
#include <string>

struct TRunCounts {
    std::optional<int64_t> Samples;  // set when audio is attached
    std::optional<int32_t> Frames;   // set when video is attached
    std::optional<int32_t> Kbps;     // set when broadcasting
};

std::string RecordingStatus(const std::string& baseStatus, const TRunCounts& counts);

// Where a broadcast stands with its server.
struct TBroadcastState {
    bool Accepted = false;  // the server let this run in and the connection holds
    std::string Problem;    // why the last attempt failed; empty before any failure
};

// A broadcast that its server has let in shows as a recording; one waiting to retry says so
// with the server's refusal or the network's error: " - Not connected - <problem> -
// retrying"; the first attempt " - Connecting to server...".
std::string BroadcastStatus(const std::string& baseStatus, const TBroadcastState& state,
                            const TRunCounts& counts);

// What a broadcast's status adds when the file it also records into has failed:
// " - <problem>", or nothing while the file is well.
std::string FileProblemText(const std::string& problem);
