#pragma once
// TCaptureDevices: the video and audio input devices the machine offers, as the device menus
// list them. Real devices come from GStreamer's device providers ("Video/Source",
// "Audio/Source"), named by their display names, in the providers' rank order and not
// de-duplicated; our own two devices, "Test Pattern" and "Test Tone", are always listed last,
// so the program works on a machine without devices.
//
// A provider may take long to start, or never return: a sound server stopped with SIGSTOP
// leaves PulseAudio's and PipeWire's providers waiting for an answer. So every provider starts
// on a thread of its own, and Start() returns at once; the lists grow as providers answer.
// Hot-plug news arrive as the providers' bus messages, each carrying its device: the handler
// only edits the lists (never calls back into a provider) and then calls the changed callback,
// which must hand the news to the owner's thread and return.
//
// A provider thread that is still waiting in its start when the lists are destroyed is left to
// finish on its own: it keeps the shared state alive and calls nobody.
//
// Threads: every method may be called from any thread; the lists are guarded by their lock.

#include <gst/gst.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
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

// A stored device name that names a device which is not listed now (not "<None>", not empty).
bool StoredDeviceAbsent(const std::vector<std::string>& names, const std::string& stored);

class TCaptureDevices final {
  public:
    TCaptureDevices();
    ~TCaptureDevices();
    TCaptureDevices(const TCaptureDevices&) = delete;
    TCaptureDevices& operator=(const TCaptureDevices&) = delete;

    // Starts every device provider on a thread of its own and returns at once. Until they
    // answer, only the two test devices are listed.
    void Start();
    // Waits until every provider has answered (started or failed), at most `timeoutMs`; false
    // when one is still starting. Logs the providers that did not answer.
    bool WaitUntilSettled(int timeoutMs) const;
    bool Settled() const;

    // Display names, the test device last. A name may occur more than once.
    std::vector<std::string> Names(TMediaKind kind) const;

    // Called after a device was added or removed, or a provider answered, on a GStreamer or
    // provider thread. Set before Start().
    void SetChangedCallback(std::function<void()> changed);

    // A new source element for the real device at `choice.Index` of Names(kind); null for a
    // test device, for no choice, or when the list changed and that entry is no longer named
    // `choice.Name`. The caller owns the floating reference.
    GstElement* CreateElement(TMediaKind kind, const TDeviceChoice& choice) const;

    // The formats the real device at `choice` offers (a new reference), or null.
    GstCaps* Caps(TMediaKind kind, const TDeviceChoice& choice) const;

    // The V4L2 device node of a video device ("/dev/video0"); empty for other devices.
    std::string DevicePath(const TDeviceChoice& videoChoice) const;

    // Inside: what the provider threads share with the lists, and one provider's watch.
    struct TShared;
    struct TWatch;

  private:
    // The device at `choice` with one reference for the caller, or null.
    GstDevice* FindDevice(TMediaKind kind, const TDeviceChoice& choice) const;

    std::shared_ptr<TShared> FShared;
    std::vector<std::shared_ptr<TWatch>> FWatches;
};
