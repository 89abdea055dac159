#pragma once
// TCaptureGraph: the capture graph of the main window, one GstPipeline holding the chosen
// video and audio devices. Both devices live in one pipeline so that both media run on one
// clock (GStreamer takes the audio device's clock when it offers one): frame times and the
// sample count then cannot drift apart.
//
//   video device -> device caps -> decode/convert -> BGR or Y'CbCr -> tee -> video tap (appsink)
//                                                                     \-> leaky queue -> RGB ->
//                                                                     preview
//   (YUY2, UYVY, NV12 and I420 pass as they come, JPEG is decoded to I420, other Y'CbCr is
//   converted to I420; BGR for everything else)
//   audio device -> device caps -> convert/resample -> S16LE -> tee -> audio tap (appsink)
//                                                              \-> level   \-> autoaudiosink
//
// The owner drives it as the window drives its graph: SetVideoMode (the device's stored mode,
// if any) and Build (build, run, status text), Stop / ChooseAudioFormat / ChooseVideoFormat /
// Run around a run's start, Stop / Run around its end, TearDown before another device choice or
// mode. Stop returns when no callback runs any more, so the owner may then free what the
// callbacks use; only when a device does not answer within the bound does it return with the
// graph stuck, callbacks possibly still running (the forwarder guards the encoder against
// that), until TearDown lets go of the pipeline.
//
// Threads: all methods on the owner's thread; callbacks as capture_callbacks.h says.

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture/capture_callbacks.h"
#include "capture/capture_devices.h"
#include "capture/connect_status.h"
#include "capture/element_properties.h"
#include "capture/format_choice.h"
#include "capture/state_change.h"
#include "capture/test_devices.h"
#include "settings/video_mode.h"

// What Build found, and the status text it made of it.
struct TConnectResult {
    bool AudioAttached = false;  // a device was chosen and its stream works
    bool AudioOk = false;
    bool VideoAttached = false;
    bool VideoOk = false;
    int Width = 0;  // native video size, 0 when unknown
    int Height = 0;
    // The mode the video device runs in, when one was asked for (SetVideoMode) and offered.
    std::optional<TVideoMode> VideoMode;
    std::string Status;  // "Audio OK  -  Video OK (640x480)  -  OK"
    bool Ready = false;  // the graph runs ("Ready" was logged)
};

class TCaptureGraph final {
  public:
    // `devices` must outlive the graph. `testOptions` shapes "Test Pattern" and "Test Tone".
    explicit TCaptureGraph(const TCaptureDevices& devices, TTestDeviceOptions testOptions = {});
    ~TCaptureGraph();
    TCaptureGraph(const TCaptureGraph&) = delete;
    TCaptureGraph& operator=(const TCaptureGraph&) = delete;

    // Only while torn down.
    void SetCallbacks(TCaptureCallbacks callbacks);
    // The mode the next builds ask the video device for (format, size and rate, kept through
    // ChooseVideoFormat); none, or one the device does not offer (logged once), leaves the
    // automatic choice.
    void SetVideoMode(std::optional<TVideoMode> mode);

    // Builds the graph for the chosen devices (None(): that medium is left out), runs it,
    // logs "Connecting sources" and "Ready", and builds the status text. A medium whose
    // device cannot start is left out ("Failed" in the status); the other still works.
    TConnectResult Build(const TDeviceChoice& video, const TDeviceChoice& audio, bool audioPreview);

    // Runs the graph (starts the test devices); false when it does not start.
    bool Run();
    // Stops the graph (waits at most 1000 ms for the devices); afterwards no callback runs,
    // unless a device did not answer (the graph is stuck then).
    void Stop();
    // Stops and empties the graph (at most 5000 ms).
    void TearDown();

    // Only while stopped: the audio format of the next run, chosen from what the device
    // offers and applied; none without an audio device.
    std::optional<TWaveFormatEx> ChooseAudioFormat(int wantedRate, int wantedChannels);
    // Only while stopped: the header of the frames the next run's video tap delivers, the
    // frame rate raised to `fps` where the device runs slower (not in a chosen mode); none
    // without a video device.
    std::optional<TBitmapInfoHeader> ChooseVideoFormat(int fps);

    bool AudioAttached() const { return FAudioSource != nullptr; }
    bool VideoAttached() const { return FVideoSource != nullptr; }
    bool Running() const { return FRunning; }

