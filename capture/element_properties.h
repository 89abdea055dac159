#pragma once
// The data of the device property dialogs: an element's writable GObject properties, and the
// GstColorBalance channels of a video device. Values travel as text, as GStreamer serialises
// them, so a dialog needs no GStreamer types.

#include <gst/gst.h>

#include <string>
#include <vector>

struct TElementProperty {
    enum class TType { Boolean, Integer, Double, Text, Enum, Other };
    std::string Name;
    std::string Nick;  // short human name
    std::string Blurb;
    TType Type = TType::Other;
    std::string Value;   // current value as text
    double Minimum = 0;  // Integer and Double only
    double Maximum = 0;
    std::vector<std::string> Choices;  // Enum only: the value nicks
    bool ChangeableOnlyWhenStopped = false;
};

// Writable, readable properties of `element` in class order, "name" and "parent" left out.
std::vector<TElementProperty> WritableProperties(GstElement* element);
// Whether the element has a property of that name (set only where it exists).
bool HasProperty(GstElement* element, const char* name);

// Sets a property from its text form; false when the name or the value is not accepted.
bool SetPropertyFromText(GstElement* element, const std::string& name, const std::string& value);

struct TColorBalanceChannel {
    std::string Label;  // "BRIGHTNESS", "CONTRAST", ...
    int Minimum = 0;
    int Maximum = 0;
    int Value = 0;
};

// The colour balance channels of `element` or of the first child that has them.
std::vector<TColorBalanceChannel> ColorBalanceChannels(GstElement* element);
bool SetColorBalanceValue(GstElement* element, const std::string& label, int value);
