#pragma once
// Command line of kestrova_headless: one recording or broadcast of the synthetic sources,
// with the stored settings and no window.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct THeadlessOptions {
    double Seconds = 0;               // media seconds to encode; 0 runs until a signal
    std::optional<std::string> File;  // record to this path for this run
    bool Video = true;
    bool Audio = true;
    int CaptureWidth = 640;
    int CaptureHeight = 480;
    int CaptureFps = 30;
    int CaptureRate = 44100;
    int CaptureChannels = 2;
    bool Fast = false;
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
