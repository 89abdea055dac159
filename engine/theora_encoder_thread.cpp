#include "engine/theora_encoder_thread.h"

#include <exception>
#include <string>

#include "settings/log.h"

namespace {

// Bound of each single wait; the waits are woken at once by the events they wait for.
constexpr int WaitStepMs = 500;

}  // namespace

tTheroraVideoEncoderThread::tTheroraVideoEncoderThread(tOggTheoraCodec& codec, int priorityBoost)
    : FCodec(codec) {
    StartThread(priorityBoost);
}

tTheroraVideoEncoderThread::~tTheroraVideoEncoderThread() {
    WaitIdle();
    StopThread();
}

bool tTheroraVideoEncoderThread::Submit(const uint8_t* frame, int32_t frameStride, bool last,
                                        TFrameFormat format) {
    if (!WaitIdle()) return false;
    FJob = {frame, frameStride, last, format};
    FIdleEvent.Reset();
    const bool previous = FLastResult.load();
    FWorkEvent.Set();
    return previous;
}

bool tTheroraVideoEncoderThread::WaitIdle() {
    // The worker sets the idle event on every way out, so this ends; the test of Running()
    // only guards against a thread that never got to run its loop.
    while (!FIdleEvent.WaitFor(WaitStepMs) && Running()) {
    }
    return !FEnded.load();
}

void tTheroraVideoEncoderThread::Execute() {
    try {
        while (AwaitWork()) EncodeJob();
    } catch (const std::exception& error) {
        LogLine(std::string("Theora encoder stopped: ") + error.what());
    } catch (...) {
        LogLine("Theora encoder stopped");
    }
    FEnded.store(true);
    FIdleEvent.Set();
}

bool tTheroraVideoEncoderThread::AwaitWork() {
    while (!Terminated()) {
        if (FWorkEvent.WaitFor(WaitStepMs)) return !Terminated();
    }
    return false;
}

void tTheroraVideoEncoderThread::EncodeJob() {
    FLastResult.store(FCodec.EncodeFrame(FJob.Frame, FJob.Stride, FJob.Format, FJob.Last));
    FWorkEvent.Reset();
    FIdleEvent.Set();
}
