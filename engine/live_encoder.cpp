#include "engine/live_encoder.h"

#include <algorithm>
#include <cassert>
#include <cctype>
#include <cmath>
#include <cstring>
#include <exception>

#include "engine/start_failure.h"
#include "settings/log.h"
#include "settings/settings.h"

namespace {

constexpr int EncoderPriorityBoost = 1;
constexpr int TheoraWorkerPriorityBoost = 2;

// Writing pages from the clock loop: any stream with more than one page queued, or spanning
// three seconds.
constexpr int ClockMaxQueuedPages = 1;
constexpr int ClockMaxSpanMs = 3000;

// Bounds of one wait for a captured frame or for sound; a frame, the sound or the stop ends
// it at once.
constexpr int FrameWaitStepMs = 100;
constexpr int SoundWaitStepMs = 100;

bool IsBlank(const std::string& value) {
    for (unsigned char c : value) {
        if (c > ' ') return false;
    }
    return true;
}

}  // namespace

TLiveEncoder::TLiveEncoder(const TWaveFormatEx* audioFormat, const TBitmapInfoHeader* videoHeader,
                           std::unique_ptr<tOggIOBase> output)
    : FOutput(std::move(output)) {
    assert(FOutput && "the owner hands every run its output");
    Build(audioFormat, videoHeader);
}

void TLiveEncoder::Build(const TWaveFormatEx* audioFormat, const TBitmapInfoHeader* videoHeader) {
    try {
        BuildParts(audioFormat, videoHeader);
    } catch (...) {
        // Nothing of a run that cannot start may reach the output: an earlier recording in
        // the same file stays whole.
        FOutput->Abandon();
        throw;
    }
    StartThread(EncoderPriorityBoost);
}

void TLiveEncoder::BuildParts(const TWaveFormatEx* audioFormat,
                              const TBitmapInfoHeader* videoHeader) {
    FClock = std::make_unique<TMediaClock>(
        audioFormat ? static_cast<int32_t>(audioFormat->nAvgBytesPerSec) : 0);
    if (audioFormat) {
        FAudioProcessor = std::make_unique<TAudioProcessor>(*audioFormat);
        FSampleRate = static_cast<int32_t>(FAudioProcessor->OutputFormat().nSamplesPerSec);
        FBytesPerSampleFrame = FAudioProcessor->OutputFormat().nBlockAlign;
    }
    if (videoHeader) MakeVideoProcessor(*videoHeader);
    if (FVideoProcessor) FTheoraCodec = std::make_unique<tOggTheoraCodec>();
    if (FAudioProcessor) FVorbisCodec = std::make_unique<tOggVorbisCodec>();

    AddStreamComment("Name", Settings.StreamName);
    AddStreamComment("Description", Settings.StreamDesc);
    AddStreamComment("Genre", Settings.StreamGenre);
    AddStreamComment("URL", Settings.StreamURL);

    // No page leaves before every stream has its first page queued, so the beginning-of-stream
    // pages lead the file whatever the size of the headers.
    FOutput->HoldWriting(true);
    if (FTheoraCodec) InitTheora();
    if (FVorbisCodec) InitVorbis();
    FOutput->HoldWriting(false);
    if (FTheoraCodec) DebugLine("Theora Enabled");
    if (FVorbisCodec) DebugLine("Vorbis Enabled");
}

void TLiveEncoder::MakeVideoProcessor(const TBitmapInfoHeader& header) {
    try {
        FVideoProcessor = std::make_unique<TVideoProcessor>(header);
    } catch (const std::exception& error) {
        // The processor has logged the details.
        throw TStartFailure(true, error.what());
    }
}

TLiveEncoder::~TLiveEncoder() {
    DebugLine("TLiveEncoder.Destroy");
    Stop();
    FOutput.reset();
    if (FAudioProcessor) FAudioProcessor->Terminate();
    FAudioProcessor.reset();
    FVideoProcessor.reset();
}

void TLiveEncoder::Stop() {
    // The owner may stop the run to read its end, then free it: the second call is a no-op.
    if (FStopped) return;
    FStopped = true;
    // Flag, wake (the output stops waiting on the network), join, free.
    StopThread();
    FTheoraThread.reset();  // waits for the frame being encoded
    if (FTheoraCodec) FTheoraCodec->Finish();
    FTheoraCodec.reset();
    if (FVorbisCodec) FVorbisCodec->Finish();
    FVorbisCodec.reset();
    // The output sends or writes what is still queued, the end-of-stream pages included.
    if (FOutput) FOutput->Close();
}

void TLiveEncoder::Wake() {
    if (FOutput) FOutput->Abort();
    if (FVideoProcessor) FVideoProcessor->WakeWaiter();
    if (FAudioProcessor) FAudioProcessor->WakeReader();
}

void TLiveEncoder::AddStreamComment(const std::string& name, const std::string& value) {
    if (IsBlank(value)) return;
    // The value goes in untrimmed: only a value of nothing but blanks is left out.
    if (FTheoraCodec) FTheoraCodec->AddComment(name, value);
    if (FVorbisCodec) FVorbisCodec->AddComment(name, value);
}

