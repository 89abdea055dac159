#include "engine/ogg_theora_codec.h"

#include <algorithm>
#include <climits>
#include <exception>

#include "engine/theora_library.h"

namespace {

bool EncoderEntriesPresent() {
    const TTheoraApi& lib = TheoraLib;
    return lib.RGB2YUV && lib.th_info_init && lib.th_info_clear && lib.th_comment_init &&
           lib.th_comment_add_tag && lib.th_comment_clear && lib.th_encode_alloc &&
           lib.th_encode_ctl && lib.th_encode_flushheader && lib.th_encode_ycbcr_in &&
           lib.th_encode_packetout && lib.th_encode_free && lib.th_granule_time;
}

void AddTag(th_comment& comment, std::string tag, std::string value) {
    // libtheora takes the strings as char* but only copies them.
    TheoraLib.th_comment_add_tag(&comment, tag.data(), value.data());
}

}  // namespace

void tOggTheoraCodec::TEncoderFree::operator()(th_enc_ctx* encoder) const {
    TheoraLib.th_encode_free(encoder);
}

tOggTheoraCodec::tOggTheoraCodec()
    : FTheoraUse(BindTheora, UnbindTheora),
      FLibraryReady(FTheoraUse.Ready() && EncoderEntriesPresent()) {
    if (!FLibraryReady) return;
    TheoraLib.th_info_init(&FInfo);
    TheoraLib.th_comment_init(&FComment);
}

tOggTheoraCodec::~tOggTheoraCodec() {
    Finish();
}

void tOggTheoraCodec::AddComment(const std::string& name, const std::string& value) {
    FComments.push_back(name + "=" + value);
}

bool tOggTheoraCodec::Init(tOggIOBase* output, TTheoraSettings settings, int32_t pictureWidth,
                           int32_t pictureHeight, bool fasterMode) {
    if (!FLibraryReady) return false;
    FSettings = settings;
    Finish();
    FillInfo(settings, pictureWidth, pictureHeight);
    FEncoder.reset(TheoraLib.th_encode_alloc(&FInfo));
    if (!FEncoder || !output) {
        Finish();
        return false;
    }
    TheoraLib.th_info_clear(&FInfo);
    ApplyControls(fasterMode);
    FillComments();
    FStreamIndex = output->AddStream();
    FOutput = output;
    if (FStreamIndex < 0 || !WriteHeaders()) {
        Finish();
        return false;
    }
    AllocatePlanes();
    FActive = true;
    // The first frame starts a page of its own, after the headers.
    return FOutput->FlushStream(FStreamIndex);
}

void tOggTheoraCodec::FillInfo(const TTheoraSettings& settings, int32_t pictureWidth,
                               int32_t pictureHeight) {
    FInfo = th_info{};
    TheoraLib.th_info_init(&FInfo);
    FInfo.frame_width = static_cast<ogg_uint32_t>(settings.Width);
    FInfo.frame_height = static_cast<ogg_uint32_t>(settings.Height);
    const bool picture = pictureWidth >= 1 && pictureHeight >= 1;
    FInfo.pic_width = picture ? static_cast<ogg_uint32_t>(pictureWidth) : FInfo.frame_width;
    FInfo.pic_height = picture ? static_cast<ogg_uint32_t>(pictureHeight) : FInfo.frame_height;
    // The picture fills the first columns of the frame's last rows; libtheora counts pic_y
    // from the top. A picture larger than the frame is refused by th_encode_alloc.
    FInfo.pic_x = 0;
    FInfo.pic_y =
        FInfo.pic_height <= FInfo.frame_height ? FInfo.frame_height - FInfo.pic_height : 0;
    FInfo.fps_numerator = static_cast<ogg_uint32_t>(settings.FPS);
    FInfo.fps_denominator = 1;
    FInfo.aspect_numerator = 1;
    FInfo.aspect_denominator = 1;
    FInfo.colorspace = TH_CS_UNSPECIFIED;
    FInfo.pixel_fmt = TH_PF_420;
    FInfo.target_bitrate =
        static_cast<int>(std::clamp<int64_t>(int64_t{settings.Bitrate} * 1000, INT_MIN, INT_MAX));
    FInfo.quality = settings.Quality;
}

