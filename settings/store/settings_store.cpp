#include "settings/store/settings_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <array>
#include <charconv>
#include <climits>
#include <optional>
#include <variant>

#include "base/unique_fd.h"
#include "settings/log.h"
#include "settings/setting_text.h"
#include "settings/settings.h"
#include "settings/video_mode.h"

namespace {

using TField = std::variant<std::string*, int32_t*, uint16_t*, bool*, std::atomic<bool>*>;

// What a text value may hold.
enum class TText {
    Any,
    // Goes into the codec headers and the server's request: no control characters; a longer
    // one is cut, as a name or description still serves in part.
    Comment,
    // Goes into the request line: no control characters; a longer one is refused, as a cut
    // mount point names another mount.
    Mount,
    // A file name: one longer than the system takes is refused.
    Path,
};

struct TValue {
    const char* Key;  // group path and value name
    TField Field;
    const char* Default;      // as stored text
    int32_t Min = INT32_MIN;  // loaded numbers outside Min..Max take the default
    int32_t Max = INT32_MAX;
    TText Text = TText::Any;
};

constexpr int32_t NoMin = INT32_MIN;
constexpr int32_t NoMax = INT32_MAX;
// What the server's ice-bitrate can sensibly announce, kbit/s.
constexpr int32_t MaxIcecastBitrate = 100000;

constexpr size_t ValueCount = 45;
constexpr size_t FirstGroupCount = 15;

// Load order; the save order differs inside the first group only (see SaveOrder).
std::array<TValue, ValueCount> Values() {
    TSettings& s = Settings;
    TTheoraSettings& t = s.Theora;
    TIcecastSettings& i = s.Icecast;
    TVideoProcessing& p = s.Processing;
    return {{
        {"Zizizada/DebugMode", &s.DebugMode, "0"},
        {"Zizizada/AudioDevice", &s.AudioDevice, ""},
        {"Zizizada/VideoDevice", &s.VideoDevice, ""},
        {"Zizizada/Preview", &s.Preview, "1"},
        {"Zizizada/CaptureToFile", &s.CaptureToFile, "1"},
        {"Zizizada/CaptureFile", &s.CaptureFile, "", NoMin, NoMax, TText::Path},
        {"Zizizada/APreview", &s.APreview, "0"},
        // libvorbis takes qualities from -0.1 to 1.0 only.
        {"Zizizada/VorbisQuality", &s.VorbisQuality, "-60", -100, 1000},
        {"Zizizada/VorbisSampleFreq", &s.VorbisSampleFreq, "2", 0, std::size(SampleRateTable) - 1},
        {"Zizizada/VorbisStereo", &s.VorbisStereo, "0"},
        {"Zizizada/StreamName", &s.StreamName, "", NoMin, NoMax, TText::Comment},
        {"Zizizada/StreamDesc", &s.StreamDesc, "", NoMin, NoMax, TText::Comment},
        {"Zizizada/StreamURL", &s.StreamURL, "", NoMin, NoMax, TText::Comment},
        {"Zizizada/StreamGenre", &s.StreamGenre, "", NoMin, NoMax, TText::Comment},
        {"Zizizada/Autostart", &s.Autostart, "0"},
        // Larger pictures and rates than the encoder can serve live only stall the run.
        {"Zizizada/Theora/Width", &t.Width, "320", MinPictureSide, MaxPictureSide},
        {"Zizizada/Theora/Height", &t.Height, "240", MinPictureSide, MaxPictureSide},
        // The frame clock divides by FPS.
        {"Zizizada/Theora/FPS", &t.FPS, "15", MinFramesPerSecond, MaxFramesPerSecond},
        {"Zizizada/Theora/Bitrate", &t.Bitrate, "1000", 0},
        // libtheora's quality scale.
        {"Zizizada/Theora/Quality", &t.Quality, "10", 0, 63},
        {"Zizizada/Theora/DropFrames", &t.DropFrames, "1"},
        {"Zizizada/Theora/AutoKeyframeMax", &t.AutoKeyframeMax, "90"},
        {"Zizizada/Theora/TheoraFasterMode", &s.TheoraFasterMode, "1"},
        {"Zizizada/Icecast/Server", &i.Server, "localhost"},
        {"Zizizada/Icecast/Username", &i.Username, "source"},
        {"Zizizada/Icecast/Password", &i.Password, "wenduk"},
        {"Zizizada/Icecast/MountPoint", &i.MountPoint, "/stream.ogg", NoMin, NoMax, TText::Mount},
        {"Zizizada/Icecast/Port", &i.Port, "8000", 1, UINT16_MAX},
        {"Zizizada/Icecast/Bitrate", &i.Bitrate, "128", 1, MaxIcecastBitrate},
        {"Zizizada/Icecast/YP", &i.YP, "1"},
        // A picture needs at least one pixel each way, and crops cannot be negative.
        {"Zizizada/Processing/ResizeW", &p.ResizeW, "320", MinPictureSide, MaxPictureSide},
        {"Zizizada/Processing/ResizeH", &p.ResizeH, "240", MinPictureSide, MaxPictureSide},
        {"Zizizada/Processing/Resize", &p.Resize, "0"},
        {"Zizizada/Processing/HighQualityResize", &p.HighQualityResize, "1"},
        {"Zizizada/Processing/Crop", &p.Crop, "0"},
        {"Zizizada/Processing/CropL", &p.CropL, "0", 0},
        {"Zizizada/Processing/CropR", &p.CropR, "0", 0},
        {"Zizizada/Processing/CropT", &p.CropT, "0", 0},
        {"Zizizada/Processing/CropB", &p.CropB, "0", 0},
        {"Zizizada/Processing/Overlay", &p.Overlay, "0"},
        {"Zizizada/Processing/OverlayAlpha", &p.OverlayAlpha, "255", 0, 255},
        {"Zizizada/Processing/OverlayImage", &p.OverlayImage, "", NoMin, NoMax, TText::Path},
        {"Zizizada/Processing/OverlayColor", &p.OverlayColor, "0"},
        {"Zizizada/Processing/TransColor", &p.TransColor, "1"},
        // Added later than the others: files without it broadcast alone, as before.
        {"Zizizada/RecordWhileStreaming", &s.RecordWhileStreaming, "0"},
    }};
}

// Indices into Values() for the first group when saving.
constexpr std::array<size_t, FirstGroupCount> SaveOrder = {0, 1, 2,  3,  4,  5,  7, 8,
                                                           9, 6, 14, 10, 11, 12, 13};

QSettings Store() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, "Hadrel Forge", "Palunet");
}

