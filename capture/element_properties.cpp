#include "capture/element_properties.h"

#include <gst/video/colorbalance.h>

#include <cstring>

namespace {

TElementProperty::TType TypeOf(GParamSpec* spec) {
    const GType type = G_PARAM_SPEC_VALUE_TYPE(spec);
    if (type == G_TYPE_BOOLEAN) return TElementProperty::TType::Boolean;
    if (G_IS_PARAM_SPEC_ENUM(spec)) return TElementProperty::TType::Enum;
    if (G_IS_PARAM_SPEC_INT(spec) || G_IS_PARAM_SPEC_UINT(spec) || G_IS_PARAM_SPEC_INT64(spec) ||
        G_IS_PARAM_SPEC_UINT64(spec) || G_IS_PARAM_SPEC_LONG(spec) || G_IS_PARAM_SPEC_ULONG(spec)) {
        return TElementProperty::TType::Integer;
    }
    if (G_IS_PARAM_SPEC_DOUBLE(spec) || G_IS_PARAM_SPEC_FLOAT(spec)) {
        return TElementProperty::TType::Double;
    }
    if (type == G_TYPE_STRING) return TElementProperty::TType::Text;
    return TElementProperty::TType::Other;
}

void ReadLimits(GParamSpec* spec, TElementProperty& property) {
#define KZ_LIMITS(CHECK, CAST)                  \
    if (CHECK(spec)) {                          \
        property.Minimum = CAST(spec)->minimum; \
        property.Maximum = CAST(spec)->maximum; \
        return;                                 \
    }
    KZ_LIMITS(G_IS_PARAM_SPEC_INT, G_PARAM_SPEC_INT)
    KZ_LIMITS(G_IS_PARAM_SPEC_UINT, G_PARAM_SPEC_UINT)
    KZ_LIMITS(G_IS_PARAM_SPEC_INT64, G_PARAM_SPEC_INT64)
    KZ_LIMITS(G_IS_PARAM_SPEC_UINT64, G_PARAM_SPEC_UINT64)
    KZ_LIMITS(G_IS_PARAM_SPEC_LONG, G_PARAM_SPEC_LONG)
    KZ_LIMITS(G_IS_PARAM_SPEC_ULONG, G_PARAM_SPEC_ULONG)
    KZ_LIMITS(G_IS_PARAM_SPEC_DOUBLE, G_PARAM_SPEC_DOUBLE)
    KZ_LIMITS(G_IS_PARAM_SPEC_FLOAT, G_PARAM_SPEC_FLOAT)
#undef KZ_LIMITS
}

std::string ValueText(GstElement* element, GParamSpec* spec) {
    GValue value = G_VALUE_INIT;
    g_value_init(&value, G_PARAM_SPEC_VALUE_TYPE(spec));
    g_object_get_property(G_OBJECT(element), spec->name, &value);
    std::string text;
    if (G_VALUE_HOLDS_STRING(&value)) {
        const gchar* s = g_value_get_string(&value);
        text = s != nullptr ? s : "";
    } else if (gchar* serialised = gst_value_serialize(&value)) {
        text = serialised;
        g_free(serialised);
    }
    g_value_unset(&value);
    return text;
}

GstColorBalance* BalanceOf(GstElement* element) {
    if (GST_IS_COLOR_BALANCE(element)) return GST_COLOR_BALANCE(gst_object_ref(element));
    if (!GST_IS_BIN(element)) return nullptr;
    GstElement* child = gst_bin_get_by_interface(GST_BIN(element), GST_TYPE_COLOR_BALANCE);
    return child != nullptr ? GST_COLOR_BALANCE(child) : nullptr;
}

}  // namespace

std::vector<TElementProperty> WritableProperties(GstElement* element) {
    std::vector<TElementProperty> result;
    guint count = 0;
    GParamSpec** specs = g_object_class_list_properties(G_OBJECT_GET_CLASS(element), &count);
    for (guint i = 0; i < count; ++i) {
        GParamSpec* spec = specs[i];
        const bool usable = (spec->flags & G_PARAM_WRITABLE) && (spec->flags & G_PARAM_READABLE) &&
                            !(spec->flags & G_PARAM_CONSTRUCT_ONLY);
        if (!usable || std::strcmp(spec->name, "name") == 0 ||
            std::strcmp(spec->name, "parent") == 0) {
            continue;
        }
        TElementProperty property;
        property.Name = spec->name;
        property.Nick = g_param_spec_get_nick(spec);
        const gchar* blurb = g_param_spec_get_blurb(spec);
        property.Blurb = blurb != nullptr ? blurb : "";
        property.Type = TypeOf(spec);
        property.Value = ValueText(element, spec);
        property.ChangeableOnlyWhenStopped = !(spec->flags & GST_PARAM_MUTABLE_PLAYING);
        ReadLimits(spec, property);
        if (G_IS_PARAM_SPEC_ENUM(spec)) {
            const GEnumClass* enums = G_PARAM_SPEC_ENUM(spec)->enum_class;
            for (guint v = 0; v < enums->n_values; ++v) {
                property.Choices.emplace_back(enums->values[v].value_nick);
            }
        }
        result.push_back(std::move(property));
    }
    g_free(specs);
    return result;
}

bool SetPropertyFromText(GstElement* element, const std::string& name, const std::string& value) {
    GParamSpec* spec = g_object_class_find_property(G_OBJECT_GET_CLASS(element), name.c_str());
    if (spec == nullptr || !(spec->flags & G_PARAM_WRITABLE)) return false;
    GValue parsed = G_VALUE_INIT;
    g_value_init(&parsed, G_PARAM_SPEC_VALUE_TYPE(spec));
    bool ok = false;
    if (G_VALUE_HOLDS_STRING(&parsed)) {
        g_value_set_string(&parsed, value.c_str());
        ok = true;
    } else {
        ok = gst_value_deserialize(&parsed, value.c_str());
    }
    // Out-of-range values are refused rather than clamped silently.
    if (ok) ok = !g_param_value_validate(spec, &parsed);
    if (ok) g_object_set_property(G_OBJECT(element), name.c_str(), &parsed);
    g_value_unset(&parsed);
    return ok;
}

std::vector<TColorBalanceChannel> ColorBalanceChannels(GstElement* element) {
    std::vector<TColorBalanceChannel> result;
    GstColorBalance* balance = BalanceOf(element);
    if (balance == nullptr) return result;
    for (const GList* item = gst_color_balance_list_channels(balance); item != nullptr;
         item = item->next) {
        auto* channel = GST_COLOR_BALANCE_CHANNEL(item->data);
        result.push_back({channel->label, channel->min_value, channel->max_value,
                          gst_color_balance_get_value(balance, channel)});
    }
    gst_object_unref(balance);
    return result;
}

bool SetColorBalanceValue(GstElement* element, const std::string& label, int value) {
    GstColorBalance* balance = BalanceOf(element);
    if (balance == nullptr) return false;
    bool done = false;
    for (const GList* item = gst_color_balance_list_channels(balance); item != nullptr && !done;
         item = item->next) {
        auto* channel = GST_COLOR_BALANCE_CHANNEL(item->data);
        if (label == channel->label && value >= channel->min_value && value <= channel->max_value) {
            gst_color_balance_set_value(balance, channel, value);
            done = true;
        }
    }
    gst_object_unref(balance);
    return done;
}

bool HasProperty(GstElement* element, const char* name) {
    return g_object_class_find_property(G_OBJECT_GET_CLASS(element), name) != nullptr;
}
