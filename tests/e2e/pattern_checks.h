#pragma once
// Judging recordings of the test pattern and the test tone: the bars, the white frames at
// whole seconds, the beeps and how far each beep lies from its white frame.

#include <cstdint>
#include <string>
#include <vector>

struct Rgb {
    double r, g, b;
};

// The bars left to right, as the test pattern draws them.
inline constexpr Rgb BarColours[8] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                                      {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0}};

Rgb MeanColour(const std::vector<uint8_t>& frame, int width, int cx, int cy, int half);
double ColourError(const Rgb& a, const Rgb& b);
// ogginfo's remarks; streamsMayBeUnended excuses missing end-of-stream marks, for files cut
// short by a kill.
std::string OgginfoProblems(const std::string& report, bool streamsMayBeUnended = false);
bool IsWhite(const std::vector<uint8_t>& frame);
// Times (seconds) where a beep starts: a loud sample after at least half a second of quiet.
std::vector<double> BeepOnsets(const std::vector<int16_t>& samples, int rate);

// The frequency (Hz) of a steady tone in each whole block of blockSeconds, from the time
// between the first and last rising zero crossing; 0 for a block too quiet to tell.
std::vector<double> ToneFrequencies(const std::vector<int16_t>& samples, int rate,
                                    double blockSeconds = 1.0);

// Checks (with gtest expectations) a 10 s recording of the pattern and tone with the default
// settings (640x480 at 15 fps, 22050 Hz mono): streams, white frames exactly at whole seconds,
// the bars the right way up, every beep within one frame of its white frame. Returns the
// beep offsets from the whole seconds, in seconds (positive: sound late).
std::vector<double> CheckDefaultPatternRecording(const std::string& file);
