// Recordings whose runner dies mid-way (SIGKILL, as a crash, a power cut of the process or the
// out-of-memory killer would end it): what was written before must decode, and it must be all
// but about a second of what had been recorded.

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <iostream>
#include <thread>

#include "headless_fixture.h"
#include "pattern_checks.h"
#include "tests/support/file_bytes.h"

namespace {

using Clock = std::chrono::steady_clock;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool SanitizerBuild = true;
#else
constexpr bool SanitizerBuild = false;
#endif

// The length of the run of whole pages the bytes start with; a page cut short by the kill
// ends it. `framed` turns false when something other than a page header stands where the next
// page should begin.
size_t WholePages(const std::vector<uint8_t>& bytes, bool& framed) {
    framed = true;
    size_t at = 0;
    while (at + 27 <= bytes.size()) {
        if (std::memcmp(bytes.data() + at, "OggS", 4) != 0) {
            framed = false;
            break;
        }
        const size_t segments = bytes[at + 26];
        if (at + 27 + segments > bytes.size()) break;
        size_t length = 27 + segments;
        for (size_t i = 0; i < segments; ++i) length += bytes[at + 27 + i];
        if (at + length > bytes.size()) break;
        at += length;
    }
    return at;
}

class KilledRecordingTest : public THeadlessTest {};

TEST_F(KilledRecordingTest, AllButAboutASecondSurvivesAKill) {
    constexpr int FramesPerSecond = 15;  // the default settings
    constexpr int SampleRate = 22050;
    for (const int killAfter : {8, 20}) {
        SCOPED_TRACE("killed " + std::to_string(killAfter) + " s into encoding");
        const std::string file = Work.File("killed" + std::to_string(killAfter) + ".ogg");
        TBackgroundProcess runner(HeadlessCommand("--seconds 30 --file " + Quote(file)),
                                  Work.File("runner.log"));
        // Counted from the start of encoding, so that a slow start (sanitizer builds) does not
        // count as loss.
        ASSERT_TRUE(runner.WaitForOutput("Encoding started", 1, std::chrono::seconds(20)))
            << runner.Output();
        std::this_thread::sleep_until(Clock::now() + std::chrono::seconds(killAfter));
        runner.Kill();

        // Every page before the cut reads without a fault, checksums included.
        std::vector<uint8_t> bytes = ReadFileBytes(file);
        bool framed = false;
        const size_t whole = WholePages(bytes, framed);
        EXPECT_TRUE(framed) << "no page header at byte " << whole;
        bytes.resize(whole);
        const std::string pages = Work.File("pages.ogg");
        WriteFileBytes(pages, bytes);
        const auto check = RunCommand("ogginfo " + Quote(pages));
        EXPECT_EQ(OgginfoProblems(check.Output, true), "") << check.Output;

        const double video =
            static_cast<double>(DecodeVideoRgb(file, 640, 480).size()) / FramesPerSecond;
        const double audio = static_cast<double>(DecodeAudioMono(file).size()) / SampleRate;
        std::cout << "killed " << killAfter << " s into encoding: " << video << " s of video and "
                  << audio << " s of audio decode (" << killAfter - video << " s and "
                  << killAfter - audio << " s lost)\n";
        // A sanitizer build may encode slower than real time: what it has not encoded yet is
        // no loss, so there the run is judged by its pages and its sanitizer reports alone.
        if (!SanitizerBuild) {
            EXPECT_GE(video, killAfter - 4.0) << runner.Output();
            EXPECT_GE(audio, killAfter - 4.0) << runner.Output();
        }
    }
}

}  // namespace
