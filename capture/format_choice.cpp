#include "capture/format_choice.h"

#include <gst/video/video.h>

#include <algorithm>
#include <limits>

#include "capture/caps_values.h"
#include "video/frame_format.h"

namespace {

constexpr int64_t HundredNsPerSecond = 10'000'000;
constexpr const char* CaptureSampleFormat = "S16LE";
// A size range fixates to the size nearest to this, as a webcam's default would be.
constexpr int PreferredWidth = 640;
constexpr int PreferredHeight = 480;

std::vector<int> RatesFor(const TIntValues& rates, int wanted) {
    if (rates.Values.empty()) return {};
    if (rates.Holds(wanted)) return {wanted};
    if (rates.IsRange) return {rates.Values[0] > wanted ? rates.Values[0] : rates.Values[1]};
    std::vector<int> above;
    std::copy_if(rates.Values.begin(), rates.Values.end(), std::back_inserter(above),
                 [wanted](int rate) { return rate >= wanted; });
    if (above.empty()) return {*std::max_element(rates.Values.begin(), rates.Values.end())};
    std::sort(above.begin(), above.end());
    return above;
}

int ChannelsFor(const TIntValues& channels, int wanted) {
    if (channels.Values.empty()) return 0;
    if (channels.Holds(wanted)) return wanted;
    if (channels.IsRange) return std::clamp(wanted, channels.Values[0], channels.Values[1]);
    return channels.Values[0];
}

int SizeFor(const GValue* value, int preferred) {
    const TIntValues sizes = IntValues(value);
    if (sizes.Values.empty()) return 0;
    if (sizes.IsRange) return std::clamp(preferred, sizes.Values[0], sizes.Values[1]);
    return sizes.Values[0];
}

}  // namespace

int AudioScore(const TAudioOption& option, int wantedRate, int wantedChannels) {
    if (option.Format != CaptureSampleFormat || option.Channels <= 0) return -1;
    if (option.Rate < wantedRate) return -1;
    return (option.Rate > wantedRate ? 1 : 0) + (option.Channels != wantedChannels ? 1 : 0);
}

int ChooseAudioOption(const std::vector<TAudioOption>& options, int wantedRate,
                      int wantedChannels) {
    int best = -1;
    int bestScore = 99;
    for (int i = 0; i < static_cast<int>(options.size()); ++i) {
        const int score = AudioScore(options[i], wantedRate, wantedChannels);
        if (score < 0) continue;
        if (score < bestScore) {
            best = i;
            bestScore = score;
        }
        if (score == 0) break;
    }
    return best;
}

std::vector<TAudioOption> AudioOptionsFromCaps(const GstCaps* caps, int wantedRate,
                                               int wantedChannels) {
    std::vector<TAudioOption> options;
    if (caps == nullptr) return options;
    for (guint i = 0; i < gst_caps_get_size(caps); ++i) {
        const GstStructure* s = gst_caps_get_structure(caps, i);
        if (!gst_structure_has_name(s, "audio/x-raw")) continue;
        const int channels =
            ChannelsFor(IntValues(gst_structure_get_value(s, "channels")), wantedChannels);
        const std::vector<int> rates =
            RatesFor(IntValues(gst_structure_get_value(s, "rate")), wantedRate);
        for (const std::string& format : StringValues(gst_structure_get_value(s, "format"))) {
            for (int rate : rates) options.push_back({format, rate, channels});
        }
    }
    return options;
}

TWaveFormatEx PcmWaveFormat(int rate, int channels) {
    return MakeWaveFormat(WAVE_FORMAT_PCM, static_cast<uint16_t>(channels),
                          static_cast<uint32_t>(rate), 16);
}

int64_t FrameDuration100ns(TFraction rate) {
    if (rate.Num <= 0 || rate.Den <= 0) return std::numeric_limits<int64_t>::max();
    return HundredNsPerSecond * rate.Den / rate.Num;
}

int64_t WantedFrameDuration100ns(int fps) {
    return HundredNsPerSecond / std::max(1, fps);
}

TFraction ChooseFrameRate(TFraction current, const TRateOffer& offer, int fps) {
    const int64_t wanted = WantedFrameDuration100ns(fps);
    if (FrameDuration100ns(current) <= wanted) return current;
    const TFraction exact{std::max(1, fps), 1};
    if (Offers(offer, exact)) return exact;
    std::vector<TFraction> rates = offer.Rates;
    if (offer.IsRange) rates = {offer.Min, offer.Max};
    std::erase_if(rates, [](TFraction r) { return r.Num <= 0 || r.Den <= 0; });
    if (rates.empty()) return current;
    std::sort(rates.begin(), rates.end(), Slower);
    for (TFraction rate : rates) {
        if (FrameDuration100ns(rate) <= wanted) return rate;
    }
    return Slower(current, rates.back()) ? rates.back() : current;
}

bool IsBgrOption(const TVideoOption& option) {
    return option.MediaType == "video/x-raw" && option.Format == "BGR";
}

