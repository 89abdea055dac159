#include "capture/capture_devices.h"

#include "settings/log.h"

namespace {

constexpr const char* VideoClass = "Video/Source";
constexpr const char* AudioClass = "Audio/Source";

std::string DisplayName(GstDevice* device) {
    gchar* name = gst_device_get_display_name(device);
    std::string result = name != nullptr ? name : "";
    g_free(name);
    return result;
}

}  // namespace

void EnsureGStreamer() {
    static std::once_flag once;
    std::call_once(once, [] { gst_init(nullptr, nullptr); });
}

TDeviceChoice ChooseStoredDevice(const std::vector<std::string>& names, const std::string& stored) {
    TDeviceChoice choice;
    for (int i = 0; i < static_cast<int>(names.size()); ++i) {
        if ((i == 0 && stored.empty()) || names[i] == stored) choice = {i, names[i]};
    }
    return choice;
}

TCaptureDevices::TCaptureDevices() {
    EnsureGStreamer();
}

TCaptureDevices::~TCaptureDevices() {
    if (FMonitor != nullptr) {
        gst_device_monitor_stop(FMonitor);
        GstBus* bus = gst_device_monitor_get_bus(FMonitor);
        gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
        gst_object_unref(bus);
        gst_object_unref(FMonitor);
    }
    ClearEntries();
}

void TCaptureDevices::SetChangedCallback(std::function<void()> changed) {
    FChanged = std::move(changed);
}

bool TCaptureDevices::Start() {
    if (FMonitor != nullptr) return true;
    FMonitor = gst_device_monitor_new();
    gst_device_monitor_add_filter(FMonitor, VideoClass, nullptr);
    gst_device_monitor_add_filter(FMonitor, AudioClass, nullptr);
    GstBus* bus = gst_device_monitor_get_bus(FMonitor);
    // A sync handler needs no main loop: hot-plug news arrive on the provider's thread.
    gst_bus_set_sync_handler(
        bus,
        [](GstBus* b, GstMessage* m, gpointer self) {
            OnBusMessage(b, m, self);
            // Dropped here, so ours to free.
            gst_message_unref(m);
            return GST_BUS_DROP;
        },
        this, nullptr);
    gst_object_unref(bus);
    const bool started = gst_device_monitor_start(FMonitor);
    if (!started) LogLine("Capture devices: the device monitor did not start");
    Refresh();
    return started;
}

gboolean TCaptureDevices::OnBusMessage(GstBus*, GstMessage* message, gpointer self) {
    const GstMessageType type = GST_MESSAGE_TYPE(message);
    if (type != GST_MESSAGE_DEVICE_ADDED && type != GST_MESSAGE_DEVICE_REMOVED) return TRUE;
    auto* devices = static_cast<TCaptureDevices*>(self);
    devices->Refresh();
    if (devices->FChanged) {
        try {
            devices->FChanged();
        } catch (...) {
            // The owner's business; GStreamer's thread must not see it.
        }
    }
    return TRUE;
}

void TCaptureDevices::ClearEntries() {
    for (auto* list : {&FVideo, &FAudio}) {
        for (TEntry& entry : *list) {
            if (entry.Device != nullptr) gst_object_unref(entry.Device);
        }
        list->clear();
    }
}

void TCaptureDevices::Refresh() {
    GList* found = FMonitor != nullptr ? gst_device_monitor_get_devices(FMonitor) : nullptr;
    std::lock_guard lock(FLock);
    ClearEntries();
    for (GList* item = found; item != nullptr; item = item->next) {
        auto* device = GST_DEVICE(item->data);
        if (gst_device_has_classes(device, VideoClass)) {
            FVideo.push_back({DisplayName(device), GST_DEVICE(gst_object_ref(device))});
        } else if (gst_device_has_classes(device, AudioClass)) {
            FAudio.push_back({DisplayName(device), GST_DEVICE(gst_object_ref(device))});
        }
    }
    g_list_free_full(found, gst_object_unref);
}

std::vector<std::string> TCaptureDevices::Names(TMediaKind kind) const {
    std::lock_guard lock(FLock);
    std::vector<std::string> names;
    for (const TEntry& entry : kind == TMediaKind::Video ? FVideo : FAudio) {
        names.push_back(entry.Name);
    }
    names.emplace_back(kind == TMediaKind::Video ? TestPatternName : TestToneName);
    return names;
}

GstElement* TCaptureDevices::CreateElement(TMediaKind kind, const TDeviceChoice& choice) const {
    GstDevice* device = nullptr;
    {
        std::lock_guard lock(FLock);
        const auto& list = kind == TMediaKind::Video ? FVideo : FAudio;
        if (choice.Index < 0 || choice.Index >= static_cast<int>(list.size())) return nullptr;
        if (list[choice.Index].Name != choice.Name) return nullptr;
        device = GST_DEVICE(gst_object_ref(list[choice.Index].Device));
    }
    GstElement* element = gst_device_create_element(device, nullptr);
    gst_object_unref(device);
    return element;
}

GstCaps* TCaptureDevices::Caps(TMediaKind kind, const TDeviceChoice& choice) const {
    GstDevice* device = nullptr;
    {
        std::lock_guard lock(FLock);
        const auto& list = kind == TMediaKind::Video ? FVideo : FAudio;
        if (choice.Index < 0 || choice.Index >= static_cast<int>(list.size())) return nullptr;
        if (list[choice.Index].Name != choice.Name) return nullptr;
        device = GST_DEVICE(gst_object_ref(list[choice.Index].Device));
    }
    // Outside the lock: a provider may take its time to answer.
    GstCaps* caps = gst_device_get_caps(device);
    gst_object_unref(device);
    return caps;
}

std::string TCaptureDevices::DevicePath(const TDeviceChoice& videoChoice) const {
    std::lock_guard lock(FLock);
    if (videoChoice.Index < 0 || videoChoice.Index >= static_cast<int>(FVideo.size())) return {};
    GstStructure* properties = gst_device_get_properties(FVideo[videoChoice.Index].Device);
    if (properties == nullptr) return {};
    std::string path;
    for (const char* key : {"api.v4l2.path", "device.path"}) {
        const gchar* value = gst_structure_get_string(properties, key);
        if (value != nullptr && path.empty() && g_str_has_prefix(value, "/dev/video")) path = value;
    }
    gst_structure_free(properties);
    return path;
}
