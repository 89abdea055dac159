// RGB2YUV against libyuv's ARGBToI420 at the program's frame sizes, in frames per second.
// "memory": every call takes the next frame of a 256 MiB pool, far beyond the last-level
// cache, as the encoder thread sees fresh frames; "cached": one frame over and over.
// The planes are one set per run, as the encoder's buffers are. Times and rates are CPU
// time: the machines this runs on are shared, and waiting for memory counts as CPU time.

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

TRGB2YUVFunc BindRgb2Yuv() {
    // from the benchmark's own folder, as the program loads it
    const auto folder = std::filesystem::read_symlink("/proc/self/exe").parent_path();
    void* library = dlopen((folder / PLANEWRIGHT_LIBRARY_FILE).c_str(), RTLD_NOW);
    void* function = library ? dlsym(library, PLANEWRIGHT_EXPORT_NAME) : nullptr;
    if (!function) {
        throw std::runtime_error(dlerror());
    }
    return reinterpret_cast<TRGB2YUVFunc>(function);
}

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
enum class TConverter { Planewright, LibYuv };

void Convert(benchmark::State& state, TConverter converter, int width, int height,
             TSource sourceKind) {
    static const TRGB2YUVFunc rgb2yuv = BindRgb2Yuv();
    const size_t frameBytes = size_t{4} * width * height;
    const size_t frameCount = sourceKind == TSource::Memory ? Pool().size() / frameBytes : 1;
    std::vector<uint8_t> y(size_t{1} * width * height);
    std::vector<uint8_t> cb(y.size() / 4);
    std::vector<uint8_t> cr(y.size() / 4);
    size_t frame = 0;
    for (auto _ : state) {
        const uint8_t* source = Pool().data() + frame * frameBytes;
        if (converter == TConverter::Planewright) {
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
            for (TConverter converter : {TConverter::Planewright, TConverter::LibYuv}) {
                const std::string name =
                    std::string(converter == TConverter::Planewright ? "RGB2YUV" : "ARGBToI420") +
                    "/" + std::to_string(size.width) + "x" + std::to_string(size.height) + "/" +
                    (source == TSource::Memory ? "memory" : "cached");
                benchmark::RegisterBenchmark(name.c_str(), Convert, converter, size.width,
                                             size.height, source)
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
