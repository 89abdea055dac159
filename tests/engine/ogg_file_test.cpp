#include "engine/ogg_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "settings/log.h"
#include "tests/engine/ogg_test_support.h"

namespace {

// Watches the writes that reach the file.
class TWatchedFile : public tOggFile {
  public:
    ~TWatchedFile() override { Close(); }
    std::vector<size_t> DiskWrites;

  protected:
    ssize_t WriteToDisk(int fileHandle, const uint8_t* data, size_t size) override {
        DiskWrites.push_back(size);
        return tOggFile::WriteToDisk(fileHandle, data, size);
    }
};

TEST(OggFile, PagesReachTheDiskInWholeBuffers) {
    const std::string path = MakeTempFolder("whole_buffers") + "out.ogg";
    TWatchedFile file;
    ASSERT_TRUE(file.Open(path));
    ASSERT_EQ(file.AddStream(), 0);
    // Ten pages of 4000 bytes: the fifth straddles the first buffer boundary.
    std::vector<uint8_t> expected;
    for (int i = 0; i < 10; ++i) {
        TFakePage fake(0, i, false, 4000 - 27);
        ogg_page page = fake.Page();
        ASSERT_TRUE(file.QueuePage(0, page, 0.1 * i));
        expected.insert(expected.end(), fake.Header.begin(), fake.Header.end());
        expected.insert(expected.end(), fake.Body.begin(), fake.Body.end());
    }
    EXPECT_TRUE(file.DiskWrites.empty());
    ASSERT_TRUE(file.WritePages(0, 3000));
    EXPECT_EQ(file.DiskWrites, (std::vector<size_t>{16384, 16384}));
    file.Close();
    EXPECT_EQ(file.DiskWrites, (std::vector<size_t>{16384, 16384, 7232}));
    EXPECT_EQ(ReadFileBytes(path), expected);
    EXPECT_EQ(file.StreamCount(), 0);
}

TEST(OggFile, OpenTruncatesAnExistingFile) {
    const std::string path = MakeTempFolder("truncate") + "old.ogg";
    std::ofstream(path) << "an earlier recording";
    tOggFile file;
    ASSERT_TRUE(file.Open(path));
    file.Close();
    EXPECT_TRUE(ReadFileBytes(path).empty());
}

TEST(OggFile, CloseWithoutAnOpenFileLeavesTheQueuesAlone) {
    TWatchedFile file;
    ASSERT_EQ(file.AddStream(), 0);
    ASSERT_TRUE(QueueFake(file, 0, 0, 0.0));
    file.Close();
    EXPECT_EQ(file.StreamCount(), 1);
    EXPECT_TRUE(file.DiskWrites.empty());
}

TEST(OggFile, FileThatCannotBeCreatedIsLoggedAndItsBytesDropped) {
    TakeLog();
    TWatchedFile file;
    EXPECT_FALSE(file.Open("/nonexistent-folder/out.ogg"));
    EXPECT_NE(TakeLog().find("Error writing to file /nonexistent-folder/out.ogg"),
              std::string::npos);
    std::vector<uint8_t> bytes(40000, 1);
    EXPECT_EQ(file.WriteData(bytes.data(), 40000), 40000);
    file.FlushBuffer();
    EXPECT_TRUE(file.DiskWrites.empty());
}

TEST(OggFile, FailingDiskIsLoggedOnceAndWritingGoesOn) {
    TakeLog();
    TWatchedFile file;
    // Every write to /dev/full fails with "no space left on device".
    ASSERT_TRUE(file.Open("/dev/full"));
    std::vector<uint8_t> bytes(40000, 1);
    EXPECT_EQ(file.WriteData(bytes.data(), 40000), 40000);
    file.Close();
    EXPECT_EQ(file.DiskWrites, (std::vector<size_t>{16384, 16384, 7232}));
    const std::string log = TakeLog();
    const std::string line = "Error writing to file /dev/full";
    ASSERT_NE(log.find(line), std::string::npos);
    EXPECT_EQ(log.find(line, log.find(line) + 1), std::string::npos) << log;
}

}  // namespace
