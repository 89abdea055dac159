#pragma once
// tOggTheoraCodec: one Theora video stream in an Ogg output. Init sets up libtheora's encoder
// from the Theora settings and writes the header packets into a logical stream of its own;
// each frame is then converted from 32-bit BGRx to 4:2:0 planes with planewright's RGB2YUV,
// (a frame that is already planar skips that), encoded, and its packets submitted to the output.
// The video stream is put onto a page at least every FrameRate() frames that have packets waiting,
// or when 30 packets wait.
//
// Threads: AddComment, Init and Finish run on the owner's thread while no frame is being
// encoded; EncodeRGB and EncodePlanes run on one thread at a time (the encoder worker). The
// output (not owned) must outlive the codec's last Finish.
//
// Failures are results: a failed Init leaves the codec inactive, and an inactive codec refuses
// every frame. Nothing is logged here.

#include <theora/theoraenc.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/encoder_identity.h"
#include "engine/library_binder.h"
#include "engine/ogg_io_base.h"
#include "settings/settings.h"
#include "video/frame_format.h"

class tOggTheoraCodec {
  public:
    // A forced page also comes out when this many packets wait in the stream.
    static constexpr int32_t MaxPendingPackets = 30;

    // Binds libtheora and planewright (LibraryReady() tells whether that worked).
    tOggTheoraCodec();
    // Finish, then releases the libraries.
    ~tOggTheoraCodec();
    tOggTheoraCodec(const tOggTheoraCodec&) = delete;
    tOggTheoraCodec& operator=(const tOggTheoraCodec&) = delete;

    // Adds the comment header entry name=value for the next Init.
    void AddComment(const std::string& name, const std::string& value);

    // Sets up the encoder for frames of settings.Width x settings.Height pixels (multiples of
    // 16) showing a picture of pictureWidth x pictureHeight pixels (sizes below 1 mean the
    // whole frame) in the first columns of the last rows. Adds a stream to output and writes
    // the headers onto pages of their own. fasterMode picks the encoder's fastest speed level,
    // otherwise the slowest (best quality). False, and inactive, when anything fails.
    bool Init(tOggIOBase* output, TTheoraSettings settings, int32_t pictureWidth,
              int32_t pictureHeight, bool fasterMode);

    // Encodes one frame of Width x Height 32-bit pixels (blue, green, red, unused), top row
    // first, rows frameStride bytes apart. last marks the end of the stream. False when the
    // codec is inactive or encoding fails.
    bool EncodeRGB(const uint8_t* frame, int32_t frameStride, bool last);
    // Encodes one frame as the video processor hands it out: BGRX as EncodeRGB takes it, or
    // packed I420 (Y rows frameStride bytes apart, then the Cb and Cr planes at half the stride),
    // which goes to the encoder as it is.
    bool EncodeFrame(const uint8_t* frame, int32_t frameStride, TFrameFormat format, bool last);
    // Encodes one frame given as planes of the sizes Planes() holds; Cb and Cr share
    // chromaStride.
    bool EncodePlanes(const uint8_t* yData, const uint8_t* cbData, bool last, int32_t chromaStride,
                      int32_t yStride, const uint8_t* crData);

    // Frames per second of the parameter block; 15.0 when it holds none, which is the case
    // while the stream runs (the block is released once the encoder exists).
    double FrameRate() const;

    // Ends the stream (its last frame packet carries the end mark, unless EncodeRGB's last
    // did so), puts the last partial page into the output and releases the encoder and the
    // planes. Safe at any time, also repeatedly.
    void Finish();

    bool LibraryReady() const { return FLibraryReady; }
    // Init succeeded and Finish has not run since: frames are accepted.
    bool Active() const { return FActive; }
    int StreamIndex() const { return FStreamIndex; }
    // The Y, Cb and Cr work buffers' sizes and strides (all zero while inactive).
    const th_ycbcr_buffer& Planes() const { return FPlanes; }

  private:
    struct TEncoderFree {
        void operator()(th_enc_ctx* encoder) const;
    };

    static double GranuleTime(void* codec, ogg_int64_t granulePos);

    void FillInfo(const TTheoraSettings& settings, int32_t pictureWidth, int32_t pictureHeight);
    void ApplyControls(bool fasterMode);
    void SetControl(int request, int32_t value);
    void FillComments();
    bool WriteHeaders();
    void AllocatePlanes();
    void FreePlanes();
    // Forces the stream's partial page out when enough frames or packets wait.
    void FlushWhenDue();
    // Frame packets go out one behind: the newest is held until the next one comes, so the
    // stream's last packet can still be marked as its end when the run stops.
    bool SubmitFramePacket(const ogg_packet& packet);
    bool SubmitHeld(bool endOfStream);

    TLibraryUse FTheoraUse;  // first member: bound before anything below uses the library
    const bool FLibraryReady;
    bool FActive = false;
    tOggIOBase* FOutput = nullptr;  // not owned
    int FStreamIndex = -1;
    TTheoraSettings FSettings;
    std::vector<std::string> FComments;  // "name=value"
    th_info FInfo{};
    std::unique_ptr<th_enc_ctx, TEncoderFree> FEncoder;  // released by Finish
    th_comment FComment{};
    th_ycbcr_buffer FPlanes{};
    std::unique_ptr<uint8_t[]> FPlaneData[3];  // owners of FPlanes[i].data
    int32_t FFramesSinceFlush = 0;
    bool FHolding = false;  // FHeld waits to be submitted
    ogg_packet FHeld{};     // its bytes live in FHeldBytes
    std::vector<uint8_t> FHeldBytes;
};
