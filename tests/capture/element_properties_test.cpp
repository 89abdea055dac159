// The data behind the device property dialogs, on real GStreamer elements.

#include "capture/element_properties.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "capture/capture_devices.h"
#include "capture/v4l2_inputs.h"

namespace {

class TElement {
  public:
    explicit TElement(const char* factory) {
        EnsureGStreamer();
        FElement = GST_ELEMENT(gst_object_ref_sink(gst_element_factory_make(factory, nullptr)));
    }
    ~TElement() { gst_object_unref(FElement); }
    GstElement* get() const { return FElement; }

  private:
    GstElement* FElement;
};

const TElementProperty* Find(const std::vector<TElementProperty>& list, const std::string& name) {
    const auto found =
        std::find_if(list.begin(), list.end(), [&](const auto& p) { return p.Name == name; });
    return found == list.end() ? nullptr : &*found;
}

TEST(ElementProperties, ListsWritablePropertiesWithTypesLimitsAndChoices) {
    const TElement source("videotestsrc");
    const auto properties = WritableProperties(source.get());
    EXPECT_EQ(Find(properties, "name"), nullptr);
    const TElementProperty* live = Find(properties, "is-live");
    ASSERT_NE(live, nullptr);
    EXPECT_EQ(live->Type, TElementProperty::TType::Boolean);
    EXPECT_EQ(live->Value, "false");
    const TElementProperty* pattern = Find(properties, "pattern");
    ASSERT_NE(pattern, nullptr);
    EXPECT_EQ(pattern->Type, TElementProperty::TType::Enum);
    EXPECT_EQ(pattern->Value, "smpte");
    EXPECT_NE(std::find(pattern->Choices.begin(), pattern->Choices.end(), "snow"),
              pattern->Choices.end());
    const TElementProperty* freq = Find(properties, "foreground-color");
    ASSERT_NE(freq, nullptr);
    EXPECT_EQ(freq->Type, TElementProperty::TType::Integer);
    EXPECT_EQ(freq->Maximum, 4294967295.0);
}

TEST(ElementProperties, SettingFromTextTakesValidValuesAndRefusesTheRest) {
    const TElement source("videotestsrc");
    EXPECT_TRUE(SetPropertyFromText(source.get(), "pattern", "snow"));
    EXPECT_TRUE(SetPropertyFromText(source.get(), "is-live", "true"));
    EXPECT_TRUE(SetPropertyFromText(source.get(), "horizontal-speed", "-3"));
    const auto properties = WritableProperties(source.get());
    EXPECT_EQ(Find(properties, "pattern")->Value, "snow");
    EXPECT_EQ(Find(properties, "is-live")->Value, "true");
    EXPECT_EQ(Find(properties, "horizontal-speed")->Value, "-3");

    EXPECT_FALSE(SetPropertyFromText(source.get(), "pattern", "no-such-pattern"));
    EXPECT_FALSE(SetPropertyFromText(source.get(), "is-live", "perhaps"));
    EXPECT_FALSE(SetPropertyFromText(source.get(), "no-such-property", "1"));
    // Outside the property's range: refused, not clamped.
    EXPECT_FALSE(SetPropertyFromText(source.get(), "num-buffers", "-2"));
    EXPECT_EQ(Find(WritableProperties(source.get()), "pattern")->Value, "snow");
}

TEST(ColorBalance, ChannelsAreListedAndSetWithinTheirRange) {
    const TElement balance("videobalance");
    const auto channels = ColorBalanceChannels(balance.get());
    ASSERT_FALSE(channels.empty());
    const auto brightness = std::find_if(channels.begin(), channels.end(),
                                         [](const auto& c) { return c.Label == "BRIGHTNESS"; });
    ASSERT_NE(brightness, channels.end());
    EXPECT_LT(brightness->Minimum, brightness->Value);
    EXPECT_GT(brightness->Maximum, brightness->Value);
    EXPECT_TRUE(SetColorBalanceValue(balance.get(), "BRIGHTNESS", brightness->Maximum));
    EXPECT_FALSE(SetColorBalanceValue(balance.get(), "BRIGHTNESS", brightness->Maximum + 1));
    EXPECT_FALSE(SetColorBalanceValue(balance.get(), "NO SUCH CHANNEL", 0));
    for (const auto& channel : ColorBalanceChannels(balance.get())) {
        if (channel.Label == "BRIGHTNESS") EXPECT_EQ(channel.Value, brightness->Maximum);
    }
    // An element without colour balance has no channels.
    const TElement plain("identity");
    EXPECT_TRUE(ColorBalanceChannels(plain.get()).empty());
}

TEST(V4l2Inputs, ANodeThatIsNoCaptureDeviceHasNoInputs) {
    for (const std::string path : {"", "/nonexistent/video0", "/dev/null"}) {
        EXPECT_TRUE(ListV4l2Inputs(path).empty()) << path;
        EXPECT_FALSE(CurrentV4l2Input(path)) << path;
        EXPECT_FALSE(SelectV4l2Input(path, 0)) << path;
    }
}

}  // namespace