std::vector<TVideoOption> VideoOptionsFromCaps(const GstCaps* caps) {
    std::vector<TVideoOption> options;
    if (caps == nullptr) return options;
    for (guint i = 0; i < gst_caps_get_size(caps); ++i) {
        const GstStructure* s = gst_caps_get_structure(caps, i);
        TVideoOption option;
        option.MediaType = gst_structure_get_name(s);
        option.Width = SizeFor(gst_structure_get_value(s, "width"), PreferredWidth);
        option.Height = SizeFor(gst_structure_get_value(s, "height"), PreferredHeight);
        option.Offer = RateOfferOf(gst_structure_get_value(s, "framerate"));
        option.Rate = option.Offer.IsRange         ? option.Offer.Max
                      : option.Offer.Rates.empty() ? TFraction{0, 1}
                                                   : option.Offer.Rates.front();
        std::vector<std::string> formats = StringValues(gst_structure_get_value(s, "format"));
        if (formats.empty()) formats.emplace_back();
        for (const std::string& format : formats) {
            option.Format = format;
            options.push_back(option);
        }
    }
    return options;
}

int ChooseVideoOption(const std::vector<TVideoOption>& options,
                      const std::optional<TVideoOption>& current) {
    if (options.empty()) return -1;
    const auto bgr = std::find_if(options.begin(), options.end(), IsBgrOption);
    if (bgr != options.end()) return static_cast<int>(bgr - options.begin());
    if (current) {
        const auto same = std::find_if(options.begin(), options.end(), [&](const auto& o) {
            return o.MediaType == current->MediaType && o.Format == current->Format &&
                   o.Width == current->Width && o.Height == current->Height;
        });
        if (same != options.end()) return static_cast<int>(same - options.begin());
    }
    return 0;
}

TBitmapInfoHeader BgrBitmapHeader(int width, int height) {
    TBitmapInfoHeader header;
    header.biWidth = width;
    header.biHeight = -height;
    header.biBitCount = 24;
    header.biCompression = BI_RGB_COMPRESSION;
    header.biSizeImage = static_cast<uint32_t>(BitmapRowPitch(24, width) * height);
    return header;
}

namespace {

bool IsJpegOption(const TVideoOption& option) {
    return option.MediaType == "image/jpeg";
}

}  // namespace

bool IsYCbCrOption(const TVideoOption& option) {
    if (IsJpegOption(option)) return true;
    if (option.MediaType != "video/x-raw") return false;
    const GstVideoFormatInfo* info =
        gst_video_format_get_info(gst_video_format_from_string(option.Format.c_str()));
    return info != nullptr && GST_VIDEO_FORMAT_INFO_IS_YUV(info) &&
           !GST_VIDEO_FORMAT_INFO_IS_TILED(info) && !GST_VIDEO_FORMAT_INFO_HAS_ALPHA(info) &&
           GST_VIDEO_FORMAT_INFO_DEPTH(info, 0) == 8;
}

namespace {

// The raw Y'CbCr forms the video processor takes in as they come; other raw Y'CbCr forms are
// converted to I420 before the tap.
struct TTapForm {
    const char* Format;
    uint32_t Compression;
};
constexpr TTapForm TakenAsTheyCome[] = {{"I420", I420_COMPRESSION},
                                        {"YUY2", YUY2_COMPRESSION},
                                        {"UYVY", UYVY_COMPRESSION},
                                        {"NV12", NV12_COMPRESSION}};

}  // namespace

std::string TapFormat(const TVideoOption& option) {
    if (!IsYCbCrOption(option)) return "BGR";
    for (const TTapForm& form : TakenAsTheyCome) {
        if (option.MediaType == "video/x-raw" && option.Format == form.Format) return form.Format;
    }
    return "I420";
}

TBitmapInfoHeader TapFrameHeader(const std::string& format, int width, int height, bool fullRange) {
    for (const TTapForm& form : TakenAsTheyCome) {
        if (format != form.Format) continue;
        const bool jpeg = fullRange && form.Compression == I420_COMPRESSION;
        return YCbCrBitmapHeader(jpeg ? J420_COMPRESSION : form.Compression, width, height);
    }
    return BgrBitmapHeader(width, height);
}

GstCaps* TapCaps(const TVideoOption& option) {
    const std::string format = TapFormat(option);
    GstCaps* caps =
        gst_caps_new_simple("video/x-raw", "width", G_TYPE_INT, option.Width, "height", G_TYPE_INT,
                            option.Height, "format", G_TYPE_STRING, format.c_str(), nullptr);
    if (format == "BGR") return caps;
    // The BT.601 matrix always; JPEG's full range is kept (videoconvert leaves the range of
    // I420 as it is anyway) and brought to studio swing by the video processor.
    gst_caps_set_simple(caps, "colorimetry", G_TYPE_STRING,
                        IsJpegOption(option) ? "1:4:0:0" : "bt601", nullptr);
    return caps;
}

TBitmapInfoHeader TapHeader(const TVideoOption& option) {
    return TapFrameHeader(TapFormat(option), option.Width, option.Height, IsJpegOption(option));
}

GstCaps* VideoOptionCaps(const TVideoOption& option, TFraction rate) {
    GstCaps* caps = gst_caps_new_simple(option.MediaType.c_str(), "width", G_TYPE_INT, option.Width,
                                        "height", G_TYPE_INT, option.Height, nullptr);
    if (rate.Num > 0)
        gst_caps_set_simple(caps, "framerate", GST_TYPE_FRACTION, rate.Num, rate.Den, nullptr);
    if (!option.Format.empty()) {
        gst_caps_set_simple(caps, "format", G_TYPE_STRING, option.Format.c_str(), nullptr);
    }
    return caps;
}
