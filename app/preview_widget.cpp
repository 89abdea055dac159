#include "app/preview_widget.h"

#include <QPainter>

TPreviewWidget::TPreviewWidget(QWidget* parent) : QWidget(parent) {
    setObjectName("VideoPreview");
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TPreviewWidget::PresentFrame(const uint8_t* data, int width, int height, int stride,
                                  bool rgb) {
    if (!data || width <= 0 || height <= 0 || stride < width * 3) return;
    // The wrapper does not own `data`; copy() makes the frame ours before the caller reuses it.
    const QImage wrapped(data, width, height, stride,
                         rgb ? QImage::Format_RGB888 : QImage::Format_BGR888);
    QImage copy = wrapped.copy();
    {
        std::lock_guard lock(FLock);
        FFrame.swap(copy);
    }
    FPresented.fetch_add(1, std::memory_order_relaxed);
    if (!FRepaintPending.exchange(true)) FRepaintCalls.Post([this] { update(); });
}

QImage TPreviewWidget::LastFrame() const {
    std::lock_guard lock(FLock);
    return FFrame.copy();
}

void TPreviewWidget::paintEvent(QPaintEvent*) {
    FRepaintPending.store(false);
    QImage frame;
    {
        std::lock_guard lock(FLock);
        frame = FFrame;  // shares the pixels; the next PresentFrame swaps in a new image
    }
    QPainter painter(this);
    if (frame.isNull()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect(), frame);
}
