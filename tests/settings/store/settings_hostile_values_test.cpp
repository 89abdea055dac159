// Stored values the code cannot honour, set aside at load with their line; and no stored
// control character reaches the server's request.

#include <gtest/gtest.h>

#include <QSettings>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "net/source_request.h"
#include "settings/log.h"
#include "settings/setting_text.h"
#include "settings/settings.h"
#include "settings/store/settings_store.h"
#include "tests/settings/store/settings_store_fixture.h"
#include "tests/support/store_defaults.h"

namespace {

// One stored value the code cannot honour: the line it gives, and what loads instead.
struct THostileCase {
    const char* Key;
    QString Stored;
    std::string Line;  // "" when the value loads as stored
    std::function<std::string()> Loaded;
    std::string Expected;
};

std::string Number(int32_t value) {
    return std::to_string(value);
}

std::string NotUsable(const char* key, const std::string& shown, const char* fallback) {
    return std::string("Setting ") + key + ": the stored value \"" + shown +
           "\" is not usable, using the default \"" + fallback + "\"";
}

std::string SetAside(const char* key, const std::string& why, const char* fallback) {
    return std::string("Setting ") + key + ": the stored value " + why + ", using the default \"" +
           fallback + "\"";
}

std::vector<THostileCase> HostileCases() {
    TSettings& s = Settings;
    const auto fps = [&s] { return Number(s.Theora.FPS); };
    const auto resizeW = [&s] { return Number(s.Processing.ResizeW); };
    const auto resizeH = [&s] { return Number(s.Processing.ResizeH); };
    const auto width = [&s] { return Number(s.Theora.Width); };
    const auto height = [&s] { return Number(s.Theora.Height); };
    const auto port = [&s] { return Number(s.Icecast.Port); };
    const auto bitrate = [&s] { return Number(s.Icecast.Bitrate); };
    const auto alpha = [&s] { return Number(s.Processing.OverlayAlpha); };
    const auto mount = [&s] { return s.Icecast.MountPoint; };
    const auto name = [&s] { return s.StreamName; };
    const auto genre = [&s] { return s.StreamGenre; };
    const auto desc = [&s] { return s.StreamDesc; };
    const auto url = [&s] { return s.StreamURL; };
    const auto file = [&s] { return s.CaptureFile; };
    const auto overlay = [&s] { return s.Processing.OverlayImage; };
    const char* kFps = "Zizizada/Theora/FPS";
    const char* kPort = "Zizizada/Icecast/Port";
    const char* kBitrate = "Zizizada/Icecast/Bitrate";
    const char* kMount = "Zizizada/Icecast/MountPoint";
    const std::string controls = "holds control characters";
    const QString longPath = "/" + QString(MaxPathBytes - 1, 'p');  // 4096 bytes
    const QString longestPath = "/" + QString(MaxPathBytes - 2, 'p');
    return {
        {kFps, "2147483647", NotUsable(kFps, "2147483647", "15"), fps, "15"},
        {kFps, "1000000", NotUsable(kFps, "1000000", "15"), fps, "15"},
        {kFps, "121", NotUsable(kFps, "121", "15"), fps, "15"},
        {kFps, "120", "", fps, "120"},
        {kFps, "\x1b[2J", NotUsable(kFps, "\\x1B[2J", "15"), fps, "15"},
        {"Zizizada/Processing/ResizeW", "16384",
         NotUsable("Zizizada/Processing/ResizeW", "16384", "320"), resizeW, "320"},
        {"Zizizada/Processing/ResizeH", "4097",
         NotUsable("Zizizada/Processing/ResizeH", "4097", "240"), resizeH, "240"},
        {"Zizizada/Processing/ResizeW", "4096", "", resizeW, "4096"},
        {"Zizizada/Theora/Width", "16384", NotUsable("Zizizada/Theora/Width", "16384", "320"),
         width, "320"},
        {"Zizizada/Theora/Height", "0", NotUsable("Zizizada/Theora/Height", "0", "240"), height,
         "240"},
        {kPort, "-1", NotUsable(kPort, "-1", "8000"), port, "8000"},
        {kPort, "0", NotUsable(kPort, "0", "8000"), port, "8000"},
        {kPort, "65536", NotUsable(kPort, "65536", "8000"), port, "8000"},
        {kPort, "70000", NotUsable(kPort, "70000", "8000"), port, "8000"},
        {kPort, "65535", "", port, "65535"},
        {kBitrate, "-1", NotUsable(kBitrate, "-1", "128"), bitrate, "128"},
        {kBitrate, "0", NotUsable(kBitrate, "0", "128"), bitrate, "128"},
        {kBitrate, "100001", NotUsable(kBitrate, "100001", "128"), bitrate, "128"},
        {kBitrate, "100000", "", bitrate, "100000"},
        {"Zizizada/Processing/OverlayAlpha", "256",
         NotUsable("Zizizada/Processing/OverlayAlpha", "256", "255"), alpha, "255"},
        {"Zizizada/Processing/OverlayAlpha", "-1",
         NotUsable("Zizizada/Processing/OverlayAlpha", "-1", "255"), alpha, "255"},
        {"Zizizada/Processing/OverlayAlpha", "0", "", alpha, "0"},
        {kMount, "/live.ogg\r\nX-Injected: yes", SetAside(kMount, controls, "/stream.ogg"), mount,
         "/stream.ogg"},
        {kMount, "/" + QString(1024, 'm'),
         SetAside(kMount, "is longer than 1024 bytes", "/stream.ogg"), mount, "/stream.ogg"},
        {kMount, "/" + QString(1023, 'm'), "", mount, "/" + std::string(1023, 'm')},
        {"Zizizada/StreamName", "Name\nX-Injected: yes",
         SetAside("Zizizada/StreamName", controls, ""), name, ""},
        {"Zizizada/StreamGenre", "Rock\r", SetAside("Zizizada/StreamGenre", controls, ""), genre,
         ""},
        {"Zizizada/StreamDesc", "\x1b[31mred\a", SetAside("Zizizada/StreamDesc", controls, ""),
         desc, ""},
        {"Zizizada/StreamURL", "http://a/\r\nX-Injected: yes",
         SetAside("Zizizada/StreamURL", controls, ""), url, ""},
        {"Zizizada/StreamDesc", "tab\there", SetAside("Zizizada/StreamDesc", controls, ""), desc,
         ""},
        {"Zizizada/CaptureFile", longPath,
         SetAside("Zizizada/CaptureFile", "is longer than 4095 bytes", ""), file, ""},
        {"Zizizada/CaptureFile", longestPath, "", file, longestPath.toStdString()},
        {"Zizizada/Processing/OverlayImage", longPath,
         SetAside("Zizizada/Processing/OverlayImage", "is longer than 4095 bytes", ""), overlay,
         ""},
    };
}

}  // namespace

