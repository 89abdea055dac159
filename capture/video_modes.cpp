#include "capture/video_modes.h"

#include <algorithm>
#include <utility>

#include "capture/caps_values.h"

namespace {

// What webcams and capture cards commonly run at: a size range offers those that fit.
constexpr std::pair<int, int> CommonSizes[] = {
    {160, 120},  {176, 144},   {320, 240},   {352, 288},   {640, 360},
    {640, 480},  {800, 600},   {960, 540},   {1024, 768},  {1280, 720},
    {1280, 960}, {1600, 1200}, {1920, 1080}, {2560, 1440}, {3840, 2160}};
constexpr int RangeRates[] = {5, 10, 15, 20, 25, 30, 50, 60};
// A range's end beyond these is a placeholder ("any size", "any rate"), not a mode.
constexpr int MaxRangeSide = 8192;
constexpr TFraction MaxRangeRate{240, 1};

std::vector<std::pair<int, int>> SizesOf(const TIntValues& widths, const TIntValues& heights) {
    std::vector<std::pair<int, int>> sizes;
    if (widths.Values.empty() || heights.Values.empty()) return sizes;
    if (!widths.IsRange && !heights.IsRange) {
        for (int w : widths.Values) {
            for (int h : heights.Values) sizes.emplace_back(w, h);
        }
        return sizes;
    }
    for (auto [w, h] : CommonSizes) {
        if (widths.Holds(w) && heights.Holds(h)) sizes.emplace_back(w, h);
    }
    if (widths.Largest() <= MaxRangeSide && heights.Largest() <= MaxRangeSide) {
        sizes.emplace_back(widths.Largest(), heights.Largest());
    }
    return sizes;
}

std::vector<TFraction> RatesOf(const TRateOffer& offer) {
    // No rate in the caps: the device runs at its own.
    if (!offer.IsRange) return offer.Rates.empty() ? std::vector{TFraction{0, 1}} : offer.Rates;
    std::vector<TFraction> rates;
    for (int rate : RangeRates) {
        if (Offers(offer, {rate, 1})) rates.push_back({rate, 1});
    }
    if (offer.Max.Num > 0 && !Slower(MaxRangeRate, offer.Max)) rates.push_back(offer.Max);
    return rates;
}

// The mode's name for a structure's format; empty for what the graph cannot take.
std::string ModeFormat(const std::string& mediaType, const std::string& format) {
    if (mediaType == "image/jpeg") return JpegModeFormat;
    return mediaType == "video/x-raw" ? format : std::string();
}

bool InSystemMemory(const GstCaps* caps, guint index) {
    const GstCapsFeatures* features = gst_caps_get_features(caps, index);
    return features == nullptr ||
           gst_caps_features_is_equal(features, GST_CAPS_FEATURES_MEMORY_SYSTEM_MEMORY);
}

void AddUnique(std::vector<TVideoMode>& modes, const TVideoMode& mode) {
    if (std::find(modes.begin(), modes.end(), mode) == modes.end()) modes.push_back(mode);
}

void AddStructureModes(const GstStructure* s, std::vector<TVideoMode>& modes) {
    const std::string mediaType = gst_structure_get_name(s);
    std::vector<std::string> formats = StringValues(gst_structure_get_value(s, "format"));
    if (mediaType == "image/jpeg") formats = {""};
    const auto sizes = SizesOf(IntValues(gst_structure_get_value(s, "width")),
                               IntValues(gst_structure_get_value(s, "height")));
    const auto rates = RatesOf(RateOfferOf(gst_structure_get_value(s, "framerate")));
    for (const std::string& format : formats) {
        const std::string name = ModeFormat(mediaType, format);
        if (name.empty()) continue;
        for (auto [w, h] : sizes) {
            for (TFraction rate : rates) AddUnique(modes, {name, w, h, rate.Num, rate.Den});
        }
    }
}

bool SmallerMode(const TVideoMode& a, const TVideoMode& b) {
    if (a.Width != b.Width) return a.Width < b.Width;
    if (a.Height != b.Height) return a.Height < b.Height;
    return Slower({a.RateNum, a.RateDen}, {b.RateNum, b.RateDen});
}

// The formats of an offer as mode names, the first BGR one first, then in caps order.
std::vector<std::string> OfferedFormats(const GstCaps* offered) {
    std::vector<TVideoOption> options = VideoOptionsFromCaps(offered);
    std::stable_partition(options.begin(), options.end(), IsBgrOption);
    std::vector<std::string> formats;
    for (const TVideoOption& option : options) {
        const std::string name = ModeFormat(option.MediaType, option.Format);
        if (!name.empty() && std::find(formats.begin(), formats.end(), name) == formats.end())
            formats.push_back(name);
    }
    return formats;
}

}  // namespace

std::vector<TVideoMode> VideoModesFromCaps(const GstCaps* caps) {
    std::vector<TVideoMode> modes;
    if (caps == nullptr) return modes;
    for (guint i = 0; i < gst_caps_get_size(caps); ++i) {
        if (InSystemMemory(caps, i)) AddStructureModes(gst_caps_get_structure(caps, i), modes);
    }
    std::stable_sort(modes.begin(), modes.end(), SmallerMode);
    return modes;
}

std::optional<TVideoMode> OfferedVideoMode(const GstCaps* offered, const TVideoMode& wanted) {
    if (offered == nullptr) return std::nullopt;
    const std::vector<std::string> formats =
        wanted.Format.empty() ? OfferedFormats(offered) : std::vector{wanted.Format};
    for (const std::string& format : formats) {
        TVideoMode mode = wanted;
        mode.Format = format;
        const TVideoOption option = VideoModeOption(mode);
        GstCaps* caps = VideoOptionCaps(option, option.Rate);
        const bool offers = gst_caps_can_intersect(caps, offered);
        gst_caps_unref(caps);
        if (offers) return mode;
    }
    return std::nullopt;
}

TVideoOption VideoModeOption(const TVideoMode& mode) {
    TVideoOption option;
    const bool jpeg = mode.Format == JpegModeFormat;
    option.MediaType = jpeg ? "image/jpeg" : "video/x-raw";
    option.Format = jpeg ? "" : mode.Format;
    option.Width = mode.Width;
    option.Height = mode.Height;
    option.Rate = {mode.RateNum, mode.RateDen};
    option.Offer.Rates = {option.Rate};
    return option;
}
