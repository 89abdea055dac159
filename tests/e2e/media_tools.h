#pragma once
// Runs the real command-line tools (ffprobe, ffmpeg, ogginfo, the headless runner) that the
// end-to-end suites use to judge what the program produced.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tests/support/background_process.h"
#include "tests/support/run_command.h"
#include "tests/support/temp_folder.h"

// ffprobe's view of one stream: key=value pairs of -show_streams.
using TStreamInfo = std::map<std::string, std::string>;
std::vector<TStreamInfo> ProbeStreams(const std::string& file);
double ProbeDuration(const std::string& file);
// Seconds from a stream's first packet to the end of its last one, from the packets'
// time stamps; `selector` is ffprobe's stream letter, "v" or "a". 0 without such a stream.
double StreamSeconds(const std::string& file, const std::string& selector);
// The timed packets of one stream ("v" or "a"), in time order: start and duration, seconds.
struct TPacketTime {
    double Start = 0;
    double Duration = 0;
};
std::vector<TPacketTime> PacketTimes(const std::string& file, const std::string& selector);
// The largest step from one packet's start to the next one's (a gap shows as a large step).
double LargestStep(const std::vector<TPacketTime>& packets);

// Every decoded picture as packed RGB, decoded single-threaded (the threaded Theora decoder
// of some ffmpeg builds returns wrong frames now and then).
std::vector<std::vector<uint8_t>> DecodeVideoRgb(const std::string& file, int width, int height);

// The sound as mono 16-bit samples at its own rate.
std::vector<int16_t> DecodeAudioMono(const std::string& file);

// How often what occurs in text.
size_t Count(const std::string& text, const std::string& what);
