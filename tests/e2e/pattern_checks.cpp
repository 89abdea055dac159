#include "pattern_checks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>

#include "media_tools.h"

Rgb MeanColour(const std::vector<uint8_t>& frame, int width, int cx, int cy, int half) {
    Rgb sum{0, 0, 0};
    int count = 0;
    for (int y = cy - half; y < cy + half; ++y) {
        for (int x = cx - half; x < cx + half; ++x) {
            const uint8_t* p = frame.data() + (static_cast<size_t>(y) * width + x) * 3;
            sum.r += p[0];
            sum.g += p[1];
            sum.b += p[2];
            ++count;
        }
    }
    return {sum.r / count, sum.g / count, sum.b / count};
}

double ColourError(const Rgb& a, const Rgb& b) {
    return std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
}

std::string OgginfoProblems(const std::string& report, bool streamsMayBeUnended) {
    std::istringstream lines(report);
    std::string problems;
    for (std::string line; std::getline(lines, line);) {
        const bool remark = line.find("WARNING") != std::string::npos ||
                            line.find("ERROR") != std::string::npos ||
                            line.find("rror") != std::string::npos;
        const bool unended = line.find("EOS not set") != std::string::npos;
        if (remark && !(unended && streamsMayBeUnended)) problems += line + "\n";
    }
    return problems;
}

bool IsWhite(const std::vector<uint8_t>& frame) {
    for (size_t i = 0; i < frame.size(); i += 97) {
        if (frame[i] < 200) return false;
    }
    return true;
}

std::vector<double> BeepOnsets(const std::vector<int16_t>& samples, int rate) {
    std::vector<double> onsets;
    int64_t lastLoud = -rate;
    for (size_t i = 0; i < samples.size(); ++i) {
        if (std::abs(samples[i]) < 4000) continue;
        if (static_cast<int64_t>(i) - lastLoud > rate / 2) onsets.push_back(double(i) / rate);
        lastLoud = static_cast<int64_t>(i);
    }
    return onsets;
}

std::vector<double> ToneFrequencies(const std::vector<int16_t>& samples, int rate,
                                    double blockSeconds) {
    // Crossings count only after a swing past this level, so encoder noise near zero in a
    // quiet stretch does not count as a cycle.
    constexpr int Swing = 500;
    const size_t block = static_cast<size_t>(blockSeconds * rate);
    std::vector<double> frequencies;
    for (size_t start = 0; block > 0 && start + block <= samples.size(); start += block) {
        double first = -1, last = -1;
        int crossings = 0;
        bool wasLow = false;
        for (size_t i = start + 1; i < start + block; ++i) {
            if (samples[i] < -Swing) wasLow = true;
            if (!(wasLow && samples[i - 1] < 0 && samples[i] >= 0)) continue;
            // Where the line between the two samples meets zero.
            const double at =
                double(i - 1) + double(-samples[i - 1]) / double(samples[i] - samples[i - 1]);
            if (first < 0) first = at;
            last = at;
            ++crossings;
            wasLow = false;
        }
        frequencies.push_back(crossings >= 3 ? (crossings - 1) * rate / (last - first) : 0.0);
    }
    return frequencies;
}

std::vector<double> CheckDefaultPatternRecording(const std::string& file) {
    std::vector<double> offsets;
    // The video stream has no end-of-stream mark (a live run never marks its last frame);
    // ogginfo's warning about that is the only remark allowed.
    const auto check = RunCommand("ogginfo " + Quote(file));
    EXPECT_EQ(OgginfoProblems(check.Output), "") << check.Output;

    const auto streams = ProbeStreams(file);
    EXPECT_EQ(streams.size(), 2u);
    if (streams.size() != 2) return offsets;
    const auto& video = streams[0].at("codec_name") == "theora" ? streams[0] : streams[1];
    const auto& audio = streams[0].at("codec_name") == "theora" ? streams[1] : streams[0];
    EXPECT_EQ(video.at("codec_name"), "theora");
    EXPECT_EQ(video.at("width"), "640");
    EXPECT_EQ(video.at("height"), "480");
    EXPECT_EQ(video.at("r_frame_rate"), "15/1");
    EXPECT_EQ(audio.at("codec_name"), "vorbis");
    EXPECT_EQ(audio.at("sample_rate"), "22050");
    EXPECT_EQ(audio.at("channels"), "1");
    EXPECT_NEAR(ProbeDuration(file), 10.0, 0.5);

    const auto frames = DecodeVideoRgb(file, 640, 480);
    EXPECT_GE(frames.size(), 145u);
    if (frames.size() < 8) return offsets;
    for (size_t n = 0; n < frames.size(); ++n) {
        EXPECT_EQ(IsWhite(frames[n]), n % 15 == 0) << "frame " << n;
    }
    // Right way up: the bars fill the top three quarters, the band with the square the rest.
    const auto& ordinary = frames[7];
    for (int bar = 0; bar < 8; ++bar) {
        const Rgb seen = MeanColour(ordinary, 640, bar * 80 + 40, 180, 6);
        EXPECT_LT(ColourError(seen, BarColours[bar]), 24) << "bar " << bar;
    }
    EXPECT_LT(ColourError(MeanColour(ordinary, 640, 8, 470, 4), Rgb{0, 0, 0}), 24);

    const auto onsets = BeepOnsets(DecodeAudioMono(file), 22050);
    EXPECT_GE(onsets.size(), 9u);
    for (double onset : onsets) {
        const double offset = onset - std::round(onset);
        EXPECT_LE(std::abs(offset), 1.0 / 15) << "beep at " << onset;
        offsets.push_back(offset);
    }
    return offsets;
}
