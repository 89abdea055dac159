#pragma once
// tTheroraVideoEncoderThread: encodes video frames with a tOggTheoraCodec on a worker thread
// of its own, one frame at a time, so the live encoder can pull audio meanwhile. There is no
// queue: Submit waits while the previous frame is still being encoded, and no frame is
// dropped here.
//
// Threads: one submitting thread (the live encoder's) calls Submit and WaitIdle; the owner
// creates and destroys the object while nothing is submitted. The frame handed to Submit is
// read by the worker until the worker is idle again (the next Submit or WaitIdle returns).
//
// A worker that has ended (after an exception while encoding, or once terminated) takes no
// more frames: Submit then returns false at once instead of waiting for it.

#include <atomic>
#include <cstdint>

#include "base/event.h"
#include "base/thread.h"
#include "engine/ogg_theora_codec.h"

class tTheroraVideoEncoderThread final : public TWorkerThread {
  public:
    // Starts the worker, idle; priorityBoost is the number of steps above normal (best effort).
    // The codec (not owned) must outlive the object.
    explicit tTheroraVideoEncoderThread(tOggTheoraCodec& codec, int priorityBoost = 0);
    // Waits for the frame in progress, then stops and joins the worker.
    ~tTheroraVideoEncoderThread() override;

    // Hands one frame (as tOggTheoraCodec::EncodeFrame takes it) to the worker once it is idle,
    // and returns the result of the previous frame's encoding (true before the first one).
    // False at once when the worker has ended; the frame is then not taken.
    bool Submit(const uint8_t* frame, int32_t frameStride, bool last,
                TFrameFormat format = TFrameFormat::Bgrx);

    // Blocks until the worker is idle; false when it has ended.
    bool WaitIdle();

  protected:
    void Execute() override;
    void Wake() override { FWorkEvent.Set(); }

  private:
    // Waits for a job; false when the worker is to stop.
    bool AwaitWork();
    void EncodeJob();

    struct TJob {
        const uint8_t* Frame = nullptr;
        int32_t Stride = 0;
        bool Last = false;
        TFrameFormat Format = TFrameFormat::Bgrx;
    };

    tOggTheoraCodec& FCodec;
    TEvent FIdleEvent{true};   // set: no frame in progress
    TEvent FWorkEvent{false};  // set: a job waits, or the worker is to stop
    TJob FJob;                 // written by Submit while idle, read by the worker while busy
    std::atomic<bool> FLastResult{true};
    std::atomic<bool> FEnded{false};  // the worker's loop has finished
};
