#pragma once
// What the video processor takes, said in the operator's words before a run: the settings
// dialog holds its OK back with the reason, and a start is refused with it, rather than a
// processor failing half-way into a run.

#include <cstdint>
#include <string>

#include "settings/settings.h"

// Why these processing options cannot serve a captured picture of width x height; empty
// when they can. A width or height of 0 (no picture known yet) checks only what does not
// depend on the picture.
std::string ProcessingProblem(const TVideoProcessing& options, int32_t width, int32_t height);