void TLiveEncoder::InitTheora() {
    // The encoder works on the processor's output frames, whose sizes are rounded up to 16;
    // the stored size is that of the last run with video.
    Settings.Theora.Width = FVideoProcessor->OutputWidth();
    Settings.Theora.Height = FVideoProcessor->OutputHeight();
    if (!FTheoraCodec->Init(FOutput.get(), Settings.Theora, FVideoProcessor->PictureWidth(),
                            FVideoProcessor->PictureHeight(), Settings.TheoraFasterMode)) {
        FailCodec(true, "Theora");
    }
    FTheoraThread =
        std::make_unique<tTheroraVideoEncoderThread>(*FTheoraCodec, TheoraWorkerPriorityBoost);
}

void TLiveEncoder::InitVorbis() {
    const TWaveFormatEx& pcm = FAudioProcessor->OutputFormat();
    if (!FVorbisCodec->Init(FOutput.get(), pcm.nChannels, Settings.VorbisQuality / 1000.0,
                            static_cast<int32_t>(pcm.nSamplesPerSec))) {
        FailCodec(false, "Vorbis");
    }
}

void TLiveEncoder::FailCodec(bool video, const std::string& codec) {
    // A run without the stream the operator asked for is not started: a recording that
    // silently lacks its sound is worse than none.
    const std::string reason = codec + " encoder could not be started";
    LogLine(reason);
    throw TStartFailure(video, reason);
}

bool TLiveEncoder::WriteAudio(const void* data, int32_t size) {
    if (!FAudioProcessor) return true;
    FClock->AudioArrived(size);
    return FAudioProcessor->Write(data, size);
}

void TLiveEncoder::PutVideoFrame(const void* data, int32_t size, double timeSeconds) {
    if (!FVideoProcessor) return;
    FClock->VideoArrived(timeSeconds);
    FVideoProcessor->PutFrame(data, size, timeSeconds);
}

bool TLiveEncoder::Connected() const {
    return FOutput->Connected();
}

bool TLiveEncoder::Connecting() const {
    return FOutput->Connecting();
}

int32_t TLiveEncoder::SendRateKbps() const {
    return FOutput->SendRateKbps();
}

void TLiveEncoder::Execute() {
    LogLine("Encoding started");
    SetState(0);
    // Two slots for frames in turn: the worker may still be encoding the previous frame while
    // the next one is fetched, and Submit waits for it before handing over the next. A held
    // frame is the video processor's own buffer, which it does not reuse until released.
    TVideoProcessor::TFrameHandle frames[2];
    std::vector<uint8_t> audio;
    int64_t samplesTaken = 0;
    try {
        bool exitPoint = false;
        for (int32_t step = 0; !Terminated();) {
            SetState(1);
            double time;
            if (FVideoProcessor) {
                time = static_cast<double>(step) / Settings.Theora.FPS;
                if (!EncodeVideoStep(time, frames[step & 1], frames[(step + 1) & 1])) {
                    exitPoint = true;
                    break;
                }
                // Captures before the next picture's time are dropped as they arrive, not
                // converted first: at a Theora rate below the camera's, every other one.
                FVideoProcessor->WillAskFor(static_cast<double>(step + 1) / Settings.Theora.FPS);
            } else {
                time = static_cast<double>(step) / 10;
            }
            ++step;
            SetState(8);
            if (FAudioProcessor && !EncodeAudioStep(time, audio, samplesTaken)) {
                exitPoint = true;
                break;
            }
            SetState(15);
        }
        if (!exitPoint) LogLine("Encoding gracefully stopped");
    } catch (const std::exception& error) {
        LogLine(std::string("Encoding stopped exception: ") + error.what());
    } catch (...) {
        LogLine("Encoding stopped exception: unknown error");
    }
    if (SamplesDropped() > 0) {
        DebugLine("Late sound dropped: " + std::to_string(SamplesDropped()) + " sample frames");
    }
    LogLine(StopLine());
    // The worker may still be converting the last frame handed over: the frames that hold it
    // are released with this body.
    if (FTheoraThread) FTheoraThread->WaitIdle();
}

bool TLiveEncoder::EncodeVideoStep(double time, TVideoProcessor::TFrameHandle& frame,
                                   TVideoProcessor::TFrameHandle& previous) {
    SetState(2);
    SetState(3);
    // Taking the processor's frame itself saves copying it.
    TVideoProcessor::TFrameHandle next;
    while (!(next = FVideoProcessor->GetFrame(time))) {
        if (Terminated()) {
            SetState(4);
            DebugLine("ExitPoint 1");
            return false;
        }
        // A camera that stalls: the last picture stands until frames come again.
        if (previous && FReplaceLate.load(std::memory_order_relaxed) && FClock->Late(time)) {
            next = previous;
            break;
        }
        // Woken by the next captured frame (or the stop) instead of polling every millisecond.
        FVideoProcessor->WaitForFrame(FrameWaitStepMs);
    }
    frame = std::move(next);
    SetState(5);
    FTheoraThread->Submit(frame.get(), FVideoProcessor->OutputStride(), false,
                          FVideoProcessor->OutputFormat());
    // Submit returned once the worker was done with the previous frame: released now, its
    // buffer takes the next capture while this step waits for its sound, rather than a third
    // buffer being mapped. This frame stays, to stand in if the camera stalls.
    previous = {};
    SetState(6);
    FFramesEncoded.fetch_add(1, std::memory_order_relaxed);
    if (!FAudioProcessor) FOutput->WritePages(ClockMaxQueuedPages, ClockMaxSpanMs);
    SetState(7);
    return true;
}

