#pragma once
// tOggVorbisCodec: the Vorbis encoder of one audio stream. It sets libvorbis up in
// variable-bitrate quality mode, writes the three header packets into its own logical stream
// of an Ogg output, turns interleaved 16-bit PCM into Vorbis packets for that stream, and
// forces the stream's partial page out at least once per second of audio (or 30 packets), so
// a listener never waits long for the sound already encoded.
//
// Threads: construction, AddComment and Init run on the owner's thread before the live
// encoder's thread starts; Encode runs on the live encoder's thread only; Finish and
// destruction after that thread has ended. The output's own lock guards its page queues.
//
// libvorbis is reached only through VorbisLib, bound for the codec's whole life.

#include <ogg/ogg.h>
#include <vorbis/codec.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/encoder_identity.h"
#include "engine/library_binder.h"
#include "engine/ogg_io_base.h"
#include "engine/vorbis_library.h"

// The libvorbis encoder state of one stream: info, dsp state, block and comment. Each part is
// cleared only if it was set up, newest first (comment, block, dsp state, info). libvorbis
// keeps pointers between the parts, so the bundle never moves.
class TVorbisEncoderState {
  public:
    TVorbisEncoderState() = default;
    ~TVorbisEncoderState() { Clear(); }
    TVorbisEncoderState(const TVorbisEncoderState&) = delete;
    TVorbisEncoderState& operator=(const TVorbisEncoderState&) = delete;

    // Clears what an earlier Setup left, then sets up info, dsp state and block for the given
    // channel count, rate (Hz) and quality (-0.1 .. 1.0). False at the first libvorbis error;
    // the parts set up so far stay until Clear.
    bool Setup(int32_t channels, int32_t rateHz, float quality);
    // Replaces the comment structure with the tags, in order; each entry is split at its
    // first "=" into tag and value.
    void SetComments(const std::vector<std::string>& entries);
    // The identification, comment and setup header packets (owned by libvorbis).
    bool HeaderOut(std::array<ogg_packet, 3>& headers);
    void Clear();

    bool Ready() const { return FBlockReady; }
    int32_t Channels() const { return FInfo.channels; }
    vorbis_dsp_state& Dsp() { return FDsp; }
    vorbis_block& Block() { return FBlock; }

  private:
    vorbis_info FInfo{};
    vorbis_dsp_state FDsp{};
    vorbis_block FBlock{};
    vorbis_comment FComment{};
    bool FInfoReady = false;
    bool FDspReady = false;
    bool FBlockReady = false;
    bool FCommentReady = false;
};

class tOggVorbisCodec final {
  public:
    // Pending packets that force a page out even before a second of audio has gathered.
    static constexpr int32_t MaxPendingPackets = 30;

    // Binds libvorbis; without it Init always fails.
    tOggVorbisCodec();
    // Finish, then the binding is released.
    ~tOggVorbisCodec();
    tOggVorbisCodec(const tOggVorbisCodec&) = delete;
    tOggVorbisCodec& operator=(const tOggVorbisCodec&) = delete;

    // Adds name=value to the comment header of the next Init.
    void AddComment(const std::string& name, const std::string& value);

    // Drops any earlier stream, sets the encoder up (channels of the PCM to come, quality on
    // libvorbis's scale, rate in Hz), adds a logical stream to output (not owned; it must
    // outlive the codec's use of it) and writes the header packets onto pages of their own.
    // False when any step fails; the codec is then inactive with its state cleared.
    bool Init(tOggIOBase* output, int32_t channels, double quality, int32_t rateHz);

    // Encodes frameCount sample frames of interleaved signed 16-bit PCM (one sample per
    // channel each) and submits the packets that come out. last ends the stream: the
    // encoder pads it out and no later Encode is taken. False when inactive, after the end,
    // for a negative count or missing samples, or on a libvorbis or output failure (what was
    // already submitted stays).
    bool Encode(const int16_t* samples, int32_t frameCount, bool last);

    // Ends the stream (unless Encode already did), so every sample frame encoded reaches the
    // output, puts the last page into the output's queue and releases the encoder state. Safe
    // at any time, also repeatedly.
    void Finish();

    bool IsActive() const { return FActive; }

  private:
    // The time callback given with every audio packet: seconds of a granule position.
    static double GranuleTime(void* codec, ogg_int64_t granulePos);

    bool SubmitHeaders();
    bool EndInput();
    void CopyToPlanes(float** planes, const int16_t* samples, int32_t frameCount) const;
    bool SubmitBlocks();
    // Forces a page out once a second of audio or MaxPendingPackets packets are pending.
    bool FlushWhenDue(int32_t frameCount);

    TLibraryUse FVorbisUse{BindVorbis, UnbindVorbis};  // first: released after the state
    TVorbisEncoderState FState;
    bool FActive = false;
    bool FEnded = false;                 // the last block was written; no more input
    tOggIOBase* FOutput = nullptr;       // not owned; null while inactive
    int FStreamIndex = -1;               // in FOutput; -1 when none
    int32_t FFlushInterval = 0;          // sample frames between forced flushes: the rate
    int32_t FSamplesSinceFlush = 0;      // sample frames encoded since the last forced flush
    std::vector<std::string> FComments;  // "name=value", in order of AddComment
};