// Values the code cannot honour (a frame rate or picture no encoder serves live, a port or
// bitrate outside what the protocol carries, texts that would split the server request or a
// path the system refuses) are set aside at load, each with its line, and the default loads.
// The edges load as stored, silently. Control bytes of a stored value reach the log escaped.
TEST_F(SettingsStoreTest, HostileValuesAreSetAsideWithTheirLine) {
    for (const THostileCase& c : HostileCases()) {
        std::remove(SettingsFilePath().c_str());
        Store(c.Key, c.Stored);
        TakeLog();
        LoadSettings();
        const std::string log = TakeLog();
        const std::string shown = c.Stored.left(40).toStdString();
        EXPECT_EQ(c.Loaded(), c.Expected) << c.Key << " " << shown;
        if (c.Line.empty()) {
            EXPECT_EQ(log, "") << c.Key << " " << shown;
        } else {
            EXPECT_NE(log.find(c.Line + "\r\n"), std::string::npos) << c.Line << "\n" << log;
            EXPECT_EQ(log.find('\x1b'), std::string::npos) << log;
        }
    }
}

// Every hostile request text stored at once: the request the sender builds has exactly its
// seven fixed lines and the empty one, each ended by CR LF and free of any other control byte.
TEST_F(SettingsStoreTest, NoStoredControlCharacterReachesTheServerRequest) {
    for (const THostileCase& c : HostileCases()) Store(c.Key, c.Stored);
    Store("Zizizada/Icecast/MountPoint", "/a\rb");
    Store("Zizizada/StreamName", "n\r\nX-Injected: yes");
    LoadSettings();
    TakeLog();
    const std::string request = SourceRequest(Settings);
    EXPECT_EQ(request.find("X-Injected"), std::string::npos) << request;
    size_t lines = 0;
    for (size_t at = 0; at < request.size(); ++at) {
        const auto byte = static_cast<unsigned char>(request[at]);
        if (byte == '\r') {
            ASSERT_LT(at + 1, request.size());
            EXPECT_EQ(request[at + 1], '\n') << request;
            ++lines;
            ++at;
            continue;
        }
        EXPECT_TRUE(byte >= 0x20 && byte != 0x7F) << "byte " << int(byte) << " at " << at;
    }
    EXPECT_EQ(lines, 8u) << request;
    EXPECT_EQ(request.rfind("SOURCE /stream.ogg HTTP/1.0\r\n", 0), 0u) << request;
}
