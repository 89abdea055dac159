#include "capture/caps_values.h"

#include <algorithm>

namespace {

TFraction FractionOf(const GValue* value) {
    return {gst_value_get_fraction_numerator(value), gst_value_get_fraction_denominator(value)};
}

}  // namespace

bool Slower(TFraction a, TFraction b) {
    return static_cast<int64_t>(a.Num) * b.Den < static_cast<int64_t>(b.Num) * a.Den;
}

bool SameRate(TFraction a, TFraction b) {
    return static_cast<int64_t>(a.Num) * b.Den == static_cast<int64_t>(b.Num) * a.Den;
}

bool TIntValues::Holds(int value) const {
    if (IsRange) {
        return value >= Values[0] && value <= Values[1] && (value - Values[0]) % Step == 0;
    }
    return std::find(Values.begin(), Values.end(), value) != Values.end();
}

int TIntValues::Largest() const {
    return IsRange ? Values[1] : *std::max_element(Values.begin(), Values.end());
}

TIntValues IntValues(const GValue* value) {
    TIntValues result;
    if (value == nullptr) return result;
    if (G_VALUE_HOLDS_INT(value)) {
        result.Values.push_back(g_value_get_int(value));
    } else if (GST_VALUE_HOLDS_INT_RANGE(value)) {
        result.IsRange = true;
        result.Values = {gst_value_get_int_range_min(value), gst_value_get_int_range_max(value)};
        result.Step = std::max(1, gst_value_get_int_range_step(value));
    } else if (GST_VALUE_HOLDS_LIST(value)) {
        for (guint i = 0; i < gst_value_list_get_size(value); ++i) {
            const GValue* item = gst_value_list_get_value(value, i);
            if (G_VALUE_HOLDS_INT(item)) result.Values.push_back(g_value_get_int(item));
        }
    }
    return result;
}

std::vector<std::string> StringValues(const GValue* value) {
    std::vector<std::string> result;
    if (value == nullptr) return result;
    if (G_VALUE_HOLDS_STRING(value)) {
        result.emplace_back(g_value_get_string(value));
    } else if (GST_VALUE_HOLDS_LIST(value)) {
        for (guint i = 0; i < gst_value_list_get_size(value); ++i) {
            const GValue* item = gst_value_list_get_value(value, i);
            if (G_VALUE_HOLDS_STRING(item)) result.emplace_back(g_value_get_string(item));
        }
    }
    return result;
}

TRateOffer RateOfferOf(const GValue* value) {
    TRateOffer offer;
    if (value == nullptr) return offer;
    if (GST_VALUE_HOLDS_FRACTION(value)) {
        offer.Rates.push_back(FractionOf(value));
    } else if (GST_VALUE_HOLDS_FRACTION_RANGE(value)) {
        offer.IsRange = true;
        offer.Min = FractionOf(gst_value_get_fraction_range_min(value));
        offer.Max = FractionOf(gst_value_get_fraction_range_max(value));
    } else if (GST_VALUE_HOLDS_LIST(value)) {
        for (guint i = 0; i < gst_value_list_get_size(value); ++i) {
            const GValue* item = gst_value_list_get_value(value, i);
            if (GST_VALUE_HOLDS_FRACTION(item)) offer.Rates.push_back(FractionOf(item));
        }
    }
    return offer;
}

bool Offers(const TRateOffer& offer, TFraction rate) {
    if (offer.IsRange) return !Slower(rate, offer.Min) && !Slower(offer.Max, rate);
    return std::any_of(offer.Rates.begin(), offer.Rates.end(),
                       [rate](TFraction r) { return SameRate(r, rate); });
}
