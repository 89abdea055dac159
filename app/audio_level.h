#pragma once
// Sound level of the captured audio for the meter: the capture thread adds 16-bit PCM as it
// arrives, the window takes peak and RMS (dBFS) of everything added since its last look.
// One mutex, held for a few additions or one swap.

#include <cstdint>
#include <mutex>

struct TLevelReading {
    // dB relative to full scale (0 = a full-scale square wave); Silence when nothing or only
    // zeros arrived.
    double PeakDb = Silence;
    double RmsDb = Silence;
    static constexpr double Silence = -120.0;
};

class TAudioLevel final {
  public:
    // Capture thread: interleaved samples; every channel counts alike.
    void Add(const int16_t* samples, int count);
    // Main thread: the level since the last call; resets the sums.
    TLevelReading Take();

  private:
    std::mutex FLock;
    int32_t FPeak = 0;         // guarded by FLock; largest magnitude seen
    double FSumSquares = 0;    // guarded by FLock
    int64_t FSampleCount = 0;  // guarded by FLock
};

// 20 log10(amplitude / 32768), never below TLevelReading::Silence.
double AmplitudeToDb(double amplitude);
