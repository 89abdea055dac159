#include "settings/event_log.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "tests/support/environment_variable.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

const std::regex RecordForm(R"re("(\d\d)-(\d\d)-(\d{4})","(\d\d):(\d\d):(\d\d)",(\d+),"(.*)")re");
const std::regex FileNameForm(
    R"(kestrova_zizizada \d{4}-\d\d-\d\d \d\d-\d\d-\d\d( \(\d+\))?\.log)");

struct TRecord {
    std::time_t When;  // UTC
    int Code;
    std::string Text;
};

// The records of a file; every line must end with CR LF and have the record form.
std::vector<TRecord> ReadRecords(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    std::string text = content.str();
    std::vector<TRecord> records;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        std::string line = text.substr(start, end - start);
        std::smatch m;
        if (!std::regex_match(line, m, RecordForm)) {
            ADD_FAILURE() << "not a record: " << line;
            continue;
        }
        std::tm utc{};
        utc.tm_mday = std::stoi(m[1]);
        utc.tm_mon = std::stoi(m[2]) - 1;
        utc.tm_year = std::stoi(m[3]) - 1900;
        utc.tm_hour = std::stoi(m[4]);
        utc.tm_min = std::stoi(m[5]);
        utc.tm_sec = std::stoi(m[6]);
        records.push_back({timegm(&utc), std::stoi(m[7]), m[8]});
    }
    EXPECT_EQ(start, text.size()) << "text after the last CR LF in " << path;
    return records;
}

class EventLogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(FFolder.empty());
        // A portable copy: the logs go to the existing folder beside the program.
        fs::create_directories(FFolder + "/bin/logs");
        FProgram = FFolder + "/bin/kestrova_zizizada";
        // Whatever a test does, nothing lands in the real user's state folder.
        FStateHome.Set(FFolder + "/state");
        FHome.Set(FFolder + "/home");
    }

    void TearDown() override { EventLogEnd(); }

    // An installed program: no "logs" folder beside it.
    void RemovePortableFolder() const { fs::remove(FFolder + "/bin/logs"); }

    TTempFolder FTemp;
    const std::string& FFolder = FTemp.Path();
    std::string FProgram;
    TEnvironmentVariable FStateHome{"XDG_STATE_HOME"};
    TEnvironmentVariable FHome{"HOME"};
};

TEST_F(EventLogTest, FileBesideTheProgramStartsWith100AndEndsWith101InUtc) {
    std::time_t before, after;
    {
        TFarTimeZone zone;  // a local stamp would show
        before = std::time(nullptr);
        EventLogStart(FProgram);
        EventLogEnd();
        after = std::time(nullptr);
    }

    EXPECT_EQ(EventLogFolder(), FFolder + "/bin/logs/");
    std::string path = EventLogFilePath();
    EXPECT_EQ(fs::path(path).parent_path(), fs::path(FFolder + "/bin/logs"));
    EXPECT_TRUE(std::regex_match(fs::path(path).filename().string(), FileNameForm)) << path;
    std::vector<TRecord> records = ReadRecords(path);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].Code, 100);
    EXPECT_EQ(records[0].Text, "Feed kestrova_zizizada started");
    EXPECT_EQ(records[1].Code, 101);
    EXPECT_EQ(records[1].Text, "Feed kestrova_zizizada stopped");
    for (const TRecord& record : records) {
        EXPECT_GE(record.When, before);
        EXPECT_LE(record.When, after);
    }
}

TEST_F(EventLogTest, TextIsWrittenUnchanged) {
    EventLogStart(FProgram);
    WriteEvent(999, "WriteData Failed: 104");
    WriteEvent(999, "WriteData Failed: Timeout");
    WriteEvent(65535, "");
    std::vector<TRecord> records = ReadRecords(EventLogFilePath());
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[1].Text, "WriteData Failed: 104");
    EXPECT_EQ(records[2].Text, "WriteData Failed: Timeout");
    EXPECT_EQ(records[3].Code, 65535);
    EXPECT_EQ(records[3].Text, "");
}

// A record the disk takes only in part (here: the file size limit strikes in its middle) is
// taken back whole; the next record starts on a line of its own.
TEST_F(EventLogTest, RecordCutShortIsTakenBackWhole) {
    EventLogStart(FProgram);
    const std::string path = EventLogFilePath();
    const auto size = static_cast<rlim_t>(fs::file_size(path));
    struct sigaction ignore {};
    struct sigaction previous {};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(sigaction(SIGXFSZ, &ignore, &previous), 0);
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit saved = limit;
    limit.rlim_cur = size + 20;  // room for the date of the record, not for the rest
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    WriteEvent(999, "this record does not fit");
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);
    sigaction(SIGXFSZ, &previous, nullptr);

    EXPECT_EQ(fs::file_size(path), size);
    WriteEvent(998, "this one does");
    std::vector<TRecord> records = ReadRecords(path);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].Code, 998);
    EXPECT_EQ(records[1].Text, "this one does");
}

