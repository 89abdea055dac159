// The Vorbis encoder against a recording output: refusal while inactive, the header pages and
// the comment header as a real Vorbis reader sees them, the sample layout handed to libvorbis,
// and the forced page flushes that bound the delay of a live stream.

#include "engine/ogg_vorbis_codec.h"

#include <gtest/gtest.h>
#include <vorbis/codec.h>

#include <cmath>
#include <string>
#include <vector>

#include "tests/engine/audio_signal.h"
#include "tests/engine/ogg_test_support.h"

namespace {

constexpr double DefaultQuality = -0.06;

// A sine per channel in chunks of chunkFrames, as the live encoder feeds it.
bool EncodeTone(tOggVorbisCodec& codec, int rate, const std::vector<double>& freqs, double seconds,
                int chunkFrames) {
    const int frames = static_cast<int>(rate * seconds);
    const std::vector<int16_t> samples =
        audio_signal::ToInt16(audio_signal::Sines(rate, frames, freqs));
    const size_t channels = freqs.size();
    for (int at = 0; at < frames; at += chunkFrames) {
        const int count = std::min(chunkFrames, frames - at);
        if (!codec.Encode(samples.data() + static_cast<size_t>(at) * channels, count, false))
            return false;
    }
    return true;
}

// Every page the output wrote, after forcing out the ones still queued; one entry per page.
const std::vector<std::vector<uint8_t>>& AllPages(TRecordingOutput& output) {
    output.WritePages(0, 0);
    return output.Writes;
}

std::vector<uint8_t> AllBytes(TRecordingOutput& output) {
    output.WritePages(0, 0);
    return output.Bytes();
}

// Packets that end on the page: lacing values below 255.
int PacketsEndingOn(const std::vector<uint8_t>& page) {
    const int segments = page[26];
    int packets = 0;
    for (int i = 0; i < segments; ++i) packets += page[27 + i] < 255 ? 1 : 0;
    return packets;
}

ogg_int64_t PageGranule(const std::vector<uint8_t>& page) {
    ogg_int64_t granule = 0;
    for (int i = 7; i >= 0; --i) granule = (granule << 8) | page[6 + i];
    return granule;
}

// The comments and the format a Vorbis reader takes from the three header packets.
struct THeaderView {
    bool Valid = false;
    int Channels = 0;
    long Rate = 0;
    std::vector<std::string> Comments;
};

THeaderView ReadHeaders(const std::vector<std::vector<uint8_t>>& packets) {
    THeaderView view;
    if (packets.size() < 3) return view;
    vorbis_info info;
    vorbis_comment comment;
    vorbis_info_init(&info);
    vorbis_comment_init(&comment);
    view.Valid = true;
    for (int i = 0; i < 3; ++i) {
        std::vector<uint8_t> bytes = packets[i];
        ogg_packet packet = MakePacket(bytes, 0, i);
        view.Valid = view.Valid && vorbis_synthesis_headerin(&info, &comment, &packet) == 0;
    }
    if (view.Valid) {
        view.Channels = info.channels;
        view.Rate = info.rate;
        for (int i = 0; i < comment.comments; ++i)
            view.Comments.emplace_back(comment.user_comments[i]);
    }
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    return view;
}

TEST(OggVorbisCodec, RefusesDataWhileInactive) {
    const std::vector<int16_t> samples(2048);
    TRecordingOutput output;
    tOggVorbisCodec codec;
    EXPECT_FALSE(codec.IsActive());
    EXPECT_FALSE(codec.Encode(samples.data(), 1024, false));
    EXPECT_FALSE(codec.Encode(samples.data(), 0, true));

    // Impossible channel counts, rates and qualities fail before any stream exists.
    const struct {
        int32_t Channels;
        double Quality;
        int32_t Rate;
    } failures[] = {{0, DefaultQuality, 22050},   {-1, DefaultQuality, 22050},
                    {256, DefaultQuality, 22050}, {1, DefaultQuality, 0},
                    {2, DefaultQuality, -44100},  {2, -0.2, 44100},
                    {2, std::nan(""), 44100},     {2, 1e300, 44100}};
    for (const auto& failure : failures) {
        EXPECT_FALSE(codec.Init(&output, failure.Channels, failure.Quality, failure.Rate))
            << failure.Channels << " channels, quality " << failure.Quality << ", " << failure.Rate
            << " Hz";
        EXPECT_FALSE(codec.IsActive());
        EXPECT_FALSE(codec.Encode(samples.data(), 1024, false));
    }
    EXPECT_FALSE(codec.Init(nullptr, 2, DefaultQuality, 44100));
    EXPECT_EQ(output.StreamCount(), 0);
    EXPECT_TRUE(AllPages(output).empty());
}

TEST(OggVorbisCodec, FinishIsSafeRepeatedlyAndInitMayFollow) {
    TRecordingOutput output;
    tOggVorbisCodec codec;
    codec.Finish();
    ASSERT_TRUE(codec.Init(&output, 1, DefaultQuality, 22050));
    ASSERT_TRUE(EncodeTone(codec, 22050, {440}, 0.5, 1470));
    codec.Finish();
    codec.Finish();
    EXPECT_FALSE(codec.IsActive());
    EXPECT_FALSE(EncodeTone(codec, 22050, {440}, 0.1, 1470));

    // A new Init starts a second, complete stream.
    ASSERT_TRUE(codec.Init(&output, 2, DefaultQuality, 44100));
    ASSERT_TRUE(EncodeTone(codec, 44100, {440, 880}, 0.5, 2940));
    codec.Finish();
    TParsedOgg parsed = ParseOgg(AllBytes(output));
    EXPECT_TRUE(parsed.Intact);
    ASSERT_EQ(parsed.Packets.size(), 2u);
    for (const auto& [serial, packets] : parsed.Packets) {
        EXPECT_TRUE(ReadHeaders(packets).Valid);
        EXPECT_GT(packets.size(), 3u);
    }
}

TEST(OggVorbisCodec, HeadersLeaveOnPagesOfTheirOwnWithCommentsInOrder) {
    TRecordingOutput output;
    tOggVorbisCodec codec;
    codec.AddComment("Name", "Late Show");
    codec.AddComment("Description", "a = b");
    codec.AddComment("Genre", " Jazz ");
    codec.AddComment("URL", "http://radio.example/?x=1");
    ASSERT_TRUE(codec.Init(&output, 1, DefaultQuality, 22050));
    EXPECT_TRUE(codec.IsActive());

    // Before any audio, all three headers are on finished pages: nothing of them is pending.
    EXPECT_EQ(output.PendingPackets(0), 0);
    TParsedOgg parsed = ParseOgg(AllBytes(output));
    EXPECT_TRUE(parsed.Intact);
    ASSERT_EQ(parsed.Packets.size(), 1u);
    const auto& packets = parsed.Packets.begin()->second;
    ASSERT_EQ(packets.size(), 3u);
    ASSERT_GE(parsed.Pages.size(), 2u);
    EXPECT_TRUE(parsed.Pages[0].IsBOS);

    THeaderView view = ReadHeaders(packets);
    ASSERT_TRUE(view.Valid);
    EXPECT_EQ(view.Channels, 1);
    EXPECT_EQ(view.Rate, 22050);
    const std::vector<std::string> expected = {"Encoder=Kestrova Ogg Zizizada",
                                               std::string("Encoder-Url=") + EncoderUrl,
                                               "Name=Late Show",
                                               "Description=a = b",
                                               "Genre= Jazz ",
                                               "URL=http://radio.example/?x=1"};
    EXPECT_EQ(view.Comments, expected);
}

// Watches what the codec hands to libvorbis, through the run-time function table.
class TAnalysisSpy {
  public:
    TAnalysisSpy() {
        RealBuffer = VorbisLib.vorbis_analysis_buffer;
        RealWrote = VorbisLib.vorbis_analysis_wrote;
        VorbisLib.vorbis_analysis_buffer = Buffer;
        VorbisLib.vorbis_analysis_wrote = Wrote;
        Counts.clear();
        Planes.clear();
    }
    ~TAnalysisSpy() {
        VorbisLib.vorbis_analysis_buffer = RealBuffer;
        VorbisLib.vorbis_analysis_wrote = RealWrote;
    }
    TAnalysisSpy(const TAnalysisSpy&) = delete;
    TAnalysisSpy& operator=(const TAnalysisSpy&) = delete;

