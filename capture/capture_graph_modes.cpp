// The capture graph's video formats: the device's modes, the mode asked for at a build, and
// the format fixed before each run.
#include <string>

#include "capture/capture_graph.h"
#include "capture/capture_graph_parts.h"
#include "capture/video_modes.h"
#include "settings/log.h"

void TCaptureGraph::SetVideoMode(std::optional<TVideoMode> mode) {
    FWantedVideoMode = std::move(mode);
}

std::vector<TVideoMode> TCaptureGraph::VideoModes() const {
    if (FVideoSource == nullptr) return {};
    GstCaps* offered = OfferedCaps(TMediaKind::Video, FVideoSource);
    std::vector<TVideoMode> modes = VideoModesFromCaps(offered);
    if (offered != nullptr) gst_caps_unref(offered);
    return modes;
}

std::optional<TVideoOption> TCaptureGraph::StartVideoOption(const GstCaps* offered) {
    if (FWantedVideoMode) {
        FVideoMode = OfferedVideoMode(offered, *FWantedVideoMode);
        if (FVideoMode) {
            LogLine("Video capture mode: " + VideoModeText(*FVideoMode));
            return VideoModeOption(*FVideoMode);
        }
        // Once per mode: every rebuild (a device menu, the audio preview) would repeat it.
        const std::string wanted = VideoModeText(*FWantedVideoMode);
        if (wanted != FMissingModeLogged) {
            LogLine("The video device does not offer the mode " + wanted +
                    "; the automatic choice applies");
        }
        FMissingModeLogged = wanted;
    }
    const std::vector<TVideoOption> options = VideoOptionsFromCaps(offered);
    const int chosen = ChooseVideoOption(options, std::nullopt);
    if (chosen < 0) return std::nullopt;
    return options[chosen];
}

TVideoOption TCaptureGraph::AutomaticRunOption(int fps) const {
    GstCaps* offered = OfferedCaps(TMediaKind::Video, FVideoSource);
    const std::vector<TVideoOption> options = VideoOptionsFromCaps(offered);
    if (offered != nullptr) gst_caps_unref(offered);
    const int index = ChooseVideoOption(options, FVideoCurrent);
    TVideoOption option = *FVideoCurrent;
    // The decoder was chosen for the current type, so only a format of that type may follow.
    if (index >= 0 && options[index].MediaType == option.MediaType) {
        const TFraction current = options[index].Width == option.Width &&
                                          options[index].Height == option.Height &&
                                          options[index].Format == option.Format
                                      ? option.Rate
                                      : options[index].Rate;
        option = options[index];
        option.Rate = ChooseFrameRate(current, option.Offer, fps);
    }
    return option;
}

std::optional<TBitmapInfoHeader> TCaptureGraph::ChooseVideoFormat(int fps) {
    if (FVideoSource == nullptr || !FVideoCurrent) return std::nullopt;
    // A chosen mode is what the user asked the device for, its rate included.
    const TVideoOption option = FVideoMode ? *FVideoCurrent : AutomaticRunOption(fps);
    FVideoCurrent = option;
    if (FTestVideo) FTestVideo->Select(option);
    SetCaps(FVideoDeviceCaps, VideoOptionCaps(option, option.Rate));
    SetCaps(FVideoTapCaps, TapCaps(option));
    DebugLine("Video capture format: " + option.MediaType + " " + option.Format + " " +
              std::to_string(option.Width) + "x" + std::to_string(option.Height) + " at " +
              std::to_string(option.Rate.Num) + "/" + std::to_string(option.Rate.Den));
    return TapHeader(option);
}