// Rotations within one second must not reuse a name: the second file would wipe the first.
TEST_F(EventLogTest, After10001RecordsTheNextGoesToANewFile) {
    EventLogStart(FProgram);
    std::string first = EventLogFilePath();
    for (int i = 1; i < 10001; ++i) WriteEvent(999, "record " + std::to_string(i));
    EXPECT_EQ(EventLogFilePath(), first);
    WriteEvent(999, "record 10001");
    std::string second = EventLogFilePath();
    EventLogEnd();

    ASSERT_NE(second, first);
    EXPECT_TRUE(std::regex_match(fs::path(second).filename().string(), FileNameForm)) << second;
    std::vector<TRecord> firstRecords = ReadRecords(first);
    ASSERT_EQ(firstRecords.size(), 10001u);
    EXPECT_EQ(firstRecords.front().Code, 100);
    EXPECT_EQ(firstRecords.back().Text, "record 10000");
    std::vector<TRecord> secondRecords = ReadRecords(second);
    ASSERT_EQ(secondRecords.size(), 2u);
    EXPECT_EQ(secondRecords[0].Text, "record 10001");
    EXPECT_EQ(secondRecords[1].Code, 101);
}

TEST_F(EventLogTest, EachRunGetsItsOwnFileAndRecordsAfterTheEndAreDropped) {
    EventLogStart(FProgram);
    EventLogEnd();
    std::string first = EventLogFilePath();
    WriteEvent(999, "after the end");
    EventLogStart(FProgram);
    EventLogEnd();
    std::string second = EventLogFilePath();

    ASSERT_NE(first, second);
    EXPECT_EQ(ReadRecords(first).size(), 2u);
    EXPECT_EQ(ReadRecords(second).size(), 2u);
}

TEST_F(EventLogTest, WithoutAPortableFolderTheLogsGoToTheStateFolder) {
    RemovePortableFolder();
    struct TCase {
        std::optional<std::string> StateHome;
        std::string Expected;
    };
    const TCase cases[] = {
        {FFolder + "/state", FFolder + "/state/kestrova-zizizada/logs/"},
        {std::nullopt, FFolder + "/home/.local/state/kestrova-zizizada/logs/"},
        {"relative/state", FFolder + "/home/.local/state/kestrova-zizizada/logs/"},
    };
    for (const TCase& c : cases) {
        c.StateHome ? FStateHome.Set(*c.StateHome) : FStateHome.Unset();
        EventLogStart(FProgram);
        EventLogEnd();
        EXPECT_EQ(EventLogFolder(), c.Expected);
        std::string path = EventLogFilePath();
        EXPECT_EQ(fs::path(path).parent_path().string() + "/", c.Expected);
        std::vector<TRecord> records = ReadRecords(path);
        ASSERT_EQ(records.size(), 2u) << path;
        EXPECT_EQ(records[0].Code, 100);
    }
}

TEST_F(EventLogTest, NoWritableFolderDropsRecordsQuietly) {
    RemovePortableFolder();
    std::ofstream(FFolder + "/state") << "in the way";
    FHome.Set(FFolder + "/state/home");
    EventLogStart(FProgram);
    WriteEvent(999, "WriteData Failed: Timeout");
    EventLogEnd();
    EXPECT_EQ(EventLogFilePath(), "");
}

TEST_F(EventLogTest, ConcurrentWritersLoseNoRecord) {
    constexpr int Threads = 4;
    constexpr int RecordsEach = 250;
    EventLogStart(FProgram);
    std::vector<std::thread> writers;
    for (int t = 0; t < Threads; ++t)
        writers.emplace_back([] {
            for (int i = 0; i < RecordsEach; ++i) WriteEvent(999, "WriteData Failed: Timeout");
        });
    for (std::thread& writer : writers) writer.join();
    EventLogEnd();

    std::vector<TRecord> records = ReadRecords(EventLogFilePath());
    ASSERT_EQ(records.size(), size_t(Threads * RecordsEach + 2));
    EXPECT_EQ(records.front().Code, 100);
    EXPECT_EQ(records.back().Code, 101);
}

}  // namespace
