#pragma once
// Capture devices through the capture graph, driven as the main window drives it: build and
// run for preview; before a run stop the graph, choose the formats, create the encoder, run;
// after a run stop the graph, then free the encoder.

#include <mutex>

#include "app/headless_capture.h"
#include "app/headless_options.h"
#include "capture/capture_devices.h"
#include "capture/capture_forwarder.h"
#include "capture/capture_graph.h"

// "Test Pattern" and "Test Tone" as the options shape them.
TTestDeviceOptions TestDeviceOptions(const THeadlessOptions& options);

class TGraphCapture final : public THeadlessCapture {
  public:
    explicit TGraphCapture(const THeadlessOptions& options);
    ~TGraphCapture() override;

    bool Open() override;
    void PrepareRun(std::optional<TWaveFormatEx>& audio,
                    std::optional<TBitmapInfoHeader>& video) override;
    void StartRun(TLiveEncoder& encoder) override;
    void StopRun() override;
    std::optional<std::string> Fault() const override;
    bool LiveDevices() const override { return true; }

  private:
    TDeviceChoice Choose(TMediaKind kind, const std::optional<std::string>& name,
                         const std::string& stored) const;

    const THeadlessOptions FOptions;
    TCaptureDevices FDevices;
    TCaptureForwarder FForwarder;
    TCaptureGraph FGraph;
    mutable std::mutex FFaultLock;
    std::optional<std::string> FFault;  // guarded by FFaultLock
};