bool TLiveEncoder::EncodeAudioStep(double time, std::vector<uint8_t>& audio,
                                   int64_t& samplesTaken) {
    // Round half to even, the default rounding mode.
    const auto due = static_cast<int64_t>(std::nearbyint(FSampleRate * time));
    SetState(9);
    auto bytes = static_cast<int32_t>((due - samplesTaken) * FBytesPerSampleFrame);
    if (bytes <= 0) return true;
    SetState(10);
    if (static_cast<size_t>(bytes) > audio.size()) audio.resize(static_cast<size_t>(bytes));
    SetState(11);
    samplesTaken = due;
    SetState(12);
    do {
        const int32_t read = FAudioProcessor->Read(audio.data(), bytes);
        const int32_t got = DropLateSound(audio, read);
        bytes -= got;
        if (got > 0) {
            const int32_t frames = got / FBytesPerSampleFrame;
            FVorbisCodec->Encode(reinterpret_cast<const int16_t*>(audio.data()), frames, false);
            FSamplesEncoded.fetch_add(frames, std::memory_order_relaxed);
        }
        if (Terminated()) {
            SetState(13);
            DebugLine("ExitPoint 2");
            return false;
        }
        // Sound just dropped as a backlog: more of it may wait, which is this step's sound.
        if (read > got) continue;
        if (bytes > 0 && FReplaceLate.load(std::memory_order_relaxed) && FClock->Late(time)) {
            EncodeSilence(audio, bytes);
            break;
        }
        // Woken by the next converted sound (or the stop) instead of polling every 2 ms.
        if (bytes > 0) FAudioProcessor->WaitForOutput(SoundWaitStepMs);
    } while (bytes > 0);
    SetState(14);
    if (!FVideoProcessor) FOutput->WritePages(ClockMaxQueuedPages, ClockMaxSpanMs);
    return true;
}

void TLiveEncoder::EncodeSilence(std::vector<uint8_t>& audio, int32_t bytes) {
    std::fill(audio.begin(), audio.begin() + bytes, uint8_t{0});
    const int32_t frames = bytes / FBytesPerSampleFrame;
    FVorbisCodec->Encode(reinterpret_cast<const int16_t*>(audio.data()), frames, false);
    FSamplesEncoded.fetch_add(frames, std::memory_order_relaxed);
    if (FAudioDebt == 0) DebugLine("Sound is late: silence instead");
    FAudioDebt += frames;
}

int32_t TLiveEncoder::DropLateSound(std::vector<uint8_t>& audio, int32_t got) {
    const int32_t frames = got / FBytesPerSampleFrame;
    FSoundRead += frames;
    if (FAudioDebt == 0 || frames == 0) return got;
    // Where the queued sound would end in the file, against how far the run has got: beyond
    // it by more than the allowed lateness, the queue holds a backlog whose front silence
    // already stands in for; it goes until the sound ends where the run is.
    const double queued =
        FClock->SoundSeconds() - static_cast<double>(FSoundRead - frames) / FSampleRate;
    const double encoded =
        static_cast<double>(FSamplesEncoded.load(std::memory_order_relaxed)) / FSampleRate;
    const double ahead = encoded + queued - FClock->ClockWithoutSound();
    if (ahead > TMediaClock::LateSeconds) FDroppingBacklog = true;
    if (!FDroppingBacklog || ahead <= 0) {
        FDroppingBacklog = false;
        return got;
    }
    const auto drop = static_cast<int32_t>(std::min<int64_t>(
        {FAudioDebt, static_cast<int64_t>(std::ceil(ahead * FSampleRate)), frames}));
    FAudioDebt -= drop;
    FSamplesDropped.fetch_add(drop, std::memory_order_relaxed);
    const int32_t dropBytes = drop * FBytesPerSampleFrame;
    std::memmove(audio.data(), audio.data() + dropBytes, static_cast<size_t>(got - dropBytes));
    return got - dropBytes;
}

std::string TLiveEncoder::StopLine() const {
    const std::string tail = FVideoProcessor ? "VideoProcessorProcessPos: " +
                                                   std::to_string(FVideoProcessor->ProcessPos())
                                             : " VideoProcessor=NIL";
    return "Encoding stopped in state " + std::to_string(ProgressState()) + " " + tail;
}
