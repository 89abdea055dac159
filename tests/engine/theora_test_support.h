#pragma once
// Frames, settings and stream readers for the Theora encoder tests.

#include <theora/theoradec.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/ogg_theora_codec.h"
#include "settings/settings.h"
#include "tests/engine/ogg_test_support.h"

struct TColour {
    uint8_t R, G, B;
};

// A frame of frameWidth x frameHeight 32-bit pixels (blue, green, red, unused), top row first,
// black but for a picture of pictureWidth x pictureHeight in its first columns and last rows,
// cut into four quadrants coloured (in reading order) by quadrants.
std::vector<uint8_t> QuadrantFrame(int frameWidth, int frameHeight, int pictureWidth,
                                   int pictureHeight, const TColour (&quadrants)[4]);

// Paints 8 x 8 pixels at the left of the frame, from row topRow down, white for odd frame
// numbers and black for even ones, so that consecutive frames differ: libtheora gives a frame
// that repeats the previous one as an empty packet, which the Ogg output does not carry. Only
// marks inside the picture count; libtheora ignores what lies outside it.
void MarkFrame(std::vector<uint8_t>& frame, int frameWidth, int frameNumber, int topRow = 0);

// Quality-mode settings without frame dropping at 25 frames per second.
TTheoraSettings VideoSettings(int frameWidth, int frameHeight);

// The one Theora stream of a recording, read back with libtheora's decoder.
struct TTheoraStream {
    bool HeadersRead = false;
    th_info Info{};
    std::vector<std::string> Comments;
    int HeaderPages = 0;  // pages before the first one that carries a frame
    // For every page that carries frames: the number of frames that end on it.
    std::vector<int64_t> FramesPerPage;
    size_t DataPackets = 0;
};
TTheoraStream ReadTheoraStream(const std::vector<uint8_t>& bytes);

// A codec set up on a recording output for small frames (64 x 48).
struct TSmallVideo {
    static constexpr int Width = 64;
    static constexpr int Height = 48;

    // Inits the codec; false when that fails.
    bool Start(TTheoraSettings settings = VideoSettings(Width, Height));
    // Frame after frame of the same picture, each marked with its number (see MarkFrame).
    const uint8_t* NextFrame() {
        MarkFrame(Frame, Width, FFramesMade++);
        return Frame.data();
    }
    // Finishes the codec and writes every queued page; the bytes of the recording.
    std::vector<uint8_t> Finish();

    TRecordingOutput Output;
    tOggTheoraCodec Codec;
    std::vector<uint8_t> Frame =
        QuadrantFrame(Width, Height, Width, Height,
                      {{200, 40, 40}, {40, 200, 40}, {40, 40, 200}, {220, 220, 220}});

  private:
    int FFramesMade = 0;
};

// Replaces one entry of a function table for the life of the object.
template <class T>
class TSwappedEntry {
  public:
    TSwappedEntry(T& slot, T replacement) : FSlot(slot), FOriginal(slot) { FSlot = replacement; }
    ~TSwappedEntry() { FSlot = FOriginal; }
    TSwappedEntry(const TSwappedEntry&) = delete;
    TSwappedEntry& operator=(const TSwappedEntry&) = delete;

    T Original() const { return FOriginal; }

  private:
    T& FSlot;
    T FOriginal;
};
