#pragma once
// The capture modes a video device offers, read from its caps, and the device caps that ask
// for one of them. Plain functions, so they can be tested on caps strings.
//
// Only what the graph can take becomes a mode: raw video with a format, and image/jpeg (in
// system memory). Lists are expanded in full; a size range yields the common sizes inside it
// and its largest size (when not absurd); a rate range yields the whole rates of RangeRates
// inside it and its fastest rate (when not absurd). Modes are unique and sorted by width,
// height, then rate; equal ones keep the caps' order.

#include <gst/gst.h>

#include <optional>
#include <vector>

#include "capture/format_choice.h"
#include "settings/video_mode.h"

std::vector<TVideoMode> VideoModesFromCaps(const GstCaps* caps);

// The mode of the offer that satisfies `wanted`: the same size and rate, and its format or,
// when it names none, the first BGR format offered, else the first format in caps order.
// Nothing when the device does not offer it.
std::optional<TVideoMode> OfferedVideoMode(const GstCaps* offered, const TVideoMode& wanted);

// The device format of a concrete mode, with the mode's rate as its only rate.
TVideoOption VideoModeOption(const TVideoMode& mode);