// Strict decimal: an optional sign and digits, nothing else, within 32 bits.
std::optional<int32_t> ParseInteger(const std::string& text) {
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+') ++first;
    int32_t number = 0;
    auto [end, error] = std::from_chars(first, last, number);
    if (error != std::errc() || end != last || first == last) return std::nullopt;
    return number;
}

// What the store holds for one value: nothing, text, or something else (a list, a byte
// array), which cannot be read.
struct TStored {
    bool Present = false;
    std::optional<std::string> Text;
};

TStored ReadStored(const QSettings& store, const char* key) {
    QVariant value = store.value(key);
    if (!value.isValid()) return {};
    if (value.typeId() != QMetaType::QString) return {true, std::nullopt};
    return {true, value.toString().toStdString()};
}

// A stored value as the log shows it: quoted, control bytes escaped, long ones shortened.
constexpr size_t ShownValueBytes = 200;

void ReportSetAside(const TValue& value, const std::string& what) {
    LogLine(std::string("Setting ") + value.Key + ": the stored value " + what +
            ", using the default \"" + value.Default + "\"");
}

// One line per stored value replaced, so the user learns why the run is not what was set.
// An absent value takes its default silently: that is a first start, not a fault.
void ReportDefault(const TValue& value, const TStored& stored) {
    if (!stored.Present) return;
    ReportSetAside(
        value, stored.Text ? "\"" + EscapedText(*stored.Text, ShownValueBytes) + "\" is not usable"
                           : "cannot be read");
}

int32_t ReadNumber(const TValue& value, const TStored& stored) {
    std::optional<int32_t> number = stored.Text ? ParseInteger(*stored.Text) : std::nullopt;
    if (!number || *number < value.Min || *number > value.Max) {
        ReportDefault(value, stored);
        number = ParseInteger(value.Default);
    }
    return *number;
}

// Cut at a character boundary, so the kept part is still valid UTF-8.
std::string CutText(const TValue& value, std::string text) {
    size_t cut = MaxRequestTextBytes;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    text.resize(cut);
    LogLine(std::string("Setting ") + value.Key + ": the stored value is longer than " +
            std::to_string(MaxRequestTextBytes) + " bytes, cut to " + std::to_string(cut));
    return text;
}

// Why a stored text cannot be used, or nothing.
std::optional<std::string> RefusedText(const TValue& value, const std::string& text) {
    const bool request = value.Text == TText::Comment || value.Text == TText::Mount;
    if (request && HoldsControlCharacter(text)) return "holds control characters";
    if (value.Text == TText::Mount && text.size() > MaxRequestTextBytes)
        return "is longer than " + std::to_string(MaxRequestTextBytes) + " bytes";
    if (value.Text == TText::Path && text.size() >= MaxPathBytes)
        return "is longer than " + std::to_string(MaxPathBytes - 1) + " bytes";
    return std::nullopt;
}