    static inline std::vector<int> Counts;                 // every count written, in order
    static inline std::vector<std::vector<float>> Planes;  // what each channel received

  private:
    static float** Buffer(vorbis_dsp_state* dsp, int frames) {
        LastPlanes = RealBuffer(dsp, frames);
        return LastPlanes;
    }
    static int Wrote(vorbis_dsp_state* dsp, int frames) {
        Counts.push_back(frames);
        Planes.resize(static_cast<size_t>(dsp->vi->channels));
        const int channels = frames > 0 ? dsp->vi->channels : 0;
        for (int c = 0; c < channels; ++c) {
            Planes[c].insert(Planes[c].end(), LastPlanes[c], LastPlanes[c] + frames);
        }
        return RealWrote(dsp, frames);
    }

    static inline decltype(VorbisLib.vorbis_analysis_buffer) RealBuffer = nullptr;
    static inline decltype(VorbisLib.vorbis_analysis_wrote) RealWrote = nullptr;
    static inline float** LastPlanes = nullptr;
};

TEST(OggVorbisCodec, HandsLibvorbisOnePlanePerChannelAndEndsTheStreamOnlyWhenAsked) {
    TRecordingOutput output;
    tOggVorbisCodec codec;
    ASSERT_TRUE(codec.Init(&output, 2, DefaultQuality, 44100));
    TAnalysisSpy spy;

    const std::vector<int16_t> block = {-32768, 32767, 1, -1};  // L0 R0 L1 R1
    ASSERT_TRUE(codec.Encode(block.data(), 2, false));
    ASSERT_EQ(TAnalysisSpy::Planes.size(), 2u);
    EXPECT_EQ(TAnalysisSpy::Planes[0], (std::vector<float>{-1.0f, 1.0f / 32768}));
    EXPECT_EQ(TAnalysisSpy::Planes[1], (std::vector<float>{32767.0f / 32768, -1.0f / 32768}));

    // No frames, a negative count or missing samples never reach libvorbis: a count of 0
    // there would end the stream.
    EXPECT_TRUE(codec.Encode(block.data(), 0, false));
    EXPECT_FALSE(codec.Encode(block.data(), -1, false));
    EXPECT_FALSE(codec.Encode(nullptr, 2, false));
    EXPECT_EQ(TAnalysisSpy::Counts, (std::vector<int>{2}));
    ASSERT_TRUE(EncodeTone(codec, 44100, {440, 880}, 0.5, 4410));

    // The end is written once; nothing is taken after it.
    ASSERT_TRUE(codec.Encode(nullptr, 0, true));
    EXPECT_EQ(TAnalysisSpy::Counts.back(), 0);
    const size_t writes = TAnalysisSpy::Counts.size();
    EXPECT_FALSE(codec.Encode(block.data(), 2, false));
    EXPECT_FALSE(codec.Encode(block.data(), 0, true));
    EXPECT_EQ(TAnalysisSpy::Counts.size(), writes);
    EXPECT_TRUE(codec.IsActive());
    codec.Finish();
    EXPECT_EQ(TAnalysisSpy::Counts.size(), writes);

    // The stream's last page carries the end-of-stream flag.
    const auto& pages = AllPages(output);
    ASSERT_FALSE(pages.empty());
    EXPECT_NE(pages.back()[5] & 0x04, 0);
}

TEST(OggVorbisCodec, FinishEndsTheStreamWithEveryFrameEncoded) {
    // Not a whole number of blocks or chunks, so the look-ahead holds some audio back.
    constexpr int Frames = 28000;
    TRecordingOutput output;
    tOggVorbisCodec codec;
    ASSERT_TRUE(codec.Init(&output, 1, DefaultQuality, 22050));
    ASSERT_TRUE(EncodeTone(codec, 22050, {440}, Frames / 22050.0, 1470));
    codec.Finish();
    const auto& pages = AllPages(output);
    ASSERT_FALSE(pages.empty());
    EXPECT_EQ(PageGranule(pages.back()), Frames);
    for (size_t i = 0; i < pages.size(); ++i) {
        EXPECT_EQ((pages[i][5] & 0x04) != 0, i + 1 == pages.size()) << "page " << i;
    }
}

// The audio pages (headers left out) of a mono tone encoded in chunks of chunkFrames.
std::vector<std::vector<uint8_t>> EncodedPages(int rate, double quality, double seconds,
                                               int chunkFrames) {
    TRecordingOutput output;
    tOggVorbisCodec codec;
    if (!codec.Init(&output, 1, quality, rate)) return {};
    if (!EncodeTone(codec, rate, {440}, seconds, chunkFrames)) return {};
    std::vector<std::vector<uint8_t>> pages;
    for (const auto& page : AllPages(output)) {
        if (PageGranule(page) > 0) pages.push_back(page);
    }
    return pages;
}

// The largest distance between the granule positions of successive pages, from 0.
ogg_int64_t LargestGranuleStep(const std::vector<std::vector<uint8_t>>& pages) {
    ogg_int64_t previous = 0, largest = 0;
    for (const auto& page : pages) {
        largest = std::max(largest, PageGranule(page) - previous);
        previous = PageGranule(page);
    }
    return largest;
}

TEST(OggVorbisCodec, LiveStreamPutsAPageOutAtLeastEverySecond) {
    // The live case: 22050 Hz mono, fed a fifteenth of a second at a time.
    const auto pages = EncodedPages(22050, DefaultQuality, 5.0, 22050 / 15);
    ASSERT_GE(pages.size(), 5u);
    EXPECT_LE(LargestGranuleStep(pages), 22050);

    // Few large packets: the second of audio decides. Packets are whole blocks, so the page
    // may come up to half a long block (at most 4096 frames) late.
    const auto sparse = EncodedPages(48000, -0.1, 5.0, 480);
    ASSERT_GE(sparse.size(), 4u);
    EXPECT_LE(LargestGranuleStep(sparse), 48000 + 4096);
}

TEST(OggVorbisCodec, ThirtyPendingPacketsForceAPage) {
    // Chunks small enough to finish at most one packet each, so the count is exact.
    const auto pages = EncodedPages(22050, DefaultQuality, 3.0, 256);
    ASSERT_GE(pages.size(), 3u);
    for (const auto& page : pages) EXPECT_LE(PacketsEndingOn(page), 30);
}

}  // namespace
