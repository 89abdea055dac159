#include "settings/settings_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>
#include <QSettings>
#include <filesystem>
#include <fstream>

#include "settings/settings.h"

namespace {

namespace fs = std::filesystem;

// Every test gets a store of its own in a fresh folder; the real user's settings are never
// read or written.
class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kz_settings_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        FFolder = pattern;
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(FFolder));
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QString::fromStdString(FFolder));
        ASSERT_EQ(SettingsFilePath(), FFolder + "/Hadrel Forge/Palunet.conf");
    }

    void TearDown() override { fs::remove_all(FFolder); }

    QSettings Raw() const {
        return QSettings(QString::fromStdString(SettingsFilePath()), QSettings::IniFormat);
    }

    void Store(const char* key, const QString& text) const {
        QSettings raw = Raw();
        raw.setValue(key, text);
    }

    void WriteFile(const std::string& text) const {
        fs::create_directories(fs::path(SettingsFilePath()).parent_path());
        std::ofstream(SettingsFilePath()) << text;
    }

    QString Stored(const char* key) const { return Raw().value(key).toString(); }

    std::string FFolder;
};

// Values no default has, so a field left untouched by the load is seen.
void FillWithJunk() {
    TSettings& s = Settings;
    s.DebugMode = true;
    s.AudioDevice = s.VideoDevice = s.CaptureFile = "junk";
    s.Preview = s.CaptureToFile = false;
    s.APreview = s.VorbisStereo = s.Autostart = true;
    s.VorbisQuality = s.VorbisSampleFreq = 77;
    s.StreamName = s.StreamDesc = s.StreamURL = s.StreamGenre = "junk";
    s.Theora = {77, 77, 77, 77, 77, false, 77};
    s.TheoraFasterMode = false;
    s.Icecast = {"junk", 77, "junk", "junk", "junk", 77, false};
    s.Processing = {true, 77, 77, false, true, 77, 77, 77, 77, true, "junk", 77, 77, false};
}

void ExpectDefaults() {
    const TSettings& s = Settings;
    EXPECT_FALSE(s.DebugMode);
    EXPECT_EQ(s.AudioDevice, "");
    EXPECT_EQ(s.VideoDevice, "");
    EXPECT_TRUE(s.Preview);
    EXPECT_TRUE(s.CaptureToFile);
    EXPECT_EQ(s.CaptureFile, "");
    EXPECT_FALSE(s.APreview);
    EXPECT_EQ(s.VorbisQuality, -60);
    EXPECT_EQ(s.VorbisSampleFreq, 2);
    EXPECT_FALSE(s.VorbisStereo);
    EXPECT_EQ(s.StreamName, "");
    EXPECT_EQ(s.StreamDesc, "");
    EXPECT_EQ(s.StreamURL, "");
    EXPECT_EQ(s.StreamGenre, "");
    EXPECT_FALSE(s.Autostart);
    EXPECT_EQ(s.Theora.Width, 320);
    EXPECT_EQ(s.Theora.Height, 240);
    EXPECT_EQ(s.Theora.FPS, 15);
    EXPECT_EQ(s.Theora.Bitrate, 1000);
    EXPECT_EQ(s.Theora.Quality, 10);
    EXPECT_TRUE(s.Theora.DropFrames);
    EXPECT_EQ(s.Theora.AutoKeyframeMax, 90);
    EXPECT_TRUE(s.TheoraFasterMode);
    EXPECT_EQ(s.Icecast.Server, "localhost");
    EXPECT_EQ(s.Icecast.Username, "source");
    EXPECT_EQ(s.Icecast.Password, "wenduk");
    EXPECT_EQ(s.Icecast.MountPoint, "/stream.ogg");
    EXPECT_EQ(s.Icecast.Port, 8000);
    EXPECT_EQ(s.Icecast.Bitrate, 128);
    EXPECT_TRUE(s.Icecast.YP);
    EXPECT_EQ(s.Processing.ResizeW, 320);
    EXPECT_EQ(s.Processing.ResizeH, 240);
    EXPECT_FALSE(s.Processing.Resize);
    EXPECT_TRUE(s.Processing.HighQualityResize);
    EXPECT_FALSE(s.Processing.Crop);
    EXPECT_EQ(s.Processing.CropL, 0);
    EXPECT_EQ(s.Processing.CropR, 0);
    EXPECT_EQ(s.Processing.CropT, 0);
    EXPECT_EQ(s.Processing.CropB, 0);
    EXPECT_FALSE(s.Processing.Overlay);
    EXPECT_EQ(s.Processing.OverlayAlpha, 255);
    EXPECT_EQ(s.Processing.OverlayImage, "");
    EXPECT_EQ(s.Processing.OverlayColor, 0);
    EXPECT_TRUE(s.Processing.TransColor);
}

