#include "app/status_text.h"

std::string RecordingStatus(const std::string& baseStatus, const TRunCounts& counts) {
    std::string text = baseStatus + " - Recording!";
    if (counts.Samples) text += " - " + std::to_string(*counts.Samples) + " Samples";
    if (counts.Frames) text += " - " + std::to_string(*counts.Frames) + " Frames";
    if (counts.Kbps) text += " - " + std::to_string(*counts.Kbps) + " kbps";
    return text;
}

std::string BroadcastStatus(const std::string& baseStatus, const TBroadcastState& state,
                            const TRunCounts& counts) {
    if (state.Accepted) return RecordingStatus(baseStatus, counts);
    if (state.Problem.empty()) return baseStatus + " - Connecting to server...";
    return baseStatus + " - Not connected - " + state.Problem + " - retrying";
}

std::string FileProblemText(const std::string& problem) {
    return problem.empty() ? std::string() : " - " + problem;
}
