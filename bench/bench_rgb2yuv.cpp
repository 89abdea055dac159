// RGB2YUV against libyuv's ARGBToI420 at the program's frame sizes, in frames per second.
// "memory": every call takes the next frame of a 256 MiB pool, far beyond the last-level
// cache, as the encoder thread sees fresh frames; "cached": one frame over and over.
// The planes are one set per run, as the encoder's buffers are. Times and rates are CPU
// time: the machines this runs on are shared, and waiting for memory counts as CPU time.
// RGB2YUV[avx2] and RGB2YUV[sse2] start at a narrower kernel (through the test-only library):
// what machines without the wider vectors get.

#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <libyuv/convert.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "planewright/planewright.h"

namespace {

constexpr size_t kPoolBytes = size_t{256} << 20;

// From the benchmark's own folder, as the program loads it; null when missing.
void* Bind(const char* file, const char* symbol) {
    const auto folder = std::filesystem::read_symlink("/proc/self/exe").parent_path();
    void* library = dlopen((folder / file).c_str(), RTLD_NOW);
    return library ? dlsym(library, symbol) : nullptr;
}

// The test-only library runs the conversion from a named kernel on, to show what machines
// without the widest vectors get.
using TForcedConvert = int (*)(const char*, const uint8_t*, int32_t, int32_t, uint8_t*, uint8_t*,
                               uint8_t*, int32_t, int32_t);

const std::vector<uint8_t>& Pool() {
    static const std::vector<uint8_t> pool = [] {
        std::vector<uint8_t> bytes(kPoolBytes);
        std::mt19937 random(3);
        for (size_t i = 0; i < bytes.size(); i += 4) {
            const uint32_t word = random();
            std::copy_n(reinterpret_cast<const uint8_t*>(&word), 4, &bytes[i]);
        }
        return bytes;
    }();
    return pool;
}

enum class TSource { Memory, Cached };

// kernel: empty for the export RGB2YUV, "libyuv" for ARGBToI420, else the kernel to start at
void Convert(benchmark::State& state, const std::string& kernel, int width, int height,
             TSource sourceKind) {
    static const auto rgb2yuv =
        reinterpret_cast<TRGB2YUVFunc>(Bind(PLANEWRIGHT_LIBRARY_FILE, PLANEWRIGHT_EXPORT_NAME));
    static const auto forced = reinterpret_cast<TForcedConvert>(
        Bind("libplanewright_testing.so", "PlanewrightConvertWithKernel"));
    const bool isLibYuv = kernel == "libyuv";
    const bool isForced = !isLibYuv && !kernel.empty();
    // a zero-sized frame tells whether the CPU runs the kernel
    const bool available = isLibYuv || (isForced ? forced && forced(kernel.c_str(), nullptr, 0, 0,
                                                                    nullptr, nullptr, nullptr, 0, 0)
                                                 : rgb2yuv != nullptr);
    if (!available) {
        state.SkipWithError("library or kernel not available");
        return;
    }
    const size_t frameBytes = size_t{4} * width * height;
    const size_t frameCount = sourceKind == TSource::Memory ? Pool().size() / frameBytes : 1;
    std::vector<uint8_t> y(size_t{1} * width * height);
    std::vector<uint8_t> cb(y.size() / 4);
    std::vector<uint8_t> cr(y.size() / 4);
    size_t frame = 0;
    for (auto _ : state) {
        const uint8_t* source = Pool().data() + frame * frameBytes;
        if (isForced) {
            forced(kernel.c_str(), source, width, height, y.data(), cb.data(), cr.data(), 4 * width,
                   width);
        } else if (!isLibYuv) {
            rgb2yuv(source, width, height, y.data(), cb.data(), cr.data(), 4 * width, width);
        } else {
            libyuv::ARGBToI420(source, 4 * width, y.data(), width, cb.data(), width / 2, cr.data(),
                               width / 2, width, height);
        }
        benchmark::ClobberMemory();
        frame = frame + 1 == frameCount ? 0 : frame + 1;
    }
    state.counters["fps"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * frameBytes));
}

void RegisterAll() {
    const struct { int width, height; } sizes[] = {{640, 480}, {1280, 720}};
    for (const auto& size : sizes) {
        for (TSource source : {TSource::Memory, TSource::Cached}) {
            for (const std::string kernel : {"", "libyuv", "avx2", "sse2"}) {
                const std::string converter = kernel.empty()       ? "RGB2YUV"
                                              : kernel == "libyuv" ? "ARGBToI420"
                                                                   : "RGB2YUV[" + kernel + "]";
                const std::string name = converter + "/" + std::to_string(size.width) + "x" +
                                         std::to_string(size.height) + "/" +
                                         (source == TSource::Memory ? "memory" : "cached");
                benchmark::RegisterBenchmark(name.c_str(), Convert, kernel, size.width, size.height,
                                             source)
                    ->Unit(benchmark::kMicrosecond);
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    RegisterAll();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
