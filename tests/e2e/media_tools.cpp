#include "media_tools.h"

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <sstream>

std::vector<TStreamInfo> ProbeStreams(const std::string& file) {
    const auto probe = RunCommand("ffprobe -v error -show_streams -of default=nw=0 " + Quote(file));
    std::vector<TStreamInfo> streams;
    std::istringstream lines(probe.Output);
    for (std::string line; std::getline(lines, line);) {
        if (line == "[STREAM]") streams.emplace_back();
        const auto eq = line.find('=');
        if (!streams.empty() && eq != std::string::npos)
            streams.back()[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return streams;
}

double ProbeDuration(const std::string& file) {
    const auto probe =
        RunCommand("ffprobe -v error -show_entries format=duration -of csv=p=0 " + Quote(file));
    return std::atof(probe.Output.c_str());
}

std::vector<TPacketTime> PacketTimes(const std::string& file, const std::string& selector) {
    const auto probe =
        RunCommand("ffprobe -v error -select_streams " + selector +
                   " -show_entries packet=pts_time,duration_time -of csv=p=0 " + Quote(file));
    std::vector<TPacketTime> packets;
    std::istringstream lines(probe.Output);
    for (std::string line; std::getline(lines, line);) {
        const auto comma = line.find(',');
        // Header packets carry no time ("N/A").
        if (comma == std::string::npos || line.compare(0, 3, "N/A") == 0) continue;
        const std::string duration = line.substr(comma + 1);
        packets.push_back({std::atof(line.c_str()),
                           duration.rfind("N/A", 0) == 0 ? 0 : std::atof(duration.c_str())});
    }
    std::sort(packets.begin(), packets.end(),
              [](const TPacketTime& a, const TPacketTime& b) { return a.Start < b.Start; });
    return packets;
}

double LargestStep(const std::vector<TPacketTime>& packets) {
    double largest = 0;
    for (size_t i = 1; i < packets.size(); ++i)
        largest = std::max(largest, packets[i].Start - packets[i - 1].Start);
    return largest;
}

double StreamSeconds(const std::string& file, const std::string& selector) {
    const std::vector<TPacketTime> packets = PacketTimes(file, selector);
    if (packets.empty()) return 0;
    double last = 0;
    for (const TPacketTime& packet : packets) last = std::max(last, packet.Start + packet.Duration);
    return last - packets.front().Start;
}

std::vector<std::vector<uint8_t>> DecodeVideoRgb(const std::string& file, int width, int height) {
    const std::string raw = file + ".rgb";
    RunCommand("ffmpeg -v error -y -threads 1 -i " + Quote(file) +
               " -an -f rawvideo -pix_fmt rgb24 " + Quote(raw));
    std::vector<std::vector<uint8_t>> frames;
    FILE* in = fopen(raw.c_str(), "rb");
    if (!in) return frames;
    const size_t frameBytes = static_cast<size_t>(width) * height * 3;
    std::vector<uint8_t> frame(frameBytes);
    while (fread(frame.data(), 1, frameBytes, in) == frameBytes) frames.push_back(frame);
    fclose(in);
    std::remove(raw.c_str());
    return frames;
}

std::vector<int16_t> DecodeAudioMono(const std::string& file) {
    const std::string raw = file + ".pcm";
    RunCommand("ffmpeg -v error -y -i " + Quote(file) + " -vn -ac 1 -f s16le " + Quote(raw));
    std::vector<int16_t> samples;
    FILE* in = fopen(raw.c_str(), "rb");
    if (!in) return samples;
    int16_t block[4096];
    size_t got;
    while ((got = fread(block, 2, 4096, in)) > 0) samples.insert(samples.end(), block, block + got);
    fclose(in);
    std::remove(raw.c_str());
    return samples;
}

size_t Count(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}
