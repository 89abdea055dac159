#include "video/jpeg_reader.h"

#include <jpeglib.h>

#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE
#include <new>

namespace {

// Progressive files need about ten scans; thousands only burn time.
constexpr int MaxScans = 500;
// Enough for a progressive 8192 x 8192 colour image; more means a hostile header.
constexpr long MaxDecoderMemory = 512L * 1024 * 1024;

struct TJpegErrors {
    jpeg_error_mgr Manager;  // first, so the library's pointer can be cast back
    std::jmp_buf Jump;
};

[[noreturn]] void JumpOut(j_common_ptr info) {
    std::longjmp(reinterpret_cast<TJpegErrors*>(info->err)->Jump, 1);
}

// Warnings mean damaged data (a truncated file is "completed" with grey): refuse those too.
void OnMessage(j_common_ptr info, int level) {
    if (level < 0) JumpOut(info);
}

void OnOutput(j_common_ptr) {}

void OnProgress(j_common_ptr info) {
    auto* decompress = reinterpret_cast<j_decompress_ptr>(info);
    if (decompress->input_scan_number > MaxScans) JumpOut(info);
}

struct TJpegDecode {
    jpeg_decompress_struct Info{};
    TJpegErrors Errors{};
    jpeg_progress_mgr Progress{};
    TBgraImage Image;
};

// Only trivially destructible locals live here: a longjmp out of libjpeg lands in this frame.
// Everything that must survive the jump is in `d`, which lives in the caller's frame.
bool RunDecode(TJpegDecode& d, const uint8_t* data, size_t size) {
    if (setjmp(d.Errors.Jump) != 0) return false;
    jpeg_mem_src(&d.Info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&d.Info, TRUE);
    if (!ImageDimensionsAllowed(d.Info.image_width, d.Info.image_height)) return false;
    d.Info.out_color_space = JCS_EXT_BGRA;
    jpeg_start_decompress(&d.Info);
    d.Image = TBgraImage(static_cast<int32_t>(d.Info.output_width),
                         static_cast<int32_t>(d.Info.output_height));
    while (d.Info.output_scanline < d.Info.output_height) {
        JSAMPROW row = d.Image.Row(static_cast<int32_t>(d.Info.output_scanline));
        jpeg_read_scanlines(&d.Info, &row, 1);
    }
    jpeg_finish_decompress(&d.Info);
    return true;
}

}  // namespace

std::optional<TBgraImage> DecodeJpeg(const uint8_t* data, size_t size) {
    if (data == nullptr || size == 0) return std::nullopt;
    TJpegDecode d;
    d.Info.err = jpeg_std_error(&d.Errors.Manager);
    d.Errors.Manager.error_exit = JumpOut;
    d.Errors.Manager.emit_message = OnMessage;
    d.Errors.Manager.output_message = OnOutput;
    jpeg_create_decompress(&d.Info);
    d.Info.mem->max_memory_to_use = MaxDecoderMemory;
    d.Progress.progress_monitor = OnProgress;
    d.Info.progress = &d.Progress;

    bool decoded = false;
    try {
        decoded = RunDecode(d, data, size);
    } catch (const std::bad_alloc&) {
        // thrown by our own allocation of the image, never from inside libjpeg
    }
    jpeg_destroy_decompress(&d.Info);
    if (!decoded) return std::nullopt;
    return std::move(d.Image);
}
