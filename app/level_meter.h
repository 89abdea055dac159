#pragma once
// The sound level meter in the status bar: a bar for RMS with a tick for the peak, from
// -60 dBFS to 0, green, then yellow above -18 dBFS, red above -6; the peak in figures
// beside it. Updated at display rate from a TAudioLevel; a medium without audio shows a
// grey, empty meter.

#include <QTimer>
#include <QWidget>

#include "app/audio_level.h"

class TLevelMeter final : public QWidget {
    Q_OBJECT
  public:
    explicit TLevelMeter(TAudioLevel& source, QWidget* parent = nullptr);

    // The last reading shown; a peak is held for about a second so a short click is seen.
    TLevelReading Shown() const { return FShown; }
    void SetActive(bool active);

    static constexpr double FloorDb = -60.0;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void Refresh();

    TAudioLevel& FSource;
    QTimer FTimer;
    TLevelReading FShown;
    double FHeldPeakDb = TLevelReading::Silence;
    int FHoldTicks = 0;
    bool FActive = false;
};
