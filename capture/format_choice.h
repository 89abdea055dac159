#pragma once
// The format choices a run makes before it starts, as plain functions over the formats a
// device offers, so they can be tested without a device.
//
// Audio: among the 16-bit PCM formats at or above the wanted rate, the one with the lowest
// score (1 if its rate is above the wanted one, plus 1 if its channel count differs); the
// first of equal scores wins and a score of 0 ends the search.
// Video: the first BGR format offered; else the device's own format, decoded and converted
// before the tap (to I420 when it is Y'CbCr, else to BGR). The frame duration is only ever lowered
// to 1/FPS, never raised.

#include <gst/gst.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/wave_format.h"
#include "video/bitmap_info_header.h"

// One concrete audio format a device offers. Ranges and lists in the device's caps are
// expanded to the values nearest the wanted ones (see AudioOptionsFromCaps).
struct TAudioOption {
    std::string Format;  // GStreamer sample format, "S16LE", "F32LE", ...
    int Rate = 0;
    int Channels = 0;
};

// Score of one option, or -1 when it is no candidate (not 16-bit PCM, rate too low).
int AudioScore(const TAudioOption& option, int wantedRate, int wantedChannels);

// Index of the chosen option, or -1 when none is a candidate.
int ChooseAudioOption(const std::vector<TAudioOption>& options, int wantedRate, int wantedChannels);

// The options of raw-audio caps, in caps order. A rate range or list yields the wanted rate
// when it holds it, else its values at or above it (the lowest first), else its highest value;
// a channel range or list yields the wanted count when it holds it, else its first value.
std::vector<TAudioOption> AudioOptionsFromCaps(const GstCaps* caps, int wantedRate,
                                               int wantedChannels);

// 16-bit PCM wave format record.
TWaveFormatEx PcmWaveFormat(int rate, int channels);

// A frame rate as GStreamer gives it.
struct TFraction {
    int Num = 0;
    int Den = 1;
    bool operator==(const TFraction&) const = default;
};

// 100-ns units per frame, 64-bit; 10 000 000 div fps for a whole rate.
int64_t FrameDuration100ns(TFraction rate);
int64_t WantedFrameDuration100ns(int fps);

// The rates a format offers: a list, or a range [Min, Max] when IsRange.
struct TRateOffer {
    std::vector<TFraction> Rates;
    bool IsRange = false;
    TFraction Min, Max;
};

// The rate to ask for: `current` unless its frame is longer than 1/fps; then fps/1 when
// offered, else the slowest offered rate at least as fast, else the fastest offered rate.
TFraction ChooseFrameRate(TFraction current, const TRateOffer& offer, int fps);

// One video format a device offers (one caps structure and format; a size range fixated to
// the size nearest 640x480, a rate list to its first rate, a rate range to its fastest).
struct TVideoOption {
    std::string MediaType;  // "video/x-raw", "image/jpeg", ...
    std::string Format;     // raw format, "BGR", "YUY2", ...; empty for compressed types
    int Width = 0;
    int Height = 0;
    TFraction Rate;  // the rate the structure fixates to
    TRateOffer Offer;
};

bool IsBgrOption(const TVideoOption& option);

std::vector<TVideoOption> VideoOptionsFromCaps(const GstCaps* caps);

// Index of the first BGR option, else of `current` (the format the device runs with, when
// known and offered), else 0; -1 for an empty list.
int ChooseVideoOption(const std::vector<TVideoOption>& options,
                      const std::optional<TVideoOption>& current);

// The header of the frames the video tap delivers: BGR, top row first (negative height),
// rows padded to 4 bytes.
TBitmapInfoHeader BgrBitmapHeader(int width, int height);

// True when the option reaches the video tap as Y'CbCr without a colour conversion: image/jpeg
// (decoded to Y'CbCr) and raw 8-bit Y'CbCr (YUY2, NV12, I420, ...). Everything else reaches it
// as BGR.
bool IsYCbCrOption(const TVideoOption& option);
// The raw format of the tap behind the option: I420, YUY2, UYVY and NV12 as they come (the
// video processor takes them in), I420 for JPEG and other Y'CbCr, BGR for the rest.
std::string TapFormat(const TVideoOption& option);
// What the video tap asks for behind the option, of its size: TapFormat with the BT.601
// matrix (what the encoder and the RGB path assume), in full range behind JPEG (as decoded)
// and in studio swing otherwise; or BGR. And the header of those frames.
GstCaps* TapCaps(const TVideoOption& option);
TBitmapInfoHeader TapHeader(const TVideoOption& option);
// The header of tap frames in a raw format; fullRange marks decoded JPEG.
TBitmapInfoHeader TapFrameHeader(const std::string& format, int width, int height, bool fullRange);

// Fixed caps for one option at one rate (what the device is asked for).
GstCaps* VideoOptionCaps(const TVideoOption& option, TFraction rate);
