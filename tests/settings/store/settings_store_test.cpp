#include "settings/store/settings_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>
#include <QSettings>
#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>

#include "net/source_request.h"
#include "settings/log.h"
#include "settings/setting_text.h"
#include "settings/settings.h"
#include "tests/settings/store/settings_store_fixture.h"
#include "tests/support/store_defaults.h"

namespace {

namespace fs = std::filesystem;

// Values that differ from the defaults in every field, so a field the load leaves untouched is
// seen; distinct values catch two fields sharing a key (the two Bitrate values) and texts that
// the file form would mangle.
void SetDistinct(TSettings& s) {
    s.DebugMode = true;
    s.AudioDevice = "Mic, \"USB\" #1";
    s.VideoDevice = "@Variant(cam)";
    s.CaptureFile = "/home/ann/R\u00e4ume & T\u00f6ne/out.ogg";
    s.Preview = false;
    s.CaptureToFile = false;
    s.RecordWhileStreaming = true;
    s.APreview = true;
    s.VorbisQuality = -99;
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
    s.Processing = {true, 800, 600,  false,       true, 1,          2,
                    3,    4,   true, "/logo.png", 128,  0x00FF00FF, false};
    // Device names hold what keys cannot: group separators, escapes, INI syntax.
    s.VideoModes = {{"Test Pattern", "BGR 320x240@30/1"},
                    {"Cam /dev/video0 \\ 100% = ; [x] %2F", "YUY2 1280x720@30000/1001"},
                    {"Kamera \u00c4\u00d6", "MJPG 640x480@15/1"}};
}

void ExpectSame(const TSettings& s, const TSettings& e) {
    EXPECT_EQ(s.DebugMode, e.DebugMode.load());
    EXPECT_EQ(s.AudioDevice, e.AudioDevice);
    EXPECT_EQ(s.VideoDevice, e.VideoDevice);
    EXPECT_EQ(s.CaptureFile, e.CaptureFile);
    EXPECT_EQ(s.Preview, e.Preview);
    EXPECT_EQ(s.APreview, e.APreview);
    EXPECT_EQ(s.CaptureToFile, e.CaptureToFile);
    EXPECT_EQ(s.RecordWhileStreaming, e.RecordWhileStreaming);
    EXPECT_EQ(s.Autostart, e.Autostart);
    EXPECT_EQ(s.VorbisQuality, e.VorbisQuality);
    EXPECT_EQ(s.VorbisSampleFreq, e.VorbisSampleFreq);
    EXPECT_EQ(s.VorbisStereo, e.VorbisStereo);
    EXPECT_EQ(s.Theora.Width, e.Theora.Width);
    EXPECT_EQ(s.Theora.Height, e.Theora.Height);
    EXPECT_EQ(s.Theora.FPS, e.Theora.FPS);
    EXPECT_EQ(s.Theora.Bitrate, e.Theora.Bitrate);
    EXPECT_EQ(s.Theora.Quality, e.Theora.Quality);
    EXPECT_EQ(s.Theora.DropFrames, e.Theora.DropFrames);
    EXPECT_EQ(s.Theora.AutoKeyframeMax, e.Theora.AutoKeyframeMax);
    EXPECT_EQ(s.TheoraFasterMode, e.TheoraFasterMode);
    EXPECT_EQ(s.Icecast.Server, e.Icecast.Server);
    EXPECT_EQ(s.Icecast.Port, e.Icecast.Port);
    EXPECT_EQ(s.Icecast.Username, e.Icecast.Username);
    EXPECT_EQ(s.Icecast.Password, e.Icecast.Password);
    EXPECT_EQ(s.Icecast.MountPoint, e.Icecast.MountPoint);
    EXPECT_EQ(s.Icecast.Bitrate, e.Icecast.Bitrate);
    EXPECT_EQ(s.Icecast.YP, e.Icecast.YP);
    EXPECT_EQ(s.Processing.Resize, e.Processing.Resize);
    EXPECT_EQ(s.Processing.ResizeW, e.Processing.ResizeW);
    EXPECT_EQ(s.Processing.ResizeH, e.Processing.ResizeH);
    EXPECT_EQ(s.Processing.HighQualityResize, e.Processing.HighQualityResize);
    EXPECT_EQ(s.Processing.Crop, e.Processing.Crop);
    EXPECT_EQ(s.Processing.CropL, e.Processing.CropL);
    EXPECT_EQ(s.Processing.CropR, e.Processing.CropR);
    EXPECT_EQ(s.Processing.CropT, e.Processing.CropT);
    EXPECT_EQ(s.Processing.CropB, e.Processing.CropB);
    EXPECT_EQ(s.Processing.Overlay, e.Processing.Overlay);
    EXPECT_EQ(s.Processing.OverlayImage, e.Processing.OverlayImage);
    EXPECT_EQ(s.Processing.OverlayAlpha, e.Processing.OverlayAlpha);
    EXPECT_EQ(s.Processing.OverlayColor, e.Processing.OverlayColor);
    EXPECT_EQ(s.Processing.TransColor, e.Processing.TransColor);
    EXPECT_EQ(s.StreamName, e.StreamName);
    EXPECT_EQ(s.StreamDesc, e.StreamDesc);
    EXPECT_EQ(s.StreamURL, e.StreamURL);
    EXPECT_EQ(s.StreamGenre, e.StreamGenre);
    EXPECT_EQ(s.VideoModes, e.VideoModes);
}

TEST_F(SettingsStoreTest, EmptyStoreLoadsEveryDefault) {
    SetDistinct(Settings);
    LoadSettings();
    TSettings defaults;
    SetStoreDefaults(defaults);
    ExpectSame(Settings, defaults);
}

TEST_F(SettingsStoreTest, FirstSaveWritesFourGroupsOf45TextValues) {
    LoadSettings();
    ASSERT_TRUE(SaveSettings());

    QSettings raw = Raw();
    EXPECT_EQ(raw.childGroups(), QStringList{"Zizizada"});
    raw.beginGroup("Zizizada");
    EXPECT_EQ(raw.childGroups(), (QStringList{"Icecast", "Processing", "Theora"}));
    EXPECT_EQ(raw.childKeys().size(), 16);
    raw.endGroup();
    const std::pair<const char*, int> groups[] = {
        {"Zizizada/Theora", 8}, {"Zizizada/Icecast", 7}, {"Zizizada/Processing", 14}};
    for (auto [group, count] : groups) {
        raw.beginGroup(group);
        EXPECT_EQ(raw.childKeys().size(), count) << group;
        raw.endGroup();
    }
    QStringList keys = raw.allKeys();
    EXPECT_EQ(keys.size(), 45);
    for (const QString& key : keys)
        EXPECT_EQ(raw.value(key).typeId(), QMetaType::QString) << key.toStdString();

    EXPECT_EQ(Stored("Zizizada/DebugMode"), "0");
    EXPECT_EQ(Stored("Zizizada/Preview"), "1");
    EXPECT_EQ(Stored("Zizizada/VorbisQuality"), "-60");
    EXPECT_EQ(Stored("Zizizada/Theora/TheoraFasterMode"), "1");
    EXPECT_EQ(Stored("Zizizada/Icecast/Port"), "8000");
    EXPECT_EQ(Stored("Zizizada/Icecast/MountPoint"), "/stream.ogg");
    EXPECT_EQ(Stored("Zizizada/Processing/OverlayImage"), "");
    EXPECT_EQ(Stored("Zizizada/RecordWhileStreaming"), "0");
}

TEST_F(SettingsStoreTest, EveryFieldSurvivesSaveAndLoad) {
    SetDistinct(Settings);
    ASSERT_TRUE(SaveSettings());
    SetStoreDefaults(Settings);
    LoadSettings();
    TSettings expected;
    SetDistinct(expected);
    ExpectSame(Settings, expected);
    EXPECT_EQ(Stored("Zizizada/Theora/Bitrate"), "2500");
    EXPECT_EQ(Stored("Zizizada/Icecast/Bitrate"), "96");
}

TEST_F(SettingsStoreTest, IntegersAreStrictDecimal) {
    const std::pair<const char*, int> cases[] = {{"-5", -5},         {"+7", 7},
                                                 {"0", 0},           {"2147483647", 2147483647},
                                                 {"2147483648", 90}, {"-2147483649", 90},
                                                 {" 5", 90},         {"5 ", 90},
                                                 {"0x10", 90},       {"$10", 90},
                                                 {"1e3", 90},        {"12abc", 90},
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
    const TCase cases[] = {
        {"-1", true, true}, {"0", false, false}, {"True", false, true}, {"", false, true}};
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
    const std::pair<const char*, int> rates[] = {
        {"-1", 2}, {"0", 0}, {"5", 5}, {"6", 2}, {"100", 2}};
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
    SetDistinct(Settings);
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

// A device whose mode went back to automatic loses its entry; the others stay.
TEST_F(SettingsStoreTest, VideoModesAreOneValuePerDeviceAndDropWhenCleared) {
    SetDistinct(Settings);
    ASSERT_TRUE(SaveSettings());
    QSettings raw = Raw();
    raw.beginGroup("Zizizada/VideoModes");
    EXPECT_EQ(raw.childKeys().size(), 3);
    EXPECT_TRUE(raw.childGroups().isEmpty());
    raw.endGroup();
    EXPECT_EQ(Stored("Zizizada/VideoModes/Test Pattern"), "BGR 320x240@30/1");

    Settings.VideoModes.erase("Test Pattern");
    ASSERT_TRUE(SaveSettings());
    LoadSettings();
    TSettings expected;
    SetDistinct(expected);
    expected.VideoModes.erase("Test Pattern");
    EXPECT_EQ(Settings.VideoModes, expected.VideoModes);
}

// Files written before modes could be chosen lack the group: nothing is chosen, nothing is
// logged, and the other values load as before.
TEST_F(SettingsStoreTest, AnOlderFileWithoutVideoModesChoosesNone) {
    WriteFile("[Zizizada]\nVideoDevice=USB Camera\nTheora\\FPS=25\n");
    Settings.VideoModes = {{"USB Camera", "YUY2 1280x720@30/1"}};
    TakeLog();
    LoadSettings();
    EXPECT_TRUE(Settings.VideoModes.empty());
    EXPECT_EQ(Settings.VideoDevice, "USB Camera");
    EXPECT_EQ(Settings.Theora.FPS, 25);
    EXPECT_EQ(TakeLog(), "");
}

// A file saved before a broadcast could also record: every value it holds loads as it was,
// the broadcast records nothing, and nothing is logged.
TEST_F(SettingsStoreTest, AnOlderFileWithoutRecordWhileStreamingBroadcastsAlone) {
    SetDistinct(Settings);
    ASSERT_TRUE(SaveSettings());
    Raw().remove("Zizizada/RecordWhileStreaming");
    TSettings expected;
    SetDistinct(expected);
    expected.RecordWhileStreaming = false;
    SetDistinct(Settings);
    TakeLog();
    LoadSettings();
    ExpectSame(Settings, expected);
    EXPECT_EQ(TakeLog(), "");
}

TEST_F(SettingsStoreTest, OddVideoModesAreIgnoredWithALineEach) {
    WriteFile(
        "[Zizizada]\n"
        "VideoModes\\Good=BGR 640x480@30/1\n"
        "VideoModes\\Garbled=YUY2 big@30\n"
        "VideoModes\\Bytes=@ByteArray(\\0\\x1)\n"
        "VideoModes\\Listed=640x480@30, 320x240@30\n"
        "Theora\\FPS=25\n");
    TakeLog();
    LoadSettings();
    EXPECT_EQ(Settings.VideoModes,
              (std::map<std::string, std::string>{{"Good", "BGR 640x480@30/1"}}));
    EXPECT_EQ(Settings.Theora.FPS, 25);
    const std::string log = TakeLog();
    for (const char* line :
         {"Setting Zizizada/VideoModes/Garbled: the stored value \"YUY2 big@30\" is not a "
          "capture mode, ignored",
          "Setting Zizizada/VideoModes/Bytes: the stored value cannot be read, ignored",
          "Setting Zizizada/VideoModes/Listed: the stored value cannot be read, ignored"}) {
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    }
    EXPECT_EQ(log.find("Good"), std::string::npos) << log;
}

mode_t FileMode(const std::string& path) {
    struct stat info {};
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

// Every stored value that falls back to its default says so in one line naming it; values
// that are simply absent (a first start) say nothing.
TEST_F(SettingsStoreTest, EachValueReplacedByItsDefaultIsLoggedOnce) {
    TakeLog();
    LoadSettings();
    EXPECT_EQ(TakeLog(), "") << "absent values are no fault";
    const std::pair<const char*, const char*> bad[] = {
        {"Zizizada/Theora/FPS", "0"},         {"Zizizada/Theora/Bitrate", "-1000"},
        {"Zizizada/Theora/Quality", "999"},   {"Zizizada/VorbisQuality", "-200"},
        {"Zizizada/Processing/ResizeW", "0"}, {"Zizizada/Processing/CropL", "-5"},
        {"Zizizada/Autostart", "abc"},
    };
    for (auto [key, text] : bad) Store(key, text);
    LoadSettings();
    EXPECT_EQ(Settings.Theora.FPS, 15);
    EXPECT_EQ(Settings.Theora.Bitrate, 1000);
    EXPECT_EQ(Settings.Theora.Quality, 10);
    EXPECT_EQ(Settings.VorbisQuality, -60);
    EXPECT_EQ(Settings.Processing.ResizeW, 320);
    EXPECT_EQ(Settings.Processing.CropL, 0);
    EXPECT_FALSE(Settings.Autostart);
    const std::string log = TakeLog();
    size_t lines = 0;
    for (size_t at = log.find("\r\n"); at != std::string::npos; at = log.find("\r\n", at + 1))
        ++lines;
    EXPECT_EQ(lines, std::size(bad)) << log;
    for (auto [key, text] : bad) {
        EXPECT_NE(log.find(std::string("Setting ") + key + ": the stored value \"" + text +
                           "\" is not usable, using the default"),
                  std::string::npos)
            << key << "\n"
            << log;
    }
    // The edges of the ranges load as stored.
    Store("Zizizada/VorbisQuality", "-100");
    Store("Zizizada/Theora/Quality", "63");
    Store("Zizizada/Processing/ResizeW", "1");
    LoadSettings();
    EXPECT_EQ(Settings.VorbisQuality, -100);
    EXPECT_EQ(Settings.Theora.Quality, 63);
    EXPECT_EQ(Settings.Processing.ResizeW, 1);
    TakeLog();
}

// Stream texts end up in codec headers and the server request: they are cut at load, at a
// character boundary, with a line saying so.
TEST_F(SettingsStoreTest, StreamTextsAreBoundedAtACharacterBoundary) {
    TakeLog();
    Store("Zizizada/StreamName", QString(2 * 1024 * 1024, 'n'));
    // 1023 ASCII bytes, then a two-byte character across the bound.
    Store("Zizizada/StreamDesc", QString(1023, 'd') + QString::fromUtf8("\u00e9") + "tail");
    Store("Zizizada/StreamGenre", QString(1024, 'g'));
    LoadSettings();
    EXPECT_EQ(Settings.StreamName, std::string(1024, 'n'));
    EXPECT_EQ(Settings.StreamDesc, std::string(1023, 'd'));
    EXPECT_EQ(Settings.StreamGenre, std::string(1024, 'g'));
    const std::string log = TakeLog();
    EXPECT_NE(log.find("Setting Zizizada/StreamName: the stored value is longer than 1024 bytes, "
                       "cut to 1024"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("Setting Zizizada/StreamDesc: the stored value is longer than 1024 bytes, "
                       "cut to 1023"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("StreamGenre"), std::string::npos) << log;
}
