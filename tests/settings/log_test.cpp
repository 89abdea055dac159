#include "settings/log.h"

#include <gtest/gtest.h>

#include <regex>
#include <thread>
#include <vector>

#include "settings/settings.h"
#include "tests/support/environment_variable.h"

namespace {

// Lines end with CR LF; the time stamp is a date, a blank and a 24-hour time.
const std::regex LineForm(R"((\S+) (\d\d):(\d\d):(\d\d) (.*)\r\n)");

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end + 2 - start));
    EXPECT_EQ(start, text.size()) << "text after the last CR LF";
    return lines;
}

class LogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        TakeLog();
        Settings.DebugMode = false;
    }
    void TearDown() override { Settings.DebugMode = false; }
};

TEST_F(LogTest, LineIsTimeStampBlankMessageCrLf) {
    std::time_t before = std::time(nullptr);
    LogLine("Streaming started");
    std::time_t after = std::time(nullptr);
    std::string text = TakeLog();

    std::smatch match;
    ASSERT_TRUE(std::regex_match(text, match, LineForm)) << text;
    EXPECT_EQ(match[5], "Streaming started");
    std::string stamp = text.substr(0, text.size() - std::string(" Streaming started\r\n").size());
    EXPECT_TRUE(stamp == FormatLogTime(before) || stamp == FormatLogTime(after)) << stamp;
}

TEST_F(LogTest, LinesArriveInCallOrderAndTakeLogEmptiesTheBuffer) {
    LogLine("first");
    LogLine("second");
    std::vector<std::string> lines = SplitLines(TakeLog());
    ASSERT_EQ(lines.size(), 2u);
    std::smatch match;
    ASSERT_TRUE(std::regex_match(lines[0], match, LineForm));
    EXPECT_EQ(match[5], "first");
    ASSERT_TRUE(std::regex_match(lines[1], match, LineForm));
    EXPECT_EQ(match[5], "second");
    EXPECT_EQ(TakeLog(), "");
}

TEST_F(LogTest, DebugLineIsWrittenOnlyInDebugMode) {
    DebugLine("hidden");
    EXPECT_EQ(TakeLog(), "");

    Settings.DebugMode = true;
    DebugLine("shown");
    LogLine("shown");
    std::vector<std::string> lines = SplitLines(TakeLog());
    ASSERT_EQ(lines.size(), 2u);
    std::smatch match;
    ASSERT_TRUE(std::regex_match(lines[0], match, LineForm)) << lines[0];
    EXPECT_EQ(match[5], "shown");
    // Identical in form: same message after the same kind of stamp.
    EXPECT_EQ(lines[0].substr(lines[0].size() - 8), lines[1].substr(lines[1].size() - 8));
}

// Window log times are local, unlike the event log's UTC.
TEST_F(LogTest, TimeStampIsLocal24HourTime) {
    std::string stamp;
    {
        TFarTimeZone zone;
        stamp = FormatLogTime(1262282709);  // 31-12-2009 18:05:09 UTC, 23:50:09 local
    }

    std::smatch match;
    std::string line = stamp + " x\r\n";
    ASSERT_TRUE(std::regex_match(line, match, LineForm)) << stamp;
    EXPECT_EQ(match[2].str() + ":" + match[3].str() + ":" + match[4].str(), "23:50:09");
    EXPECT_NE(match[1].str().find("31"), std::string::npos) << stamp;
}

// Writers on several threads: every line arrives whole, none is lost.
TEST_F(LogTest, ConcurrentWritersLoseNoLine) {
    constexpr int Threads = 4;
    constexpr int LinesEach = 500;
    std::string taken;
    std::vector<std::thread> writers;
    for (int t = 0; t < Threads; ++t)
        writers.emplace_back([t] {
            for (int i = 0; i < LinesEach; ++i)
                LogLine("writer " + std::to_string(t) + " line " + std::to_string(i));
        });
    for (int i = 0; i < 50; ++i) taken += TakeLog();  // taking while they write
    for (std::thread& writer : writers) writer.join();
    taken += TakeLog();

    std::vector<std::string> lines = SplitLines(taken);
    ASSERT_EQ(lines.size(), size_t(Threads * LinesEach));
    std::vector<int> next(Threads, 0);
    const std::regex message(R"(writer (\d) line (\d+))");
    for (const std::string& line : lines) {
        std::smatch match, parts;
        ASSERT_TRUE(std::regex_match(line, match, LineForm)) << line;
        std::string text = match[5];
        ASSERT_TRUE(std::regex_match(text, parts, message)) << text;
        int writer = std::stoi(parts[1]);
        EXPECT_EQ(std::stoi(parts[2]), next[writer]++) << "lines of one thread out of order";
    }
}

}  // namespace
