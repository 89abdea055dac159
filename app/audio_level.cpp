#include "app/audio_level.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

double AmplitudeToDb(double amplitude) {
    if (amplitude <= 0) return TLevelReading::Silence;
    return std::max(TLevelReading::Silence, 20.0 * std::log10(amplitude / 32768.0));
}

void TAudioLevel::Add(const int16_t* samples, int count) {
    int32_t peak = 0;
    double sumSquares = 0;
    for (int i = 0; i < count; ++i) {
        const int32_t value = samples[i];
        peak = std::max(peak, std::abs(value));
        sumSquares += static_cast<double>(value) * value;
    }
    std::lock_guard lock(FLock);
    FPeak = std::max(FPeak, peak);
    FSumSquares += sumSquares;
    FSampleCount += std::max(count, 0);
}

TLevelReading TAudioLevel::Take() {
    int32_t peak;
    double sumSquares;
    int64_t sampleCount;
    {
        std::lock_guard lock(FLock);
        peak = FPeak;
        sumSquares = FSumSquares;
        sampleCount = FSampleCount;
        FPeak = 0;
        FSumSquares = 0;
        FSampleCount = 0;
    }
    TLevelReading reading;
    if (sampleCount == 0) return reading;
    reading.PeakDb = AmplitudeToDb(peak);
    reading.RmsDb = AmplitudeToDb(std::sqrt(sumSquares / static_cast<double>(sampleCount)));
    return reading;
}
