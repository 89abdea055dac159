#include "engine/ogg_vorbis_codec.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>

bool TVorbisEncoderState::Setup(int32_t channels, int32_t rateHz, float quality) {
    Clear();
    VorbisLib.vorbis_info_init(&FInfo);
    FInfoReady = true;
    if (VorbisLib.vorbis_encode_init_vbr(&FInfo, channels, rateHz, quality) != 0) return false;
    if (VorbisLib.vorbis_analysis_init(&FDsp, &FInfo) != 0) return false;
    FDspReady = true;
    if (VorbisLib.vorbis_block_init(&FDsp, &FBlock) != 0) return false;
    FBlockReady = true;
    return true;
}

void TVorbisEncoderState::SetComments(const std::vector<std::string>& entries) {
    if (FCommentReady) VorbisLib.vorbis_comment_clear(&FComment);
    VorbisLib.vorbis_comment_init(&FComment);
    FCommentReady = true;
    for (const std::string& entry : entries) {
        const size_t split = entry.find('=');
        const std::string tag = entry.substr(0, split);
        const std::string value = split == std::string::npos ? "" : entry.substr(split + 1);
        VorbisLib.vorbis_comment_add_tag(&FComment, tag.c_str(), value.c_str());
    }
}

bool TVorbisEncoderState::HeaderOut(std::array<ogg_packet, 3>& headers) {
    if (!FBlockReady || !FCommentReady) return false;
    return VorbisLib.vorbis_analysis_headerout(&FDsp, &FComment, &headers[0], &headers[1],
                                               &headers[2]) == 0;
}

void TVorbisEncoderState::Clear() {
    if (FCommentReady) VorbisLib.vorbis_comment_clear(&FComment);
    if (FBlockReady) VorbisLib.vorbis_block_clear(&FBlock);
    if (FDspReady) VorbisLib.vorbis_dsp_clear(&FDsp);
    if (FInfoReady) VorbisLib.vorbis_info_clear(&FInfo);
    FCommentReady = FBlockReady = FDspReady = FInfoReady = false;
}

tOggVorbisCodec::tOggVorbisCodec() = default;

tOggVorbisCodec::~tOggVorbisCodec() {
    Finish();
}

void tOggVorbisCodec::AddComment(const std::string& name, const std::string& value) {
    FComments.push_back(name + "=" + value);
}

bool tOggVorbisCodec::Init(tOggIOBase* output, int32_t channels, double quality, int32_t rateHz) {
    if (!FVorbisUse.Ready()) return false;
    Finish();
    // A quality beyond float's range cannot even be handed to libvorbis.
    if (!output || !std::isfinite(quality) ||
        std::fabs(quality) > std::numeric_limits<float>::max()) {
        return false;
    }
    FFlushInterval = rateHz;
    if (!FState.Setup(channels, rateHz, static_cast<float>(quality))) {
        Finish();
        return false;
    }
    std::vector<std::string> entries = {std::string("Encoder=") + EncoderName,
                                        std::string("Encoder-Url=") + EncoderUrl};
    entries.insert(entries.end(), FComments.begin(), FComments.end());
    FState.SetComments(entries);
    FOutput = output;
    if (!SubmitHeaders()) {
        Finish();
        return false;
    }
    FActive = true;
    // The headers go out on pages of their own, so the first audio packet starts a new page.
    return FOutput->FlushStream(FStreamIndex);
}

bool tOggVorbisCodec::SubmitHeaders() {
    std::array<ogg_packet, 3> headers{};
    if (!FState.HeaderOut(headers)) return false;
    FStreamIndex = FOutput->AddStream();
    if (FStreamIndex < 0) return false;
    return std::all_of(headers.begin(), headers.end(), [this](const ogg_packet& header) {
        return FOutput->SubmitPacket(FStreamIndex, header);
    });
}

