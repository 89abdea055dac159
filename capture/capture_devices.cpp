#include "capture/capture_devices.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "capture/element_properties.h"
#include "settings/log.h"

namespace {

constexpr const char* VideoClass = "Video/Source";
constexpr const char* AudioClass = "Audio/Source";
// Providers below this rank are not meant for applications (as GstDeviceMonitor has it).
constexpr const char* CrashesWhenStopped = "pipewiredeviceprovider";
constexpr auto MinimumProviderRank = static_cast<GstRank>(1);

std::string DisplayName(GstDevice* device) {
    gchar* name = gst_device_get_display_name(device);
    std::string result = name != nullptr ? name : "";
    g_free(name);
    return result;
}

std::optional<TMediaKind> KindOf(GstDevice* device) {
    if (gst_device_has_classes(device, VideoClass)) return TMediaKind::Video;
    if (gst_device_has_classes(device, AudioClass)) return TMediaKind::Audio;
    return std::nullopt;
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

bool StoredDeviceAbsent(const std::vector<std::string>& names, const std::string& stored) {
    return !stored.empty() && stored != NoDeviceName &&
           std::find(names.begin(), names.end(), stored) == names.end();
}

// What the owner and the provider threads share. A provider thread that never returns from
// its start keeps this alive after the owner is gone; it then finds Stopping set and no
// callback to call.
struct TCaptureDevices::TShared {
    struct TEntry {
        int Rank = 0;  // the provider's place in rank order: keeps the menus in a stable order
        std::string Provider;
        TMediaKind Kind = TMediaKind::Video;
        std::string Name;
        GstDevice* Device = nullptr;  // one reference held
    };

    ~TShared() {
        for (TEntry& entry : Entries) gst_object_unref(entry.Device);
    }

    // Caller holds Lock.
    bool Hidden(const TEntry& entry) const {
        return std::find(HiddenProviders.begin(), HiddenProviders.end(), entry.Provider) !=
               HiddenProviders.end();
    }
    std::vector<const TEntry*> Visible(TMediaKind kind) const {
        std::vector<const TEntry*> visible;
        for (const TEntry& entry : Entries) {
            if (entry.Kind == kind && !Hidden(entry)) visible.push_back(&entry);
        }
        return visible;
    }

    void Add(int rank, const std::string& provider, GstDevice* device) {
        const auto kind = KindOf(device);
        if (!kind) return;
        std::lock_guard lock(Lock);
        for (const TEntry& entry : Entries) {
            if (entry.Device == device) return;
        }
        const auto place = std::find_if(Entries.begin(), Entries.end(),
                                        [rank](const TEntry& e) { return e.Rank > rank; });
        Entries.insert(place, {rank, provider, *kind, DisplayName(device),
                               GST_DEVICE(gst_object_ref(device))});
    }

    void Remove(GstDevice* device) {
        GstDevice* removed = nullptr;
        {
            std::lock_guard lock(Lock);
            const auto found =
                std::find_if(Entries.begin(), Entries.end(),
                             [device](const TEntry& e) { return e.Device == device; });
            if (found == Entries.end()) return;
            removed = found->Device;
            Entries.erase(found);
        }
        gst_object_unref(removed);
    }

    void Notify() {
        std::lock_guard lock(CallbackLock);
        if (!Changed) return;
        try {
            Changed();
        } catch (...) {
            // The owner's business; a provider's thread must not see it.
        }
    }

    mutable std::mutex Lock;
    mutable std::condition_variable Answered;  // a provider answered
    std::vector<TEntry> Entries;               // guarded by Lock; by rank, then arrival
    std::vector<std::string> HiddenProviders;  // guarded by Lock
    int Starting = 0;                          // guarded by Lock
    bool Stopping = false;                     // guarded by Lock
    // Held while the callback runs, so the owner's destructor waits for a call in progress.
    std::mutex CallbackLock;
    std::function<void()> Changed;  // guarded by CallbackLock
};

// One provider: its thread starts it; whoever sees it answered last stops it. The thread does
// so itself when the owner has gone meanwhile, the owner otherwise.
struct TCaptureDevices::TWatch {
    int Rank = 0;
    std::string Provider;
    GstDeviceProvider* Instance = nullptr;
    GstBus* Bus = nullptr;
    gulong Handler = 0;
    bool Started = false;
    bool Answered = false;  // guarded by TShared::Lock
    std::thread Thread;

    void Watch(GstDeviceProviderFactory* factory, const std::shared_ptr<TShared>& shared);
    void Finish();
};

namespace {

// What a provider's bus handler needs; freed with the handler's closure, which GStreamer keeps
// while a call runs, so a call racing the disconnect still finds it.
struct TBusTarget {
    std::shared_ptr<TCaptureDevices::TShared> Shared;
    int Rank;
    std::string Provider;
};

}  // namespace

// Runs on the thread that posted the message (a provider's). Only our lists are touched.
static void OnProviderMessage(GstBus*, GstMessage* message, gpointer data) {
    auto* target = static_cast<TBusTarget*>(data);
    GstDevice* device = nullptr;
    GstDevice* previous = nullptr;
    switch (GST_MESSAGE_TYPE(message)) {
        case GST_MESSAGE_DEVICE_ADDED:
            gst_message_parse_device_added(message, &device);
            target->Shared->Add(target->Rank, target->Provider, device);
            break;
        case GST_MESSAGE_DEVICE_REMOVED:
            gst_message_parse_device_removed(message, &device);
            target->Shared->Remove(device);
            break;
        case GST_MESSAGE_DEVICE_CHANGED:
            gst_message_parse_device_changed(message, &device, &previous);
            target->Shared->Remove(previous);
            target->Shared->Add(target->Rank, target->Provider, device);
            break;
        default:
            return;
    }
    if (device != nullptr) gst_object_unref(device);
    if (previous != nullptr) gst_object_unref(previous);
    target->Shared->Notify();
}

void TCaptureDevices::TWatch::Watch(GstDeviceProviderFactory* factory,
                                    const std::shared_ptr<TShared>& shared) {
    Instance = gst_device_provider_factory_get(factory);
    gst_object_unref(factory);
    if (Instance != nullptr) {
        Bus = gst_device_provider_get_bus(Instance);
        gst_bus_enable_sync_message_emission(Bus);
        Handler = g_signal_connect_data(
            Bus, "sync-message", G_CALLBACK(OnProviderMessage),
            new TBusTarget{shared, Rank, Provider},
            [](gpointer data, GClosure*) { delete static_cast<TBusTarget*>(data); },
            GConnectFlags(0));
        // May wait for a server that never answers.
        Started = gst_device_provider_start(Instance);
    }
    if (Started) {
        GList* devices = gst_device_provider_get_devices(Instance);
        for (GList* item = devices; item != nullptr; item = item->next) {
            shared->Add(Rank, Provider, GST_DEVICE(item->data));
        }
        g_list_free_full(devices, gst_object_unref);
    }
    bool ownerGone = false;
    {
        std::lock_guard lock(shared->Lock);
        if (Started) {
            gchar** hidden = gst_device_provider_get_hidden_providers(Instance);
            for (gchar** name = hidden; name != nullptr && *name != nullptr; ++name) {
                shared->HiddenProviders.emplace_back(*name);
            }
            g_strfreev(hidden);
        }
        Answered = true;
        --shared->Starting;
        ownerGone = shared->Stopping;
    }
    shared->Answered.notify_all();
    if (ownerGone) {
        Finish();
        return;
    }
    shared->Notify();
}

void TCaptureDevices::TWatch::Finish() {
    if (Bus != nullptr) {
        g_signal_handler_disconnect(Bus, Handler);
        gst_bus_disable_sync_message_emission(Bus);
        gst_object_unref(Bus);
        Bus = nullptr;
    }
    if (Instance != nullptr) {
        // PipeWire's plug-in (0.3.65) frees its main loop twice when stopped, and the process
        // aborts; left running, it ends with the process.
        if (Started && Provider != CrashesWhenStopped) gst_device_provider_stop(Instance);
        gst_object_unref(Instance);
        Instance = nullptr;
    }
}

TCaptureDevices::TCaptureDevices() : FShared(std::make_shared<TShared>()) {
    EnsureGStreamer();
}

TCaptureDevices::~TCaptureDevices() {
    {
        std::lock_guard lock(FShared->CallbackLock);
        FShared->Changed = nullptr;
    }
    {
        std::lock_guard lock(FShared->Lock);
        FShared->Stopping = true;
    }
    for (const auto& watch : FWatches) {
        bool answered = false;
        {
            std::lock_guard lock(FShared->Lock);
            answered = watch->Answered;
        }
        if (answered) {
            watch->Thread.join();
            watch->Finish();
        } else {
            // Still waiting for its server: it finishes on its own whenever that answers.
            watch->Thread.detach();
        }
    }
}

void TCaptureDevices::SetChangedCallback(std::function<void()> changed) {
    std::lock_guard lock(FShared->CallbackLock);
    FShared->Changed = std::move(changed);
}

void TCaptureDevices::Start() {
    if (!FWatches.empty()) return;
    GList* factories = gst_device_provider_factory_list_get_device_providers(MinimumProviderRank);
    int rank = 0;
    for (GList* item = factories; item != nullptr; item = item->next) {
        auto* factory = GST_DEVICE_PROVIDER_FACTORY(item->data);
        if (!gst_device_provider_factory_has_classes(factory, VideoClass) &&
            !gst_device_provider_factory_has_classes(factory, AudioClass)) {
            continue;
        }
        auto watch = std::make_shared<TWatch>();
        watch->Rank = rank++;
        watch->Provider = GST_OBJECT_NAME(factory);
        {
            std::lock_guard lock(FShared->Lock);
            ++FShared->Starting;
        }
        gst_object_ref(factory);
        // The thread holds the watch and the shared state: both outlive us if it must.
        watch->Thread =
            std::thread([watch, factory, shared = FShared] { watch->Watch(factory, shared); });
        FWatches.push_back(std::move(watch));
    }
    gst_plugin_feature_list_free(factories);
}

bool TCaptureDevices::Settled() const {
    std::lock_guard lock(FShared->Lock);
    return FShared->Starting == 0;
}

bool TCaptureDevices::WaitUntilSettled(int timeoutMs) const {
    std::unique_lock lock(FShared->Lock);
    if (FShared->Answered.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                   [this] { return FShared->Starting == 0; })) {
        return true;
    }
    std::string waiting;
    for (const auto& watch : FWatches) {
        if (!watch->Answered) waiting += (waiting.empty() ? "" : ", ") + watch->Provider;
    }
    lock.unlock();
    LogLine("Capture devices: no answer yet from " + waiting);
    return false;
}

std::vector<std::string> TCaptureDevices::Names(TMediaKind kind) const {
    std::vector<std::string> names;
    {
        std::lock_guard lock(FShared->Lock);
        for (const auto* entry : FShared->Visible(kind)) names.push_back(entry->Name);
    }
    names.emplace_back(kind == TMediaKind::Video ? TestPatternName : TestToneName);
    return names;
}

GstDevice* TCaptureDevices::FindDevice(TMediaKind kind, const TDeviceChoice& choice) const {
    std::lock_guard lock(FShared->Lock);
    const auto visible = FShared->Visible(kind);
    if (choice.Index < 0 || choice.Index >= static_cast<int>(visible.size())) return nullptr;
    const auto* entry = visible[choice.Index];
    if (entry->Name != choice.Name) return nullptr;
    return GST_DEVICE(gst_object_ref(entry->Device));
}

namespace {

// PipeWire's session manager links a stream to the node it names only when the stream says
// what media it carries, and PipeWire 0.3.65 finds the node by its serial, not its id: the
// element the device makes sets neither, and its frames never come.
void AimPipeWireSource(GstElement* element, GstDevice* device, TMediaKind kind) {
    if (!HasProperty(element, "stream-properties") || !HasProperty(element, "target-object")) {
        return;
    }
    GstStructure* stream =
        gst_structure_new("props", "media.type", G_TYPE_STRING,
                          kind == TMediaKind::Video ? "Video" : "Audio", nullptr);
    g_object_set(element, "stream-properties", stream, nullptr);
    gst_structure_free(stream);
    GstStructure* properties = gst_device_get_properties(device);
    if (properties == nullptr) return;
    const gchar* serial = gst_structure_get_string(properties, "object.serial");
    std::string serialText;
    if (serial != nullptr) {
        serialText = serial;
    } else if (guint64 number = 0; gst_structure_get_uint64(properties, "object.serial", &number)) {
        serialText = std::to_string(number);
    }
    if (!serialText.empty()) g_object_set(element, "target-object", serialText.c_str(), nullptr);
    gst_structure_free(properties);
}

}  // namespace

GstElement* TCaptureDevices::CreateElement(TMediaKind kind, const TDeviceChoice& choice) const {
    GstDevice* device = FindDevice(kind, choice);
    if (device == nullptr) return nullptr;
    GstElement* element = gst_device_create_element(device, nullptr);
    if (element != nullptr) AimPipeWireSource(element, device, kind);
    gst_object_unref(device);
    return element;
}

GstCaps* TCaptureDevices::Caps(TMediaKind kind, const TDeviceChoice& choice) const {
    GstDevice* device = FindDevice(kind, choice);
    if (device == nullptr) return nullptr;
    GstCaps* caps = gst_device_get_caps(device);
    gst_object_unref(device);
    return caps;
}

std::string TCaptureDevices::DevicePath(const TDeviceChoice& videoChoice) const {
    GstDevice* device = FindDevice(TMediaKind::Video, videoChoice);
    if (device == nullptr) return {};
    GstStructure* properties = gst_device_get_properties(device);
    gst_object_unref(device);
    if (properties == nullptr) return {};
    std::string path;
    for (const char* key : {"api.v4l2.path", "device.path"}) {
        const gchar* value = gst_structure_get_string(properties, key);
        if (value != nullptr && path.empty() && g_str_has_prefix(value, "/dev/video")) path = value;
    }
    gst_structure_free(properties);
    return path;
}
