// CPU time to convert one minute of 44100 Hz stereo 16-bit sound to 22050 Hz mono: our
// converter in 2048-byte blocks (as the audio processor feeds it), and sox doing the same
// conversion on a raw file (same resampling quality, no dither). Both "Time" columns are CPU
// time: the converting thread's for ours, the child's user + system time for sox.

#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

#include "engine/audio_converter.h"

extern char** environ;

namespace {

constexpr int Rate = 44100;
constexpr int Seconds = 60;

const std::vector<uint8_t>& OneMinute() {
    static const std::vector<uint8_t> bytes = [] {
        std::vector<int16_t> samples;
        samples.reserve(2 * Rate * Seconds);
        for (int i = 0; i < Rate * Seconds; ++i) {
            samples.push_back(
                static_cast<int16_t>(16000 * std::sin(2 * std::numbers::pi * 1000 * i / Rate)));
            samples.push_back(
                static_cast<int16_t>(16000 * std::sin(2 * std::numbers::pi * 500 * i / Rate)));
        }
        std::vector<uint8_t> raw(samples.size() * 2);
        std::memcpy(raw.data(), samples.data(), raw.size());
        return raw;
    }();
    return bytes;
}

double ThreadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void BM_ConverterOneMinute(benchmark::State& state) {
    const std::vector<uint8_t>& input = OneMinute();
    const TWaveFormatExtensible source =
        WithEmptyExtension(MakeWaveFormat(WAVE_FORMAT_PCM, 2, Rate, 16));
    const TWaveFormatEx target = MakeWaveFormat(WAVE_FORMAT_PCM, 1, Rate / 2, 16);
    std::vector<int16_t> output(5 * Rate / 2);  // five seconds, as in the audio processor
    for (auto _ : state) {
        double start = ThreadCpuSeconds();
        auto converter = TAudioConverter::Open(source, target);
        int64_t frames = 0;
        for (size_t at = 0; at + 2048 <= input.size(); at += 2048)
            frames += converter->Convert(input.data() + at, 2048, output.data(),
                                         static_cast<int32_t>(output.size()));
        benchmark::DoNotOptimize(frames);
        state.SetIterationTime(ThreadCpuSeconds() - start);
    }
    state.counters["audio_s"] = Seconds;
}

// Runs sox once and returns its CPU time in seconds, or a negative value when it failed.
double RunSox(const std::string& in, const std::string& out) {
    std::vector<std::string> args = {"sox", "-V1",    "-D", "-t",    "raw", "-r", "44100",
                                     "-e",  "signed", "-b", "16",    "-c",  "2",  in,
                                     "-t",  "raw",    "-r", "22050", "-c",  "1",  out};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, "sox", nullptr, nullptr, argv.data(), environ) != 0) return -1;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void BM_SoxOneMinute(benchmark::State& state) {
    char folder[] = "/tmp/kz_bench_sox_XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const std::string in = std::string(folder) + "/in.raw";
    const std::string out = std::string(folder) + "/out.raw";
    std::ofstream(in, std::ios::binary)
        .write(reinterpret_cast<const char*>(OneMinute().data()),
               static_cast<std::streamsize>(OneMinute().size()));
    for (auto _ : state) {
        double cpu = RunSox(in, out);
        if (cpu < 0) {
            state.SkipWithError("sox did not run");
            break;
        }
        state.SetIterationTime(cpu);
    }
    state.counters["audio_s"] = Seconds;
    std::remove(in.c_str());
    std::remove(out.c_str());
    rmdir(folder);
}

}  // namespace

BENCHMARK(BM_ConverterOneMinute)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_SoxOneMinute)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_MAIN();