bool tOggVorbisCodec::Encode(const int16_t* samples, int32_t frameCount, bool last) {
    if (!FActive || FEnded || frameCount < 0) return false;
    vorbis_dsp_state& dsp = FState.Dsp();
    // A count of 0 is simply no input: writing 0 to libvorbis would end the stream.
    if (frameCount > 0) {
        if (!samples) return false;
        float** planes = VorbisLib.vorbis_analysis_buffer(&dsp, frameCount);
        if (!planes) return false;
        CopyToPlanes(planes, samples, frameCount);
        if (VorbisLib.vorbis_analysis_wrote(&dsp, frameCount) != 0) return false;
    }
    if (last && !EndInput()) return false;
    if (!SubmitBlocks()) return false;
    return FlushWhenDue(frameCount);
}

bool tOggVorbisCodec::EndInput() {
    // libvorbis pads the stream out once; input after that would corrupt it.
    FEnded = true;
    return VorbisLib.vorbis_analysis_wrote(&FState.Dsp(), 0) == 0;
}

void tOggVorbisCodec::CopyToPlanes(float** planes, const int16_t* samples,
                                   int32_t frameCount) const {
    const int32_t channels = FState.Channels();
    for (int32_t i = 0; i < frameCount; ++i) {
        for (int32_t c = 0; c < channels; ++c) {
            planes[c][i] = static_cast<float>(*samples++ / 32768.0);
        }
    }
}

bool tOggVorbisCodec::SubmitBlocks() {
    vorbis_dsp_state& dsp = FState.Dsp();
    vorbis_block& block = FState.Block();
    while (VorbisLib.vorbis_analysis_blockout(&dsp, &block) == 1) {
        if (VorbisLib.vorbis_analysis(&block, nullptr) != 0) return false;
        if (VorbisLib.vorbis_bitrate_addblock(&block) != 0) return false;
        ogg_packet packet;
        while (VorbisLib.vorbis_bitrate_flushpacket(&dsp, &packet) != 0) {
            if (!FOutput->SubmitPacket(FStreamIndex, packet, GranuleTime, this)) return false;
        }
    }
    return true;
}

bool tOggVorbisCodec::FlushWhenDue(int32_t frameCount) {
    const int32_t pending = FOutput->PendingPackets(FStreamIndex);
    if (pending == 0) {
        // The stream has just put a page out on its own.
        FSamplesSinceFlush = 0;
        return true;
    }
    // Saturates: after a failed flush the count keeps growing until a page comes out.
    FSamplesSinceFlush = static_cast<int32_t>(std::min<int64_t>(
        std::numeric_limits<int32_t>::max(), int64_t{FSamplesSinceFlush} + frameCount));
    if (FSamplesSinceFlush < FFlushInterval && pending < MaxPendingPackets) return true;
    bool pageOut = false;
    const bool flushed = FOutput->FlushStream(FStreamIndex, &pageOut);
    if (pageOut) FSamplesSinceFlush = 0;
    return flushed;
}

void tOggVorbisCodec::Finish() {
    if (FOutput && FStreamIndex >= 0 && FActive) {
        // Ending the stream gets the audio libvorbis still holds back for its look-ahead
        // (up to a few thousand sample frames) into packets; then the last page joins the
        // output's queue, marked as the end of the stream. Finish runs in destructors: a page
        // that finds no memory is lost, and nothing escapes.
        try {
            if (!FEnded && EndInput()) SubmitBlocks();
        } catch (const std::exception&) {
        }
        FOutput->FlushStream(FStreamIndex);
        FOutput->ForgetTimeFunc(FStreamIndex);
        FComments.clear();
    }
    FSamplesSinceFlush = 0;
    FStreamIndex = -1;
    FOutput = nullptr;
    FActive = false;
    FEnded = false;
    FState.Clear();
}

double tOggVorbisCodec::GranuleTime(void* codec, ogg_int64_t granulePos) {
    auto* self = static_cast<tOggVorbisCodec*>(codec);
    // A page forced out by the output after Finish has no state left to time it by.
    if (!self->FState.Ready()) return 0.0;
    return VorbisLib.vorbis_granule_time(&self->FState.Dsp(), granulePos);
}
