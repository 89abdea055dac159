#pragma once
// Runs one recording or broadcast without a window, as the main window would: a capture (the
// synthetic sources or the capture graph) stands for the window's graph, a live encoder per
// run, the same stop order (capture first, then the encoder), and the same restart rule for a
// lost server (a broadcast that also records connects again without a new run). Window log
// lines and status lines go to `out`.

#include <atomic>
#include <memory>
#include <ostream>
#include <string>

#include "app/headless_capture.h"
#include "app/headless_options.h"
#include "app/stall_report.h"
#include "engine/live_encoder.h"

class THeadlessRunner final {
  public:
    THeadlessRunner(const THeadlessOptions& options, std::ostream& out, std::ostream& err);
    ~THeadlessRunner();

    // Exit statuses besides 0 (as asked) and 2 (options that cannot be used).
    static constexpr int FailedStatus = 1;          // the output or an encoder failed
    static constexpr int DeviceFaultStatus = 3;     // a capture device failed or stalled
    static constexpr int NeverConnectedStatus = 4;  // no server ever let the broadcast in

    // Applies the option overrides to the in-memory settings (never saved), runs until the
    // duration has been encoded, a device fails, the output fails or `stop` turns true, and
    // returns the exit status.
    int Run(const std::atomic<bool>& stop);

  private:
    void ApplyOverrides() const;
    bool StartRun();
    void StopRun();
    void Restart();
    // A lost server: a new connection, or a new run when the output cannot reconnect.
    void Reconnect();
    double EncodedSeconds() const;
    // Marks the run as failed (exit status 1), telling why once.
    void FailRun(const std::string& why);
    double TotalSeconds() const { return FEarlierRunsSeconds + EncodedSeconds(); }
    int PollIntervalMs() const;
    void FlushLog();
    void PrintStatus();

    const THeadlessOptions FOptions;
    std::ostream& FOut;
    std::ostream& FErr;
    std::unique_ptr<THeadlessCapture> FCapture;
    std::unique_ptr<TLiveEncoder> FEncoder;
    bool FRunHasVideo = false;
    TStallReport FStalls;  // over the whole invocation: a stall in any run counts
    bool FRunHasAudio = false;
    double FEarlierRunsSeconds = 0;
    bool FFailed = false;
    bool FEverAccepted = false;  // a broadcast's server let one of the runs in
};

// Prints "video: NAME" and "audio: NAME", one device a line, in the menus' order; under each
// video device its capture modes, "  mode: YUY2 1280x720@30/1" ("Test Pattern" shaped by the
// options).
void ListCaptureDevices(const THeadlessOptions& options, std::ostream& out);
