#pragma once
// Readers for the values of a caps field as devices give them (fixed, list or range), shared by
// the format choice and the mode list.

#include <gst/gst.h>

#include <string>
#include <vector>

#include "capture/format_choice.h"

// a < b for two fractions with positive denominators.
bool Slower(TFraction a, TFraction b);
bool SameRate(TFraction a, TFraction b);

// The values of an int field: fixed, list or range (a range as its two ends and its step).
struct TIntValues {
    std::vector<int> Values;
    bool IsRange = false;
    int Step = 1;
    bool Holds(int value) const;
    // The largest value; only for a non-empty set.
    int Largest() const;
};

TIntValues IntValues(const GValue* value);
std::vector<std::string> StringValues(const GValue* value);
TRateOffer RateOfferOf(const GValue* value);
bool Offers(const TRateOffer& offer, TFraction rate);
