#pragma once
// Command line of kestrova_headless: one recording or broadcast with the stored settings and no
// window, from the synthetic sources directly or from capture devices through the capture graph.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "settings/video_mode.h"

struct THeadlessOptions {
    double Seconds = 0;               // media seconds to encode; 0 runs until a signal
    std::optional<std::string> File;  // record to this path for this run (also when streaming)
    bool Video = true;
    bool Audio = true;
    int CaptureWidth = 640;
    int CaptureHeight = 480;
    int CaptureFps = 30;
    int CaptureRate = 44100;
    int CaptureChannels = 2;
    bool Fast = false;
    // Capture devices by their listed names ("<None>" for none); either one selects the capture
    // graph, and the other then follows the stored setting as the window's menus do.
    std::optional<std::string> VideoDevice;
    std::optional<std::string> AudioDevice;
    // The capture mode asked of the video device for this run (never stored); only through
    // the capture graph.
    std::optional<TVideoMode> VideoMode;
    bool ListDevices = false;
    // Shapes of the graph's test devices, for tests: what "Test Pattern" offers ("bgr", "i420",
    // "mjpeg"), and seconds into a run after which a test device fails (0: never).
    std::string TestPatternFormat = "bgr";
    double FailVideoAfter = 0;
    double FailAudioAfter = 0;
    bool Stream = false;
    std::optional<std::string> Server;
    std::optional<uint16_t> Port;
    std::optional<std::string> Mount;
    std::optional<std::string> User;
    std::optional<std::string> Password;
    bool Help = false;
    bool Version = false;
};

// Parses the arguments after the program name. On failure returns nothing and sets `error`
// to a one-line message.
std::optional<THeadlessOptions> ParseHeadlessOptions(const std::vector<std::string>& args,
                                                     std::string& error);

std::string HeadlessUsage();