TEST_F(SettingsStoreTest, EmptyStoreLoadsEveryDefault) {
    FillWithJunk();
    LoadSettings();
    ExpectDefaults();
}

TEST_F(SettingsStoreTest, FirstSaveWritesFourGroupsOf44TextValues) {
    LoadSettings();
    ASSERT_TRUE(SaveSettings());

    QSettings raw = Raw();
    EXPECT_EQ(raw.childGroups(), QStringList{"Zizizada"});
    raw.beginGroup("Zizizada");
    EXPECT_EQ(raw.childGroups(), (QStringList{"Icecast", "Processing", "Theora"}));
    EXPECT_EQ(raw.childKeys().size(), 15);
    raw.endGroup();
    const std::pair<const char*, int> groups[] = {
        {"Zizizada/Theora", 8}, {"Zizizada/Icecast", 7}, {"Zizizada/Processing", 14}};
    for (auto [group, count] : groups) {
        raw.beginGroup(group);
        EXPECT_EQ(raw.childKeys().size(), count) << group;
        raw.endGroup();
    }
    QStringList keys = raw.allKeys();
    EXPECT_EQ(keys.size(), 44);
    for (const QString& key : keys)
        EXPECT_EQ(raw.value(key).typeId(), QMetaType::QString) << key.toStdString();

    EXPECT_EQ(Stored("Zizizada/DebugMode"), "0");
    EXPECT_EQ(Stored("Zizizada/Preview"), "1");
    EXPECT_EQ(Stored("Zizizada/VorbisQuality"), "-60");
    EXPECT_EQ(Stored("Zizizada/Theora/TheoraFasterMode"), "1");
    EXPECT_EQ(Stored("Zizizada/Icecast/Port"), "8000");
    EXPECT_EQ(Stored("Zizizada/Icecast/MountPoint"), "/stream.ogg");
    EXPECT_EQ(Stored("Zizizada/Processing/OverlayImage"), "");
}