void tOggTheoraCodec::SetControl(int request, int32_t value) {
    (void)TheoraLib.th_encode_ctl(FEncoder.get(), request, &value, sizeof(value));
}

void tOggTheoraCodec::ApplyControls(bool fasterMode) {
    constexpr int32_t AllRateFlags =
        TH_RATECTL_DROP_FRAMES | TH_RATECTL_CAP_OVERFLOW | TH_RATECTL_CAP_UNDERFLOW;
    SetControl(TH_ENCCTL_SET_RATE_FLAGS, FSettings.DropFrames ? AllRateFlags : 0);
    SetControl(TH_ENCCTL_SET_KEYFRAME_FREQUENCY_FORCE, FSettings.AutoKeyframeMax);
    // Speed level 0 is the slowest and best; libtheora's own default is faster than that.
    int32_t speedLevel = 0;
    if (fasterMode) {
        (void)TheoraLib.th_encode_ctl(FEncoder.get(), TH_ENCCTL_GET_SPLEVEL_MAX, &speedLevel,
                                      sizeof(speedLevel));
        speedLevel = std::max(speedLevel, 0);
    }
    SetControl(TH_ENCCTL_SET_SPLEVEL, speedLevel);
}

void tOggTheoraCodec::FillComments() {
    TheoraLib.th_comment_clear(&FComment);
    TheoraLib.th_comment_init(&FComment);
    AddTag(FComment, "Encoder", EncoderName);
    AddTag(FComment, "Encoder-URL", EncoderUrl);
    for (const std::string& entry : FComments) {
        const size_t separator = entry.find('=');
        AddTag(FComment, entry.substr(0, separator),
               separator == std::string::npos ? std::string() : entry.substr(separator + 1));
    }
}

bool tOggTheoraCodec::WriteHeaders() {
    ogg_packet packet;
    int result;
    while ((result = TheoraLib.th_encode_flushheader(FEncoder.get(), &FComment, &packet)) > 0) {
        if (!FOutput->SubmitPacket(FStreamIndex, packet)) return false;
    }
    return result == 0;
}

void tOggTheoraCodec::AllocatePlanes() {
    const int width = FSettings.Width;
    const int height = FSettings.Height;
    const int sizes[3][2] = {{width, height}, {width / 2, height / 2}, {width / 2, height / 2}};
    for (int i = 0; i < 3; ++i) {
        const auto [planeWidth, planeHeight] = sizes[i];
        // Not zeroed: RGB2YUV writes every byte of each frame.
        FPlaneData[i] = std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(planeWidth) *
                                                                  planeHeight);
        FPlanes[i] = {planeWidth, planeHeight, planeWidth, FPlaneData[i].get()};
    }
}

void tOggTheoraCodec::FreePlanes() {
    for (int i = 0; i < 3; ++i) {
        FPlanes[i] = {};
        FPlaneData[i].reset();
    }
}

bool tOggTheoraCodec::EncodeRGB(const uint8_t* frame, int32_t frameStride, bool last) {
    if (!FActive || !frame) return false;
    TheoraLib.RGB2YUV(frame, FPlanes[0].width, FPlanes[0].height, FPlanes[0].data, FPlanes[1].data,
                      FPlanes[2].data, frameStride, FPlanes[0].stride);
    return EncodePlanes(FPlanes[0].data, FPlanes[1].data, last, FPlanes[1].stride,
                        FPlanes[0].stride, FPlanes[2].data);
}

bool tOggTheoraCodec::EncodeFrame(const uint8_t* frame, int32_t frameStride, TFrameFormat format,
                                  bool last) {
    if (format == TFrameFormat::Bgrx) return EncodeRGB(frame, frameStride, last);
    if (!FActive || !frame) return false;
    const TI420Layout layout = PackedI420Layout(frameStride, FPlanes[0].height);
    return EncodePlanes(frame, frame + layout.CbOffset, last, int32_t(layout.ChromaStride),
                        frameStride, frame + layout.CrOffset);
}

