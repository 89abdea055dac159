#pragma once
// Where a headless run's samples come from: the synthetic sources fed straight to the encoder
// (for measurements), or capture devices through the capture graph (as the window runs them).
// The runner drives either the way the window drives its graph around each run.
//
// Threads: every method on the runner's thread.

#include <memory>
#include <optional>
#include <string>

#include "engine/wave_format.h"
#include "video/bitmap_info_header.h"

class TLiveEncoder;
struct THeadlessOptions;

class THeadlessCapture {
  public:
    virtual ~THeadlessCapture() = default;

    // Opens the devices (the capture graph is built and runs for preview); false with a line
    // on the log when nothing can be captured.
    virtual bool Open() = 0;

    // Stops delivery and fixes the formats of the next run; a medium without a device leaves
    // its format empty.
    virtual void PrepareRun(std::optional<TWaveFormatEx>& audio,
                            std::optional<TBitmapInfoHeader>& video) = 0;
    // Delivers to `encoder` from now on.
    virtual void StartRun(TLiveEncoder& encoder) = 0;
    // Stops delivery; when it returns no sample reaches the encoder any more.
    virtual void StopRun() = 0;

    // Real-time devices (the capture graph), which may stall; not the synthetic feeds.
    virtual bool LiveDevices() const = 0;

    // Set once a device failed or ended during a run: the message that was logged.
    virtual std::optional<std::string> Fault() const = 0;
};

std::unique_ptr<THeadlessCapture> MakeHeadlessCapture(const THeadlessOptions& options);
