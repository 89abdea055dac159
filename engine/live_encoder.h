#pragma once
// TLiveEncoder owns one broadcast or recording run. Its constructor builds the run (audio
// processor, video processor, the encoders and the Theora worker) around the Ogg output its
// owner hands it, and starts its thread last; the thread runs the encoding clock: for step n it
// takes the video frame at n / FPS seconds (or advances 0.1 s per step without video), hands it to
// the Theora worker, then pulls exactly the audio due up to that time and encodes it with Vorbis.
//
// Threads: the owner (main window or headless runner) creates, polls and destroys it; the
// capture threads call WriteAudio and PutVideoFrame; the counters are read without a lock.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/thread.h"
#include "engine/audio_processor.h"
#include "engine/media_clock.h"
#include "engine/ogg_io_base.h"
#include "engine/ogg_theora_codec.h"
#include "engine/ogg_vorbis_codec.h"
#include "engine/theora_encoder_thread.h"
#include "engine/wave_format.h"
#include "video/bitmap_info_header.h"
#include "video/video_processor.h"

class TLiveEncoder final : public TWorkerThread {
  public:
    // Either format may be null: a run without audio or without video. The run writes into
    // `output` (never null), which the owner chose and which goes with the encoder. Throws
    // TStartFailure when the video processor or a codec cannot be made (logged), having
    // abandoned the output: nothing was written.
    TLiveEncoder(const TWaveFormatEx* audioFormat, const TBitmapInfoHeader* videoHeader,
                 std::unique_ptr<tOggIOBase> output);
    // Stop(), then frees the output and the processors.
    ~TLiveEncoder() override;

    // Ends the run: stops the thread and the Theora worker, ends both streams and closes the
    // output, so OutputFailed() also tells about the last writes. Bounded whatever the
    // network does. The owner calls it at most once, or leaves it to the destructor.
    void Stop();

    // Capture threads. False when the audio queue is full (the bytes are lost).
    bool WriteAudio(const void* data, int32_t size);
    void PutVideoFrame(const void* data, int32_t size, double timeSeconds);

    // Live capture: sound that is late by more than half a second becomes silence, and a
    // picture that is late repeats the last one, so one stalled device does not hold the run
    // back. Off for synthetic feeds, which may run far ahead of real time. Any thread.
    void ReplaceLateMedia(bool replace) { FReplaceLate.store(replace, std::memory_order_relaxed); }
    // Seconds since a device last delivered, for the owner's stall report.
    double SecondsSinceVideo() const { return FClock->SecondsSinceVideo(); }
    double SecondsSinceAudio() const { return FClock->SecondsSinceAudio(); }

    // False only when a network output has lost its server.
    bool Connected() const;
    // True while a network output still waits to be let in by its server.
    bool Connecting() const;
    int32_t SendRateKbps() const;

    int64_t SamplesEncoded() const { return FSamplesEncoded.load(std::memory_order_relaxed); }
    int32_t FramesEncoded() const { return FFramesEncoded.load(std::memory_order_relaxed); }
    // Sample frames of late sound dropped because silence already stood in for them.
    int64_t SamplesDropped() const { return FSamplesDropped.load(std::memory_order_relaxed); }
    // Sample frames per second of the PCM fed to Vorbis; 0 without audio.
    int32_t SampleRate() const { return FSampleRate; }

    // The output lost data it was given (a file write failed; logged by the output).
    bool OutputFailed() const { return FOutput && FOutput->Failed(); }
    // The output has nothing left to write to: the run is over (a failed file that is the
    // only output).
    bool OutputEnded() const { return FOutput && FOutput->Ended(); }
    // A network output that lost its server connects again without restarting the encoders;
    // false when the output cannot, and the owner restarts the run.
    bool ReconnectOutput() { return FOutput && !FStopped && FOutput->Reconnect(); }
    // A network output's server let the broadcast in at least once (always true for a file).
    bool OutputEverAccepted() const { return FOutput && FOutput->EverAccepted(); }
    // Why a network output is not connected; empty for a file or while all is well.
    std::string ConnectionProblem() const { return FOutput->ConnectionProblem(); }

    // Where the encoder thread is in its step; see the stop line it logs.
    int32_t ProgressState() const { return FProgressState.load(std::memory_order_relaxed); }

  protected:
    void Execute() override;
    // Ends a wait for the next video frame at once; a stop must not wait on the network, so
    // the output gives up on every write at once.
    void Wake() override;

  private:
    void Build(const TWaveFormatEx* audioFormat, const TBitmapInfoHeader* videoHeader);
    void AddStreamComment(const std::string& name, const std::string& value);
    void InitTheora();
    void InitVorbis();
    void BuildParts(const TWaveFormatEx* audioFormat, const TBitmapInfoHeader* videoHeader);
    void MakeVideoProcessor(const TBitmapInfoHeader& header);
    [[noreturn]] void FailCodec(bool video, const std::string& codec);

    // One step of the clock; false when a stop was seen while waiting (an exit point).
    // `previous` is released once the worker is done with it.
    bool EncodeVideoStep(double time, TVideoProcessor::TFrameHandle& frame,
                         TVideoProcessor::TFrameHandle& previous);
    bool EncodeAudioStep(double time, std::vector<uint8_t>& audio, int64_t& samplesTaken);
    void EncodeSilence(std::vector<uint8_t>& audio, int32_t bytes);
    int32_t DropLateSound(std::vector<uint8_t>& audio, int32_t got);
    void SetState(int32_t state) { FProgressState.store(state, std::memory_order_relaxed); }
    std::string StopLine() const;

    // Declared so that members go in a safe order even when construction fails part-way:
    // the output outlives the codecs that flush into it, the codecs outlive the worker.
    std::unique_ptr<tOggIOBase> FOutput;
    std::unique_ptr<TAudioProcessor> FAudioProcessor;
    std::unique_ptr<TVideoProcessor> FVideoProcessor;
    std::unique_ptr<tOggTheoraCodec> FTheoraCodec;
    std::unique_ptr<tOggVorbisCodec> FVorbisCodec;
    std::unique_ptr<tTheroraVideoEncoderThread> FTheoraThread;
    std::unique_ptr<TMediaClock> FClock;
    std::atomic<bool> FReplaceLate{false};
    // Sample frames of silence encoded in place of sound that had not come: at most as much
    // of the sound is dropped when it turns out to have come late (a backlog), so what follows
    // keeps its time. Sound that stopped for good (a stalled server) is not dropped: what
    // comes after it is new. Encoder thread only.
    int64_t FAudioDebt = 0;
    int64_t FSoundRead = 0;
    bool FDroppingBacklog =
        false;  // sample frames taken from the audio processor, dropped ones too
    std::atomic<int64_t> FSamplesDropped{0};
    int32_t FBytesPerSampleFrame = 0;
    int32_t FSampleRate = 0;
    std::atomic<int64_t> FSamplesEncoded{0};
    std::atomic<int32_t> FFramesEncoded{0};
    std::atomic<int32_t> FProgressState{0};
    bool FStopped = false;  // owner's thread
};