bool tOggTheoraCodec::EncodePlanes(const uint8_t* yData, const uint8_t* cbData, bool last,
                                   int32_t chromaStride, int32_t yStride, const uint8_t* crData) {
    if (!FActive || !yData || !cbData || !crData) return false;
    // libtheora only reads the image; its buffer type is not const.
    th_ycbcr_buffer image;
    image[0] = {FPlanes[0].width, FPlanes[0].height, yStride, const_cast<uint8_t*>(yData)};
    image[1] = {FPlanes[1].width, FPlanes[1].height, chromaStride, const_cast<uint8_t*>(cbData)};
    image[2] = {FPlanes[2].width, FPlanes[2].height, chromaStride, const_cast<uint8_t*>(crData)};
    if (TheoraLib.th_encode_ycbcr_in(FEncoder.get(), image) != 0) return false;
    ogg_packet packet;
    for (;;) {
        const int result = TheoraLib.th_encode_packetout(FEncoder.get(), last ? 1 : 0, &packet);
        if (result < 0) return false;
        if (result == 0) return true;
        if (!SubmitFramePacket(packet)) return false;
    }
}

bool tOggTheoraCodec::SubmitFramePacket(const ogg_packet& packet) {
    if (!SubmitHeld(false)) return false;
    if (packet.e_o_s) {
        // Already the end: nothing to hold it back for.
        if (!FOutput->SubmitPacket(FStreamIndex, packet, GranuleTime, this)) return false;
        FlushWhenDue();
        return true;
    }
    // libtheora's packet memory is only valid until its next call.
    FHeldBytes.assign(packet.packet, packet.packet + packet.bytes);
    FHeld = packet;
    FHolding = true;
    return true;
}

bool tOggTheoraCodec::SubmitHeld(bool endOfStream) {
    if (!FHolding) return true;
    FHolding = false;
    FHeld.packet = FHeldBytes.data();
    FHeld.e_o_s = endOfStream ? 1 : 0;
    if (!FOutput->SubmitPacket(FStreamIndex, FHeld, GranuleTime, this)) return false;
    FlushWhenDue();
    return true;
}

void tOggTheoraCodec::FlushWhenDue() {
    const int32_t pending = FOutput->PendingPackets(FStreamIndex);
    if (pending <= 0) {
        FFramesSinceFlush = 0;
        return;
    }
    ++FFramesSinceFlush;
    if (FFramesSinceFlush >= FrameRate() || pending >= MaxPendingPackets) {
        bool pageOut = false;
        (void)FOutput->FlushStream(FStreamIndex, &pageOut);
        if (pageOut) FFramesSinceFlush = 0;
    }
}

double tOggTheoraCodec::FrameRate() const {
    if (FInfo.fps_denominator == 0) return 15.0;
    return static_cast<double>(FInfo.fps_numerator) / static_cast<double>(FInfo.fps_denominator);
}

double tOggTheoraCodec::GranuleTime(void* codec, ogg_int64_t granulePos) {
    const auto* self = static_cast<const tOggTheoraCodec*>(codec);
    return self->FEncoder ? TheoraLib.th_granule_time(self->FEncoder.get(), granulePos) : 0.0;
}

void tOggTheoraCodec::Finish() {
    if (FOutput && FStreamIndex >= 0 && FActive) {
        // Finish runs in destructors: a page that finds no memory is lost, nothing escapes.
        try {
            (void)SubmitHeld(true);
        } catch (const std::exception&) {
        }
        (void)FOutput->FlushStream(FStreamIndex);
        FOutput->ForgetTimeFunc(FStreamIndex);
        FComments.clear();
    }
    FHolding = false;
    FStreamIndex = -1;
    FOutput = nullptr;
    FActive = false;
    FFramesSinceFlush = 0;
    FreePlanes();
    if (!FLibraryReady) return;
    FEncoder.reset();
    TheoraLib.th_info_clear(&FInfo);
    TheoraLib.th_comment_clear(&FComment);
}
