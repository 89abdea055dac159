#pragma once
// VideoPreview: draws the newest preview frame scaled into its own rectangle. Frames arrive
// on a capture thread through PresentFrame, which copies the picture under a lock and asks
// the window thread for one repaint; frames that come faster than the screen repaints are
// simply replaced, never queued.

#include <QImage>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <mutex>

#include "app/thread_calls.h"

class TPreviewWidget final : public QWidget {
    Q_OBJECT
  public:
    explicit TPreviewWidget(QWidget* parent = nullptr);

    // Any thread: one frame of packed 24-bit pixels, red first (rgb == true) or blue first,
    // `stride` bytes per row, top row first. The data is copied before it returns.
    void PresentFrame(const uint8_t* data, int width, int height, int stride, bool rgb);

    // Main thread: the frame drawn at the last repaint (a copy), and how many were drawn.
    QImage LastFrame() const;
    int FramesPresented() const { return FPresented.load(std::memory_order_relaxed); }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    mutable std::mutex FLock;
    QImage FFrame;  // guarded by FLock
    std::atomic<bool> FRepaintPending{false};
    std::atomic<int> FPresented{0};
    TThreadCalls FRepaintCalls;  // carries the repaint requests to the window thread
};
