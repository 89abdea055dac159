#include "tests/engine/theora_test_support.h"

#include <memory>

std::vector<uint8_t> QuadrantFrame(int frameWidth, int frameHeight, int pictureWidth,
                                   int pictureHeight, const TColour (&quadrants)[4]) {
    std::vector<uint8_t> frame(static_cast<size_t>(frameWidth) * frameHeight * 4, 0);
    const int top = frameHeight - pictureHeight;
    for (int row = 0; row < pictureHeight; ++row) {
        for (int column = 0; column < pictureWidth; ++column) {
            const int quadrant =
                (row < pictureHeight / 2 ? 0 : 2) + (column < pictureWidth / 2 ? 0 : 1);
            const TColour& colour = quadrants[quadrant];
            uint8_t* pixel = &frame[(static_cast<size_t>(top + row) * frameWidth + column) * 4];
            pixel[0] = colour.B;
            pixel[1] = colour.G;
            pixel[2] = colour.R;
        }
    }
    return frame;
}

void MarkFrame(std::vector<uint8_t>& frame, int frameWidth, int frameNumber, int topRow) {
    const uint8_t value = frameNumber % 2 ? 255 : 0;
    for (int row = topRow; row < topRow + 8; ++row) {
        uint8_t* pixels = &frame[static_cast<size_t>(row) * frameWidth * 4];
        for (int byte = 0; byte < 8 * 4; ++byte) pixels[byte] = value;
    }
}

TTheoraSettings VideoSettings(int frameWidth, int frameHeight) {
    TTheoraSettings settings;
    settings.Width = frameWidth;
    settings.Height = frameHeight;
    settings.FPS = 25;
    settings.Bitrate = 0;
    settings.Quality = 48;
    settings.DropFrames = false;
    settings.AutoKeyframeMax = 256;
    return settings;
}

namespace {

struct TSetupFree {
    void operator()(th_setup_info* setup) const { th_setup_free(setup); }
};
struct TDecoderFree {
    void operator()(th_dec_ctx* decoder) const { th_decode_free(decoder); }
};

// Reads the three header packets into stream; the setup they carry, or nullptr.
std::unique_ptr<th_setup_info, TSetupFree> ReadHeaders(std::vector<std::vector<uint8_t>>& packets,
                                                       TTheoraStream& stream) {
    th_comment comment;
    th_comment_init(&comment);
    th_setup_info* setup = nullptr;
    int read = 0;
    for (size_t i = 0; i < packets.size() && i < 3; ++i, ++read) {
        ogg_packet packet{};
        packet.packet = packets[i].data();
        packet.bytes = static_cast<long>(packets[i].size());
        packet.b_o_s = i == 0;
        packet.packetno = static_cast<ogg_int64_t>(i);
        if (th_decode_headerin(&stream.Info, &comment, &setup, &packet) <= 0) break;
    }
    stream.HeadersRead = read == 3 && setup != nullptr;
    for (int i = 0; i < comment.comments; ++i) {
        stream.Comments.emplace_back(comment.user_comments[i], comment.comment_lengths[i]);
    }
    th_comment_clear(&comment);
    return std::unique_ptr<th_setup_info, TSetupFree>(setup);
}

}  // namespace

TTheoraStream ReadTheoraStream(const std::vector<uint8_t>& bytes) {
    TTheoraStream stream;
    th_info_init(&stream.Info);
    TParsedOgg parsed = ParseOgg(bytes);
    if (!parsed.Intact || parsed.Pages.empty()) return stream;
    std::vector<std::vector<uint8_t>>& packets = parsed.Packets[parsed.Pages.front().Serial];
    auto setup = ReadHeaders(packets, stream);
    if (!stream.HeadersRead) return stream;
    stream.DataPackets = packets.size() - 3;
    std::unique_ptr<th_dec_ctx, TDecoderFree> decoder(th_decode_alloc(&stream.Info, setup.get()));
    // Header pages carry granule position 0; every frame has a later one.
    int64_t framesBefore = 0;
    for (const TParsedOgg::TPage& page : parsed.Pages) {
        if (page.GranulePos <= 0) {
            if (stream.FramesPerPage.empty()) ++stream.HeaderPages;
            continue;
        }
        const int64_t frames = th_granule_frame(decoder.get(), page.GranulePos) + 1;
        stream.FramesPerPage.push_back(frames - framesBefore);
        framesBefore = frames;
    }
    return stream;
}

bool TSmallVideo::Start(TTheoraSettings settings) {
    return Codec.Init(&Output, settings, Width, Height, false);
}

std::vector<uint8_t> TSmallVideo::Finish() {
    Codec.Finish();
    Output.WritePages(0, 0);
    return Output.Bytes();
}