    // For the property dialogs (call while stopped). Empty without that device.
    std::vector<TElementProperty> Properties(TMediaKind kind) const;
    bool SetProperty(TMediaKind kind, const std::string& name, const std::string& value);
    std::vector<TColorBalanceChannel> ColorBalance() const;
    // The modes the video device offers (video_modes.h); empty without one.
    std::vector<TVideoMode> VideoModes() const;
    bool SetColorBalance(const std::string& channel, int value);
    // The V4L2 node of the video device, for its input selector (v4l2_inputs.h); empty when
    // the device is no V4L2 device.
    std::string VideoDevicePath() const { return FVideoDevicePath; }

  private:
    struct TCapsCache;
    bool BuildPipeline(const TDeviceChoice& video, const TDeviceChoice& audio, bool audioPreview,
                       TConnectState& state);
    GstElement* CreateSource(TMediaKind kind, const TDeviceChoice& choice);
    // The formats `source` offers now, else what its device announced.
    GstCaps* OfferedCaps(TMediaKind kind, GstElement* source) const;
    bool AddVideoBranch(GstElement* source);
    std::optional<TVideoOption> StartVideoOption(const GstCaps* offered);
    TVideoOption AutomaticRunOption(int fps) const;
    bool AddAudioBranch(GstElement* source, bool audioPreview);
    void AddPreviewBranch(GstElement* tee);
    void WaitForCaps(int timeoutMs) const;
    void ReadNegotiatedSize(TConnectState& state) const;
    void DestroyPipeline();
    // State changes are bounded: a device that does not answer leaves the graph stuck (see
    // state_change.h) instead of holding up its owner.
    bool ChangeState(GstState state, int timeoutMs);
    bool Returned(const TStateChange& change, TStateChange::TClock::time_point deadline);
    bool Settled(TStateChange::TClock::time_point deadline) const;
    void Abandon();
    void StartTestDevices();
    void StopTestDevices();
    void ReportFault(TCaptureFault::TKind kind, bool video, const std::string& detail);
    void OnBusMessage(GstMessage* message);
    void OnLevelMessage(const GstStructure* levels);
    static GstBusSyncReply BusSyncHandler(GstBus* bus, GstMessage* message, gpointer self);
    static GstFlowReturn OnVideoSample(GstAppSink* sink, gpointer self);
    static GstFlowReturn OnAudioSample(GstAppSink* sink, gpointer self);
    static GstFlowReturn OnPreviewSample(GstAppSink* sink, gpointer self);
    static void OnVideoEos(GstAppSink* sink, gpointer self);
    static void OnAudioEos(GstAppSink* sink, gpointer self);

    const TCaptureDevices& FDevices;
    const TTestDeviceOptions FTestOptions;
    TCaptureCallbacks FCallbacks;
    GstElement* FPipeline = nullptr;  // owned; everything below lives in it
    GstElement* FVideoBin = nullptr;
    GstElement* FAudioBin = nullptr;
    GstElement* FVideoSource = nullptr;
    GstElement* FAudioSource = nullptr;
    GstElement* FVideoDeviceCaps = nullptr;  // capsfilters after the devices
    GstElement* FAudioDeviceCaps = nullptr;
    GstElement* FVideoTapCaps = nullptr;  // capsfilters before the tees
    GstElement* FAudioTapCaps = nullptr;
    GstElement* FVideoTap = nullptr;
    GstElement* FAudioTap = nullptr;
    GstElement* FPreviewTap = nullptr;
    // What the real devices announced (owned); stands in for a source that offers nothing
    // before it runs.
    GstCaps* FVideoDeviceOffer = nullptr;
    GstCaps* FAudioDeviceOffer = nullptr;
    std::unique_ptr<TTestVideoDevice> FTestVideo;
    std::unique_ptr<TTestAudioDevice> FTestAudio;
    std::string FVideoDevicePath;
    std::optional<TVideoOption> FVideoCurrent;  // the format the video device is asked for
    std::optional<TVideoMode> FWantedVideoMode;
    std::optional<TVideoMode> FVideoMode;  // the wanted one as the device offers it
    std::string FMissingModeLogged;        // the last wanted mode found missing
    bool FRunning = false;
    bool FStuck = false;  // a state change has not returned: the pipeline is left alone
    // Set while the owner builds the graph: failures are noted, not reported as run faults.
    std::atomic<bool> FBuilding{false};
    std::atomic<bool> FVideoFailed{false};
    std::atomic<bool> FAudioFailed{false};
    // Streaming-thread state (one thread each), kept apart from the owner's fields.
    std::unique_ptr<TCapsCache> FVideoCache;
    std::unique_ptr<TCapsCache> FAudioCache;
};
