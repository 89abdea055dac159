#include "engine/audio_processor.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "settings/log.h"
#include "settings/settings.h"

namespace {

// Waiting for the encoder to make room in the output queue.
void IdleWait() {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

// Bound of one wait for capture bytes; a Write or the stop ends it at once.
constexpr int InputWaitStepMs = 100;

}  // namespace

TAudioProcessor::TAudioProcessor(const TWaveFormatEx& captureFormat)
    : TAudioProcessor(WithEmptyExtension(captureFormat)) {}

TAudioProcessor::TAudioProcessor(const TWaveFormatExtensible& captureFormat)
    : FOutputFormat(TargetFormat()),
      FOutputQueue(std::make_unique<tByteQueue>(tByteQueue::MaxCapacity)),
      FConvertBufferSize(static_cast<int32_t>(5 * FOutputFormat.nAvgBytesPerSec)) {
    if (SameWaveFormat(captureFormat.Format, FOutputFormat)) return;
    FInputQueue = std::make_unique<tByteQueue>(tByteQueue::MaxCapacity);
    FConvertBuffer.resize(static_cast<size_t>(FConvertBufferSize) / sizeof(int16_t));
    FConverter = TAudioConverter::Open(captureFormat, FOutputFormat);
    if (!FConverter) {
        DebugLine("ACMConverter=NIL");
        return;
    }
    StartThread(2);
}

TAudioProcessor::~TAudioProcessor() {
    DebugLine("TAudioProcessor Terminate");
    StopThread();
}

TWaveFormatEx TAudioProcessor::TargetFormat() {
    // An index the settings should never hold is clamped rather than read out of bounds.
    int index = std::clamp<int>(Settings.VorbisSampleFreq, 0, std::size(SampleRateTable) - 1);
    uint16_t channels = Settings.VorbisStereo ? 2 : 1;
    return MakeWaveFormat(WAVE_FORMAT_PCM, channels, static_cast<uint32_t>(SampleRateTable[index]),
                          16);
}

bool TAudioProcessor::Write(const void* data, int32_t length) {
    if (!FInputQueue) {
        const bool written = FOutputQueue->Write(data, length);
        if (written) FOutputArrived.Set();
        return written;
    }
    const bool written = FInputQueue->Write(data, length);
    // The converter takes whole blocks: a write that leaves less waiting would wake it for
    // nothing.
    if (FInputQueue->Count() >= SourceBlockSize) FInputArrived.Set();
    return written;
}

int32_t TAudioProcessor::Read(void* dest, int32_t maxLength) {
    // Reset before looking, so that output queued meanwhile ends the next wait at once.
    FOutputArrived.Reset();
    return FOutputQueue->Read(dest, maxLength, FOutputFormat.nBlockAlign);
}

void TAudioProcessor::Execute() {
    if (!FInputQueue || !FConverter) return;
    DebugLine("ACMConverter Thread Started");
    while (!Terminated()) {
        if (FPendingLength > 0) {
            if (!QueuePending()) IdleWait();
            continue;
        }
        // Reset before looking, so that bytes written (or a stop) meanwhile end the wait at once.
        FInputArrived.Reset();
        if (!ConvertBlock() && !Terminated()) FInputArrived.WaitFor(InputWaitStepMs);
    }
    DebugLine("ACMConverter Thread Exited");
}

bool TAudioProcessor::ConvertBlock() {
    if (FInputQueue->Count() < SourceBlockSize) return false;
    FInputQueue->Read(FSourceBlock.data(), SourceBlockSize, 1);
    const int32_t frameBytes = FOutputFormat.nBlockAlign;
    int32_t frames = FConverter->Convert(FSourceBlock.data(), SourceBlockSize,
                                         FConvertBuffer.data(), FConvertBufferSize / frameBytes);
    FPendingOffset = 0;
    FPendingLength = frames * frameBytes;
    return true;
}

// A converted block that does not fit is queued in whole frames as room appears, never
// dropped; meanwhile capture bytes wait in the input queue.
bool TAudioProcessor::QueuePending() {
    const int32_t frameBytes = FOutputFormat.nBlockAlign;
    int32_t piece = std::min(FPendingLength, FOutputQueue->FreeSpace()) / frameBytes * frameBytes;
    if (piece == 0) return false;
    // Only this thread writes the output queue in converting mode, so the room seen stays.
    FOutputQueue->Write(reinterpret_cast<const uint8_t*>(FConvertBuffer.data()) + FPendingOffset,
                        piece);
    FOutputArrived.Set();
    FPendingOffset += piece;
    FPendingLength -= piece;
    return true;
}
