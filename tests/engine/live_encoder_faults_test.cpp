// The live encoder when something goes wrong: a construction that fails part-way, a video
// processor or a codec that cannot start, oversized stream texts, and the end of a run that
// must leave a complete file.

#include <cstdio>
#include <filesystem>
#include <functional>
#include <stdexcept>

#include "engine/start_failure.h"
#include "live_encoder_fixture.h"
#include "tests/support/file_bytes.h"

namespace {

// Takes pages until a number of writes, then runs out of memory on every write, as a
// failing allocation in the output would.
class TFailingOutput final : public tOggIOBase {
  public:
    explicit TFailingOutput(int goodWrites) : FGoodWrites(goodWrites) {}
    int32_t ReadData(uint8_t*, int32_t) override { return 0; }
    int32_t WriteData(const uint8_t*, int32_t size) override {
        if (FGoodWrites-- <= 0) throw std::bad_alloc();
        return size;
    }

  private:
    int FGoodWrites;
};

// A few frames and their sound, then a clean stop.
void RecordBriefly(TLiveEncoder& encoder, const TBitmapInfoHeader& header, int frames) {
    std::vector<uint8_t> frame(header.biSizeImage, 90);
    const std::vector<uint8_t> sound(22050 / 15 * 2 * (frames + 2), 0);
    encoder.WriteAudio(sound.data(), static_cast<int32_t>(sound.size()));
    for (int i = 0; i < frames; ++i) {
        frame[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
        encoder.PutVideoFrame(frame.data(), static_cast<int32_t>(frame.size()), i / 15.0);
    }
}

}  // namespace

// Whatever the output throws once the codecs have written their headers, the construction
// fails cleanly: the codecs flush into an output that still exists (run under ASan).
TEST_F(LiveEncoderTest, ConstructionFailingAfterTheCodecsInitFreesInASafeOrder) {
    const auto header = Bgr(320, 240);
    EXPECT_THROW(TLiveEncoder(&Mono22050, &header, std::make_unique<TFailingOutput>(0)),
                 std::bad_alloc);
    EXPECT_THROW(TLiveEncoder(&Mono22050, &header, std::make_unique<TFailingOutput>(1)),
                 std::bad_alloc);
    TakeLog();
}

// A run that cannot start says which half failed and leaves the capture file as it was: an
// earlier recording byte for byte, and no empty file where there was none.
TEST_F(LiveEncoderTest, StartThatFailsKeepsTheFileAsItWas) {
    const auto header = Bgr(320, 240);
    struct TCase {
        const char* Name;
        std::function<void()> Spoil;
        bool Video;
        const char* Reason;
        const char* LogLine;
    } cases[] = {
        {"a crop that leaves nothing",
         [] { Settings.Processing.Crop = true, Settings.Processing.CropL = 320; }, true,
         "DIB Create error", "CreateDIBSection Failed: "},
        {"a Vorbis quality libvorbis refuses", [] { Settings.VorbisQuality = -200; }, false,
         "Vorbis encoder could not be started", "Vorbis encoder could not be started"},
    };
    for (const TCase& c : cases) {
        for (bool existed : {true, false}) {
            SCOPED_TRACE(std::string(c.Name) + (existed ? ", file existed" : ", no file"));
            const std::string earlier = "an earlier recording";
            std::remove(Settings.CaptureFile.c_str());
            if (existed) WriteFileBytes(Settings.CaptureFile, {earlier.begin(), earlier.end()});
            const TVideoProcessing processing = Settings.Processing;
            const int32_t vorbisQuality = Settings.VorbisQuality;
            c.Spoil();
            try {
                StartRecording(&Mono22050, &header);
                ADD_FAILURE() << "the run started";
            } catch (const TStartFailure& failure) {
                EXPECT_EQ(failure.Video(), c.Video);
                EXPECT_STREQ(failure.what(), c.Reason);
            }
            Settings.Processing = processing;
            Settings.VorbisQuality = vorbisQuality;
            const std::string log = TakeLog();
            EXPECT_NE(log.find(c.LogLine), std::string::npos) << log;
            EXPECT_EQ(log.find("Encoding started"), std::string::npos) << "no thread may run";
            if (existed)
                EXPECT_EQ(ReadFileText(Settings.CaptureFile), earlier);
            else
                EXPECT_FALSE(std::filesystem::exists(Settings.CaptureFile));
        }
    }
}

// A run that starts replaces an earlier, longer recording whole: no old bytes trail the new
// pages.
TEST_F(LiveEncoderTest, RunReplacesALongerEarlierFile) {
    WriteFileBytes(Settings.CaptureFile, std::vector<uint8_t>(1 << 20, 'x'));
    const auto header = Bgr(320, 240);
    auto encoder = StartRecording(&Mono22050, &header);
    RecordBriefly(*encoder, header, 3);
    encoder.reset();
    const std::string file = ReadFileText(Settings.CaptureFile);
    EXPECT_LT(file.size(), 1u << 20);
    EXPECT_EQ(file.find("xxxx"), std::string::npos);
    EXPECT_EQ(file.substr(0, 4), "OggS");
}

// A clean stop ends both logical streams: each stream's last page, and only that, carries the
// end-of-stream mark, and every frame handed over is in the file.
TEST_F(LiveEncoderTest, CleanStopEndsBothStreams) {
    const auto header = Bgr(320, 240);
    auto encoder = StartRecording(&Mono22050, &header);
    RecordBriefly(*encoder, header, 10);
    ASSERT_TRUE(WaitFor([&] { return encoder->FramesEncoded() == 10; }));
    encoder->Stop();
    EXPECT_FALSE(encoder->OutputFailed());
    encoder.reset();
    const TParsedOgg ogg = ParseOgg(ReadFile(Settings.CaptureFile));
    EXPECT_TRUE(ogg.Intact);
    ASSERT_EQ(ogg.Packets.size(), 2u);
    std::map<int32_t, int> ends;
    std::map<int32_t, size_t> lastPage;
    for (size_t i = 0; i < ogg.Pages.size(); ++i) {
        ends[ogg.Pages[i].Serial] += ogg.Pages[i].IsEOS;
        lastPage[ogg.Pages[i].Serial] = i;
    }
    for (const auto& [serial, index] : lastPage) {
        EXPECT_EQ(ends[serial], 1) << "stream " << serial;
        EXPECT_TRUE(ogg.Pages[index].IsEOS) << "stream " << serial;
    }
    const bool theoraFirst = ogg.Packets.begin()->second.front().at(0) == 0x80;
    const auto& theora = theoraFirst ? ogg.Packets.begin()->second : ogg.Packets.rbegin()->second;
    EXPECT_EQ(theora.size(), 3u + 10u);  // three headers, ten frames
}

// Headers of any size keep the rule that all beginning-of-stream pages come first: a
// comment of 2 MB fills dozens of Theora pages before the Vorbis stream even exists.
TEST_F(LiveEncoderTest, HugeHeadersStillPutEveryBeginningOfStreamPageFirst) {
    Settings.StreamName = std::string(2 * 1024 * 1024, 'n');
    const auto header = Bgr(320, 240);
    auto encoder = StartRecording(&Mono22050, &header);
    RecordBriefly(*encoder, header, 3);
    ASSERT_TRUE(WaitFor([&] { return encoder->FramesEncoded() == 3; }));
    encoder.reset();
    const TParsedOgg ogg = ParseOgg(ReadFile(Settings.CaptureFile));
    EXPECT_TRUE(ogg.Intact);
    ASSERT_GT(ogg.Pages.size(), 40u);
    EXPECT_TRUE(ogg.Pages[0].IsBOS);
    EXPECT_TRUE(ogg.Pages[1].IsBOS);
    EXPECT_NE(ogg.Pages[0].Serial, ogg.Pages[1].Serial);
    for (size_t i = 2; i < ogg.Pages.size(); ++i) EXPECT_FALSE(ogg.Pages[i].IsBOS) << i;
}

TEST_F(LiveEncoderTest, FailedFileWritesShowAfterTheStop) {
    Settings.CaptureFile = "/dev/full";
    const auto header = Bgr(320, 240);
    auto encoder = StartRecording(&Mono22050, &header);
    // /dev/full opens fine; the writes fail.
    RecordBriefly(*encoder, header, 2);
    ASSERT_TRUE(WaitFor([&] { return encoder->FramesEncoded() == 2; }));
    encoder->Stop();  // the few pages reach the disk only now
    EXPECT_TRUE(encoder->OutputFailed());
    encoder.reset();
    EXPECT_NE(TakeLog().find("Error writing to file /dev/full"), std::string::npos);
}

// Anything a thread body lets escape ends that thread only: the owner's join still returns.
TEST(WorkerThread, AnythingThrownEndsOnlyTheThread) {
    class TThrowing final : public TWorkerThread {
      public:
        TThrowing() { StartThread(); }
        ~TThrowing() override { StopThread(); }

      protected:
        void Execute() override { throw 42; }
    };
    TThrowing thread;
    for (int i = 0; i < 5000 && thread.Running(); ++i) std::this_thread::sleep_for(1ms);
    EXPECT_FALSE(thread.Running());
}
