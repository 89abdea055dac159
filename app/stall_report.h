#pragma once
// TStallReport: tells the operator when a capture device stops delivering during a run. A
// device silent for 5 s is logged once per stall, and the status carries a warning while the
// stall lasts; the run itself goes on (the encoder fills in silence or the last picture).
//
// Threads: the owner's (the window's status timer, the headless runner's loop).

#include <string>

class TLiveEncoder;

class TStallReport final {
  public:
    // Looks at the run; returns the status warning ("Audio device stalled") while a device
    // stalls, else an empty text.
    std::string Check(const TLiveEncoder& encoder, bool hasAudio, bool hasVideo);
    // A device stalled at some time of this run.
    bool StallSeen() const { return FStallSeen; }

  private:
    struct TDevice {
        const char* Name;
        bool Reported = false;
    };
    std::string Look(TDevice& device, double silentSeconds);

    TDevice FAudio{"Audio"};
    TDevice FVideo{"Video"};
    bool FStallSeen = false;
};
