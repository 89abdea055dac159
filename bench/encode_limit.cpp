// encode_limit: the floor under any recording of these settings: libtheora and libvorbis alone
// encoding the same pictures and sound as a run does, with the run's settings (Theora quality
// 10 at 1000 kbit/s, its fastest speed level, frame dropping with capped reservoir, key frames
// as often as the run's 90 allows (libtheora's default granule shift caps it at 64); Vorbis
// quality -0.06 at 22050 Hz mono). Reads raw frames on stdin in the form the run's capture
// delivers them: BGR (bench/pattern_frames), or a camera's YUY2, or the full-range I420 of a
// JPEG decoder. Each frame becomes the run's I420 planes untimed (the video processor's own
// intake for a camera's frames), and only the encoder calls are timed (thread CPU time),
// Theora and Vorbis (a 1 kHz tone) apart. Prints CPU seconds per second of media.
//
//   pattern_frames W H 30 FPS S | [camera elements |] encode_limit W H FPS S [bgr|yuy2|j420]
#include <libyuv/convert.h>
#include <theora/theoraenc.h>
#include <vorbis/vorbisenc.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include "video/capture_intake.h"
#include "video/frame_format.h"

namespace {

double ThreadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// The next frame's I420 planes (capture layout) from stdin; false at the end.
class TFrameReader {
  public:
    TFrameReader(int width, int height, const std::string& form)
        : FWidth(width), FHeight(height), FLayout(CaptureI420Layout(width, height)) {
        const uint32_t compression = form == "yuy2"   ? YUY2_COMPRESSION
                                     : form == "j420" ? J420_COMPRESSION
                                                      : 0;
        if (compression != 0) FIntake.emplace(YCbCrBitmapHeader(compression, width, height));
        FInput.resize(FIntake ? size_t(FIntake->SourceBytes()) : size_t(width) * height * 3);
        FPlanes.resize(size_t(FLayout.Size));
    }
    bool Next() {
        if (std::fread(FInput.data(), 1, FInput.size(), stdin) != FInput.size()) return false;
        if (FIntake)
            return FIntake->Take(FInput.data(), int64_t(FInput.size()), FPlanes.data()) > 0;
        libyuv::RGB24ToI420(FInput.data(), FWidth * 3, Y(), int(FLayout.YStride), Cb(),
                            int(FLayout.ChromaStride), Cr(), int(FLayout.ChromaStride), FWidth,
                            FHeight);
        return true;
    }
    void Describe(th_ycbcr_buffer image) {
        const int cw = (FWidth + 1) / 2, ch = (FHeight + 1) / 2;
        image[0] = {FWidth, FHeight, int(FLayout.YStride), Y()};
        image[1] = {cw, ch, int(FLayout.ChromaStride), Cb()};
        image[2] = {cw, ch, int(FLayout.ChromaStride), Cr()};
    }

  private:
    uint8_t* Y() { return FPlanes.data(); }
    uint8_t* Cb() { return FPlanes.data() + FLayout.CbOffset; }
    uint8_t* Cr() { return FPlanes.data() + FLayout.CrOffset; }

