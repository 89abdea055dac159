// What it would cost a recording to force its file to the disk every few seconds: the time one
// fdatasync takes after `interval` seconds of a stream written the way the file output writes
// it (16 KiB blocks, plus a part-filled block each second). The sync would run on an encoding
// thread under the page-queue lock, so its time is time both encoders stand still.
//
//   build/bin/bench_file_sync [--benchmark_filter=...]     (TMPDIR picks the disk measured)
//
// Arguments: bytes per second of stream, seconds between syncs. Counters: the longest sync
// seen, and the write calls per minute of stream.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr size_t BlockSize = 16384;

std::string TempFile() {
    const char* folder = std::getenv("TMPDIR");
    std::string path = std::string(folder && *folder ? folder : "/tmp") + "/kz_syncXXXXXX";
    const int fd = mkstemp(path.data());
    if (fd >= 0) close(fd);
    return path;
}

// One second of stream: whole blocks while they fill, then what is left, part-filled.
size_t WriteOneSecond(int fd, const std::vector<char>& block, size_t bytesPerSecond) {
    size_t calls = 0;
    for (size_t left = bytesPerSecond; left > 0; ++calls) {
        const size_t piece = std::min(left, BlockSize);
        if (write(fd, block.data(), piece) != static_cast<ssize_t>(piece)) return calls;
        left -= piece;
    }
    return calls;
}

void SyncAfterSeconds(benchmark::State& state) {
    const auto bytesPerSecond = static_cast<size_t>(state.range(0));
    const auto interval = static_cast<int>(state.range(1));
    const std::string path = TempFile();
    const int fd = open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) {
        state.SkipWithError("cannot create the file");
        return;
    }
    const std::vector<char> block(BlockSize, 'k');
    double longest = 0;
    size_t calls = 0;
    for (auto _ : state) {
        state.PauseTiming();
        for (int second = 0; second < interval; ++second)
            calls += WriteOneSecond(fd, block, bytesPerSecond);
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        fdatasync(fd);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        longest = std::max(longest, took.count());
    }
    close(fd);
    unlink(path.c_str());
    const double streamSeconds = static_cast<double>(state.iterations()) * interval;
    state.counters["longest_ms"] = longest * 1000;
    state.counters["writes_per_min"] = static_cast<double>(calls) * 60 / streamSeconds;
}

}  // namespace

// 4500 bytes/s is the default recording (640x480 at 15 fps, Vorbis at 22050 Hz mono), 125000 a 1
// Mbit/s stream.
BENCHMARK(SyncAfterSeconds)
    ->ArgsProduct({{4500, 125000}, {1, 5}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20)
    ->UseRealTime();

BENCHMARK_MAIN();