// Distinct values in every field catch two fields sharing a key (the two Bitrate values) and
// texts that the file form would mangle.
TEST_F(SettingsStoreTest, EveryFieldSurvivesSaveAndLoad) {
    TSettings& s = Settings;
    s.DebugMode = true;
    s.AudioDevice = "Mic, \"USB\" #1";
    s.VideoDevice = "@Variant(cam)";
    s.CaptureFile = "/home/ann/Räume & Töne/out.ogg";
    s.Preview = false;
    s.CaptureToFile = false;
    s.APreview = true;
    s.VorbisQuality = -999;
    s.VorbisSampleFreq = 5;
    s.VorbisStereo = true;
    s.StreamName = "  padded  ";
    s.StreamDesc = "semi;colon = equals [brackets]";
    s.StreamURL = "http://example.org/a?b=c%20d";
    s.StreamGenre = "back\\slash";
    s.Autostart = true;
    s.Theora = {641, 481, 30, 2500, 63, false, 250};
    s.TheoraFasterMode = false;
    s.Icecast = {"127.0.0.1", 65535, "user", "p@ss:w,ord", "/live.ogg", 96, false};
    s.Processing = {true, 800, 600, false, true, 1, 2, 3, 4, true, "/logo.png", 128, 0x00FF00FF, false};
    ASSERT_TRUE(SaveSettings());
    FillWithJunk();
    LoadSettings();

    EXPECT_TRUE(s.DebugMode);
    EXPECT_EQ(s.AudioDevice, "Mic, \"USB\" #1");
    EXPECT_EQ(s.VideoDevice, "@Variant(cam)");
    EXPECT_EQ(s.CaptureFile, "/home/ann/Räume & Töne/out.ogg");
    EXPECT_FALSE(s.Preview);
    EXPECT_FALSE(s.CaptureToFile);
    EXPECT_TRUE(s.APreview);
    EXPECT_EQ(s.VorbisQuality, -999);
    EXPECT_EQ(s.VorbisSampleFreq, 5);
    EXPECT_TRUE(s.VorbisStereo);
    EXPECT_EQ(s.StreamName, "  padded  ");
    EXPECT_EQ(s.StreamDesc, "semi;colon = equals [brackets]");
    EXPECT_EQ(s.StreamURL, "http://example.org/a?b=c%20d");
    EXPECT_EQ(s.StreamGenre, "back\\slash");
    EXPECT_TRUE(s.Autostart);
    EXPECT_EQ(s.Theora.Width, 641);
    EXPECT_EQ(s.Theora.Height, 481);
    EXPECT_EQ(s.Theora.FPS, 30);
    EXPECT_EQ(s.Theora.Bitrate, 2500);
    EXPECT_EQ(s.Theora.Quality, 63);
    EXPECT_FALSE(s.Theora.DropFrames);
    EXPECT_EQ(s.Theora.AutoKeyframeMax, 250);
    EXPECT_FALSE(s.TheoraFasterMode);
    EXPECT_EQ(s.Icecast.Server, "127.0.0.1");
    EXPECT_EQ(s.Icecast.Port, 65535);
    EXPECT_EQ(s.Icecast.Username, "user");
    EXPECT_EQ(s.Icecast.Password, "p@ss:w,ord");
    EXPECT_EQ(s.Icecast.MountPoint, "/live.ogg");
    EXPECT_EQ(s.Icecast.Bitrate, 96);
    EXPECT_FALSE(s.Icecast.YP);
    EXPECT_TRUE(s.Processing.Resize);
    EXPECT_EQ(s.Processing.ResizeW, 800);
    EXPECT_EQ(s.Processing.ResizeH, 600);
    EXPECT_FALSE(s.Processing.HighQualityResize);
    EXPECT_TRUE(s.Processing.Crop);
    EXPECT_EQ(s.Processing.CropL, 1);
    EXPECT_EQ(s.Processing.CropR, 2);
    EXPECT_EQ(s.Processing.CropT, 3);
    EXPECT_EQ(s.Processing.CropB, 4);
    EXPECT_TRUE(s.Processing.Overlay);
    EXPECT_EQ(s.Processing.OverlayImage, "/logo.png");
    EXPECT_EQ(s.Processing.OverlayAlpha, 128);
    EXPECT_EQ(s.Processing.OverlayColor, 0x00FF00FF);
    EXPECT_FALSE(s.Processing.TransColor);
    EXPECT_EQ(Stored("Zizizada/Theora/Bitrate"), "2500");
    EXPECT_EQ(Stored("Zizizada/Icecast/Bitrate"), "96");
}

TEST_F(SettingsStoreTest, PortKeepsLow16BitsAndFallsBackOnText) {
    const std::pair<const char*, int> cases[] = {
        {"70000", 4464}, {"abc", 8000}, {"-1", 65535}, {"65536", 0}, {"", 8000}, {"8080", 8080}};
    for (auto [text, port] : cases) {
        Store("Zizizada/Icecast/Port", text);
        LoadSettings();
        EXPECT_EQ(Settings.Icecast.Port, port) << '"' << text << '"';
    }
}

TEST_F(SettingsStoreTest, IntegersAreStrictDecimal) {
    const std::pair<const char*, int> cases[] = {
        {"-5", -5},         {"+7", 7},          {"0", 0},           {"2147483647", 2147483647},
        {"2147483648", 90}, {"-2147483649", 90}, {" 5", 90},        {"5 ", 90},
        {"0x10", 90},       {"$10", 90},        {"1e3", 90},        {"12abc", 90},
        {"-", 90},          {"", 90}};
    for (auto [text, expected] : cases) {
        Store("Zizizada/Theora/AutoKeyframeMax", text);
        LoadSettings();
        EXPECT_EQ(Settings.Theora.AutoKeyframeMax, expected) << '"' << text << '"';
    }
}

