#include "app/stall_report.h"

#include "engine/live_encoder.h"
#include "settings/log.h"

namespace {

// A device counts as delivering again once it has delivered within this time.
constexpr double FlowingSeconds = 1.0;

}  // namespace

std::string TStallReport::Check(const TLiveEncoder& encoder, bool hasAudio, bool hasVideo) {
    std::string warning;
    if (hasAudio) warning += Look(FAudio, encoder.SecondsSinceAudio());
    if (hasVideo) warning += Look(FVideo, encoder.SecondsSinceVideo());
    return warning;
}

std::string TStallReport::Look(TDevice& device, double silentSeconds) {
    const std::string name = device.Name;
    if (silentSeconds >= TMediaClock::SilentSeconds) {
        if (!device.Reported) {
            LogLine(name + " device stalled: it has delivered nothing for 5 s; the recording " +
                    "goes on with " + (name == "Audio" ? "silence" : "the last picture"));
        }
        device.Reported = true;
        FStallSeen = true;
        return " - " + name + " device stalled";
    }
    if (device.Reported && silentSeconds < FlowingSeconds) {
        LogLine(name + " device delivers again");
        device.Reported = false;
    }
    return {};
}