    int FWidth, FHeight;
    TI420Layout FLayout;
    std::optional<TCaptureIntake> FIntake;
    std::vector<uint8_t> FInput, FPlanes;
};

double EncodeTheora(int width, int height, int fps, int seconds, const std::string& form) {
    th_info info;
    th_info_init(&info);
    info.frame_width = info.pic_width = width;
    info.frame_height = info.pic_height = height;
    info.fps_numerator = fps;
    info.fps_denominator = info.aspect_numerator = info.aspect_denominator = 1;
    info.pixel_fmt = TH_PF_420;
    info.target_bitrate = 1000 * 1000;
    info.quality = 10;
    th_enc_ctx* encoder = th_encode_alloc(&info);
    th_info_clear(&info);
    if (encoder == nullptr) return -1;
    int flags = TH_RATECTL_DROP_FRAMES | TH_RATECTL_CAP_OVERFLOW | TH_RATECTL_CAP_UNDERFLOW;
    th_encode_ctl(encoder, TH_ENCCTL_SET_RATE_FLAGS, &flags, sizeof(flags));
    int keyframes = 90;
    th_encode_ctl(encoder, TH_ENCCTL_SET_KEYFRAME_FREQUENCY_FORCE, &keyframes, sizeof(keyframes));
    int speed = 0;
    th_encode_ctl(encoder, TH_ENCCTL_GET_SPLEVEL_MAX, &speed, sizeof(speed));
    th_encode_ctl(encoder, TH_ENCCTL_SET_SPLEVEL, &speed, sizeof(speed));
    th_comment comment;
    th_comment_init(&comment);
    ogg_packet packet;
    while (th_encode_flushheader(encoder, &comment, &packet) > 0) {
    }
    TFrameReader reader(width, height, form);
    double cpu = 0;
    for (int frame = 0; frame < fps * seconds; ++frame) {
        if (!reader.Next()) break;
        th_ycbcr_buffer image;
        reader.Describe(image);
        const double start = ThreadCpuSeconds();
        th_encode_ycbcr_in(encoder, image);
        const bool last = frame + 1 == fps * seconds;
        while (th_encode_packetout(encoder, last ? 1 : 0, &packet) > 0) {
        }
        cpu += ThreadCpuSeconds() - start;
    }
    th_comment_clear(&comment);
    th_encode_free(encoder);
    return cpu;
}

double EncodeVorbis(int seconds) {
    constexpr int Rate = 22050;
    vorbis_info info;
    vorbis_info_init(&info);
    vorbis_dsp_state dsp;
    vorbis_block block;
    const double start = ThreadCpuSeconds();
    if (vorbis_encode_init_vbr(&info, 1, Rate, -0.06f) != 0) return -1;
    vorbis_analysis_init(&dsp, &info);
    vorbis_block_init(&dsp, &block);
    ogg_packet packet;
    constexpr int Chunk = 1024;
    for (int done = 0; done <= Rate * seconds; done += Chunk) {
        const int n = done == Rate * seconds ? 0 : std::min(Chunk, Rate * seconds - done);
        if (n > 0) {
            float** buffer = vorbis_analysis_buffer(&dsp, n);
            for (int i = 0; i < n; ++i) {
                buffer[0][i] =
                    float(0.5 * std::sin(2 * std::numbers::pi * 1000 * (done + i) / Rate));
            }
        }
        vorbis_analysis_wrote(&dsp, n);
        while (vorbis_analysis_blockout(&dsp, &block) == 1) {
            vorbis_analysis(&block, nullptr);
            vorbis_bitrate_addblock(&block);
            while (vorbis_bitrate_flushpacket(&dsp, &packet) == 1) {
            }
        }
        if (n == 0) break;
    }
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_info_clear(&info);
    return ThreadCpuSeconds() - start;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5 && argc != 6) {
        std::fprintf(stderr,
                     "usage: encode_limit WIDTH HEIGHT FPS SECONDS [bgr|yuy2|j420] < frames\n");
        return 2;
    }
    const int width = std::atoi(argv[1]), height = std::atoi(argv[2]);
    const int fps = std::atoi(argv[3]), seconds = std::atoi(argv[4]);
    if (width < 16 || height < 16 || width % 2 || height % 2 || fps < 1 || seconds < 1) return 2;
    const std::string form = argc == 6 ? argv[5] : "bgr";
    if (form != "bgr" && form != "yuy2" && form != "j420") return 2;
    const double theora = EncodeTheora(width, height, fps, seconds, form);
    const double vorbis = EncodeVorbis(seconds);
    if (theora < 0 || vorbis < 0) return 1;
    std::printf("%.4f %.4f %.4f\n", (theora + vorbis) / seconds, theora / seconds,
                vorbis / seconds);
    return 0;
}
