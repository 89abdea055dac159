#include "app/level_meter.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace {

constexpr int RefreshMs = 40;  // about 25 readings a second
constexpr int PeakHoldTicks = 25;
constexpr int TextWidth = 62;
const QColor QuietColour(40, 190, 70);
const QColor LoudColour(230, 200, 40);
const QColor ClipColour(220, 50, 40);
const QColor TroughColour(30, 30, 30);
const QColor PeakTickColour(255, 255, 255);

double Fraction(double db) {
    return std::clamp((db - TLevelMeter::FloorDb) / -TLevelMeter::FloorDb, 0.0, 1.0);
}

}  // namespace

TLevelMeter::TLevelMeter(TAudioLevel& source, QWidget* parent) : QWidget(parent), FSource(source) {
    setObjectName("LevelMeter");
    setMinimumWidth(180);
    setToolTip("Sound level: RMS bar, peak tick, peak in dBFS");
    connect(&FTimer, &QTimer::timeout, this, &TLevelMeter::Refresh);
    FTimer.start(RefreshMs);
}

void TLevelMeter::SetActive(bool active) {
    FActive = active;
    if (!active) FShown = TLevelReading{};
    update();
}

void TLevelMeter::Refresh() {
    const TLevelReading reading = FSource.Take();
    if (!FActive) return;
    FShown.RmsDb = reading.RmsDb;
    if (reading.PeakDb >= FHeldPeakDb || --FHoldTicks <= 0) {
        FHeldPeakDb = reading.PeakDb;
        FHoldTicks = PeakHoldTicks;
    }
    FShown.PeakDb = FHeldPeakDb;
    update();
}

void TLevelMeter::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect bar(0, 3, std::max(width() - TextWidth, 10), height() - 6);
    painter.fillRect(bar, TroughColour);
    if (FActive) {
        const double rms = Fraction(FShown.RmsDb);
        const QColor colour = FShown.RmsDb > -6    ? ClipColour
                              : FShown.RmsDb > -18 ? LoudColour
                                                   : QuietColour;
        painter.fillRect(
            QRect(bar.left(), bar.top(), int(std::lround(bar.width() * rms)), bar.height()),
            colour);
        const int peakX =
            bar.left() + int(std::lround((bar.width() - 1) * Fraction(FShown.PeakDb)));
        if (FShown.PeakDb > FloorDb)
            painter.fillRect(peakX, bar.top(), 2, bar.height(), PeakTickColour);
    }
    const QString text = !FActive ? QString("no audio")
                         : FShown.PeakDb <= FloorDb
                             ? QString("-inf dB")
                             : QString("%1 dB").arg(FShown.PeakDb, 0, 'f', 1);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(QRect(bar.right() + 4, 0, TextWidth - 4, height()),
                     Qt::AlignVCenter | Qt::AlignLeft, text);
}
