#pragma once
// TCaptureDevices: the video and audio input devices the machine offers, as the device menus
// list them. Real devices come from a GstDeviceMonitor ("Video/Source", "Audio/Source"), named
// by their display names, in the monitor's order and not de-duplicated; our own two devices,
// "Test Pattern" and "Test Tone", are always listed last, so the program works on a machine
// without devices.
//
// The lists follow hot-plugging: the monitor's bus reports added and removed devices, and the
// changed callback runs on a GStreamer thread (never inside a call of this class). The owner
// marshals it onto its own thread and reads the lists again there.
//
// Threads: every method may be called from any thread; the lists are guarded by FLock.

#include <gst/gst.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

inline constexpr const char* TestPatternName = "Test Pattern";
inline constexpr const char* TestToneName = "Test Tone";
// The menus' "no device" entry; also what a stored device name says when none was chosen.
inline constexpr const char* NoDeviceName = "<None>";

enum class TMediaKind { Video, Audio };

// Starts GStreamer once per process; safe from any thread.
void EnsureGStreamer();

// One entry of a device menu: its position in TCaptureDevices::Names and its name (which
// guards against a list that changed in between). Index -1 is "<None>".
struct TDeviceChoice {
    int Index = -1;
    std::string Name;
    bool None() const { return Index < 0; }
    bool IsTestDevice() const { return Name == TestPatternName || Name == TestToneName; }
};

// The device-menu rule for a stored name: every entry equal to it is chosen in turn, the last
// one winning; with no stored name the first entry. A name that matches none (including
// "<None>") chooses none.
TDeviceChoice ChooseStoredDevice(const std::vector<std::string>& names, const std::string& stored);

class TCaptureDevices final {
  public:
    TCaptureDevices();
    ~TCaptureDevices();
    TCaptureDevices(const TCaptureDevices&) = delete;
    TCaptureDevices& operator=(const TCaptureDevices&) = delete;

    // Starts the monitor and takes the first lists. Without a working monitor only the two
    // test devices are listed; false then.
    bool Start();

    // Display names, the test device last. A name may occur more than once.
    std::vector<std::string> Names(TMediaKind kind) const;

    // Called after a device was added or removed (GStreamer thread). Set before Start().
    void SetChangedCallback(std::function<void()> changed);

    // A new source element for the real device at `choice.Index` of Names(kind); null for a
    // test device, for no choice, or when the list changed and that entry is no longer named
    // `choice.Name`. The caller owns the floating reference.
    GstElement* CreateElement(TMediaKind kind, const TDeviceChoice& choice) const;

    // What the real device at `choice` offers (a new reference), found as CreateElement finds
    // it; null where CreateElement gives no element.
    GstCaps* Caps(TMediaKind kind, const TDeviceChoice& choice) const;

    // The V4L2 device node of a video device ("/dev/video0"); empty for other devices.
    std::string DevicePath(const TDeviceChoice& videoChoice) const;

  private:
    struct TEntry {
        std::string Name;
        GstDevice* Device = nullptr;  // one reference held; null for a test device
    };
    void Refresh();
    static gboolean OnBusMessage(GstBus* bus, GstMessage* message, gpointer self);
    void ClearEntries();

    GstDeviceMonitor* FMonitor = nullptr;
    mutable std::mutex FLock;
    std::vector<TEntry> FVideo;  // guarded by FLock
    std::vector<TEntry> FAudio;  // guarded by FLock
    std::function<void()> FChanged;
};