TEST_F(SettingsStoreTest, BooleansAreNonZeroIntegersAndSaveAsOneOrZero) {
    Store("Zizizada/DebugMode", "2");
    LoadSettings();
    EXPECT_TRUE(Settings.DebugMode);
    ASSERT_TRUE(SaveSettings());
    EXPECT_EQ(Stored("Zizizada/DebugMode"), "1");

    // Text that is not an integer takes each Boolean's own default (Autostart false,
    // DropFrames true).
    struct TCase {
        const char* Text;
        bool Autostart;
        bool DropFrames;
    };
    const TCase cases[] = {{"-1", true, true}, {"0", false, false}, {"True", false, true}, {"", false, true}};
    for (const TCase& c : cases) {
        Store("Zizizada/Autostart", c.Text);
        Store("Zizizada/Theora/DropFrames", c.Text);
        LoadSettings();
        EXPECT_EQ(Settings.Autostart, c.Autostart) << '"' << c.Text << '"';
        EXPECT_EQ(Settings.Theora.DropFrames, c.DropFrames) << '"' << c.Text << '"';
    }
}

TEST_F(SettingsStoreTest, ValuesThatWouldBreakTheirUsersTakeTheDefault) {
    const std::pair<const char*, int> fps[] = {{"0", 15}, {"-3", 15}, {"1", 1}, {"60", 60}};
    for (auto [text, expected] : fps) {
        Store("Zizizada/Theora/FPS", text);
        LoadSettings();
        EXPECT_EQ(Settings.Theora.FPS, expected) << '"' << text << '"';
    }
    const std::pair<const char*, int> rates[] = {{"-1", 2}, {"0", 0}, {"5", 5}, {"6", 2}, {"100", 2}};
    for (auto [text, expected] : rates) {
        Store("Zizizada/VorbisSampleFreq", text);
        LoadSettings();
        EXPECT_EQ(Settings.VorbisSampleFreq, expected) << '"' << text << '"';
    }
}

// A value of another kind than text (a list, a byte array) takes its default, and the values
// after it still load.
TEST_F(SettingsStoreTest, UnreadableValueTakesItsDefaultAndLaterValuesStillLoad) {
    WriteFile(
        "[Zizizada]\n"
        "VorbisQuality=@ByteArray(\\0\\x1)\n"
        "Autostart=1\n"
        "Theora\\FPS=25, 30\n"
        "Theora\\Width=640\n"
        "Icecast\\Server=@Rect(1 2 3 4)\n"
        "Icecast\\Port=9000\n"
        "Processing\\CropB=8\n");
    FillWithJunk();
    LoadSettings();
    EXPECT_EQ(Settings.VorbisQuality, -60);
    EXPECT_EQ(Settings.Theora.FPS, 15);
    EXPECT_EQ(Settings.Icecast.Server, "localhost");
    EXPECT_TRUE(Settings.Autostart);
    EXPECT_EQ(Settings.Theora.Width, 640);
    EXPECT_EQ(Settings.Icecast.Port, 9000);
    EXPECT_EQ(Settings.Processing.CropB, 8);
    EXPECT_EQ(Settings.Processing.OverlayAlpha, 255);
}

mode_t FileMode(const std::string& path) {
    struct stat info{};
    EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

TEST_F(SettingsStoreTest, FileIsReadableByItsOwnerOnly) {
    LoadSettings();
    Settings.Icecast.Password = "secret";
    ASSERT_TRUE(SaveSettings());
    EXPECT_EQ(FileMode(SettingsFilePath()), 0600u);

    // A file left readable by others (made by hand, or by an older program) is closed up too.
    ASSERT_EQ(chmod(SettingsFilePath().c_str(), 0644), 0);
    ASSERT_TRUE(SaveSettings());
    EXPECT_EQ(FileMode(SettingsFilePath()), 0600u);
    LoadSettings();
    EXPECT_EQ(Settings.Icecast.Password, "secret");
}

TEST_F(SettingsStoreTest, SaveThatCannotWriteReportsFailure) {
    // A plain file where the store's folder should be.
    std::ofstream(FFolder + "/Hadrel Forge") << "in the way";
    LoadSettings();
    EXPECT_FALSE(SaveSettings());
}

}  // namespace