std::string ReadText(const TValue& value, const TStored& stored) {
    if (!stored.Text) {
        ReportDefault(value, stored);
        return value.Default;
    }
    if (const auto why = RefusedText(value, *stored.Text)) {
        ReportSetAside(value, *why);
        return value.Default;
    }
    if (value.Text == TText::Comment && stored.Text->size() > MaxRequestTextBytes)
        return CutText(value, *stored.Text);
    return *stored.Text;
}

void Load(const TValue& value, const QSettings& store) {
    const TStored stored = ReadStored(store, value.Key);
    std::visit(
        [&](auto* field) {
            using T = std::remove_pointer_t<decltype(field)>;
            if constexpr (std::is_same_v<T, std::string>)
                *field = ReadText(value, stored);
            else if constexpr (std::is_same_v<T, std::atomic<bool>>)
                field->store(ReadNumber(value, stored) != 0);
            else if constexpr (std::is_same_v<T, bool>)
                *field = ReadNumber(value, stored) != 0;
            else  // the port's range fits its type
                *field = static_cast<T>(ReadNumber(value, stored));
        },
        value.Field);
}

QString StoredText(const TValue& value) {
    return std::visit(
        [](auto* field) -> QString {
            using T = std::remove_pointer_t<decltype(field)>;
            if constexpr (std::is_same_v<T, std::string>)
                return QString::fromStdString(*field);
            else if constexpr (std::is_same_v<T, std::atomic<bool>>)
                return field->load() ? "1" : "0";
            else if constexpr (std::is_same_v<T, bool>)
                return *field ? "1" : "0";
            else
                return QString::number(*field);
        },
        value.Field);
}

// The pin page's choices, one value per video device. Older files lack the group; an empty
// map writes none, so such files stay as they were.
constexpr const char* VideoModesGroup = "Zizizada/VideoModes";

// A device name as a key: QSettings reads '/' and '\\' as group separators.
QString VideoModeKey(const std::string& device) {
    QString key = QString::fromStdString(device);
    key.replace('%', "%25").replace('/', "%2F").replace('\\', "%5C");
    return key;
}

std::string VideoModeDevice(QString key) {
    key.replace("%2F", "/").replace("%5C", "\\").replace("%25", "%");
    return key.toStdString();
}

void LoadVideoModes(QSettings& store) {
    Settings.VideoModes.clear();
    store.beginGroup(VideoModesGroup);
    for (const QString& key : store.childKeys()) {
        const TStored stored = ReadStored(store, key.toUtf8().constData());
        if (stored.Text && ParseVideoMode(*stored.Text)) {
            Settings.VideoModes[VideoModeDevice(key)] = *stored.Text;
            continue;
        }
        const std::string what =
            stored.Text ? "\"" + *stored.Text + "\" is not a capture mode" : "cannot be read";
        LogLine(std::string("Setting ") + VideoModesGroup + "/" + key.toStdString() +
                ": the stored value " + what + ", ignored");
    }
    store.endGroup();
}

void SaveVideoModes(QSettings& store) {
    // Devices whose choice went back to automatic lose their entries.
    store.remove(VideoModesGroup);
    for (const auto& [device, mode] : Settings.VideoModes) {
        if (device.empty()) continue;
        store.setValue(QString(VideoModesGroup) + "/" + VideoModeKey(device),
                       QString::fromStdString(mode));
    }
}

// The store is rewritten through a temporary file that takes the permissions of the file it
// replaces, so an owner-only file made before the first write keeps the password private at
// every moment.
bool PrepareOwnerOnlyFile(const QString& path) {
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) return false;
    TUniqueFd file(open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
    return file.Valid() && fchmod(file.Get(), 0600) == 0;
}

}  // namespace

void LoadSettings() {
    QSettings store = Store();
    for (const TValue& value : Values()) Load(value, store);
    LoadVideoModes(store);
}

bool SaveSettings() {
    QSettings store = Store();
    if (!PrepareOwnerOnlyFile(store.fileName())) return false;
    std::array<TValue, ValueCount> values = Values();
    for (size_t index : SaveOrder) store.setValue(values[index].Key, StoredText(values[index]));
    for (size_t index = FirstGroupCount; index < ValueCount; ++index)
        store.setValue(values[index].Key, StoredText(values[index]));
    SaveVideoModes(store);
    store.sync();
    bool ok = store.status() == QSettings::NoError;
    // In case the file was replaced by a means that did not keep its permissions.
    chmod(QFile::encodeName(store.fileName()).constData(), 0600);
    return ok;
}

std::string SettingsFilePath() {
    return Store().fileName().toStdString();
}
