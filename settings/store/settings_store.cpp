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
#include "settings/settings.h"
#include "settings/video_mode.h"

namespace {

using TField = std::variant<std::string*, int32_t*, uint16_t*, bool*, std::atomic<bool>*>;

struct TValue {
    const char* Key;  // group path and value name
    TField Field;
    const char* Default;      // as stored text
    int32_t Min = INT32_MIN;  // loaded numbers outside Min..Max take the default
    int32_t Max = INT32_MAX;
    size_t MaxBytes = 0;  // texts: longer ones are cut to this many bytes; 0: no bound
};

// Stream comments go into the codec headers and the server's request: a few megabytes there
// break the file's page order and every player. Far more than any name or description needs.
constexpr size_t MaxStreamTextBytes = 1024;

constexpr size_t ValueCount = 44;
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
        {"Zizizada/CaptureFile", &s.CaptureFile, ""},
        {"Zizizada/APreview", &s.APreview, "0"},
        // libvorbis takes qualities from -0.1 to 1.0 only.
        {"Zizizada/VorbisQuality", &s.VorbisQuality, "-60", -100, 1000},
        {"Zizizada/VorbisSampleFreq", &s.VorbisSampleFreq, "2", 0, std::size(SampleRateTable) - 1},
        {"Zizizada/VorbisStereo", &s.VorbisStereo, "0"},
        {"Zizizada/StreamName", &s.StreamName, "", INT32_MIN, INT32_MAX, MaxStreamTextBytes},
        {"Zizizada/StreamDesc", &s.StreamDesc, "", INT32_MIN, INT32_MAX, MaxStreamTextBytes},
        {"Zizizada/StreamURL", &s.StreamURL, "", INT32_MIN, INT32_MAX, MaxStreamTextBytes},
        {"Zizizada/StreamGenre", &s.StreamGenre, "", INT32_MIN, INT32_MAX, MaxStreamTextBytes},
        {"Zizizada/Autostart", &s.Autostart, "0"},
        {"Zizizada/Theora/Width", &t.Width, "320"},
        {"Zizizada/Theora/Height", &t.Height, "240"},
        // The frame clock divides by FPS.
        {"Zizizada/Theora/FPS", &t.FPS, "15", 1},
        {"Zizizada/Theora/Bitrate", &t.Bitrate, "1000", 0},
        // libtheora's quality scale.
        {"Zizizada/Theora/Quality", &t.Quality, "10", 0, 63},
        {"Zizizada/Theora/DropFrames", &t.DropFrames, "1"},
        {"Zizizada/Theora/AutoKeyframeMax", &t.AutoKeyframeMax, "90"},
        {"Zizizada/Theora/TheoraFasterMode", &s.TheoraFasterMode, "1"},
        {"Zizizada/Icecast/Server", &i.Server, "localhost"},
        {"Zizizada/Icecast/Username", &i.Username, "source"},
        {"Zizizada/Icecast/Password", &i.Password, "wenduk"},
        {"Zizizada/Icecast/MountPoint", &i.MountPoint, "/stream.ogg"},
        {"Zizizada/Icecast/Port", &i.Port, "8000"},
        {"Zizizada/Icecast/Bitrate", &i.Bitrate, "128"},
        {"Zizizada/Icecast/YP", &i.YP, "1"},
        // A picture needs at least one pixel each way, and crops cannot be negative.
        {"Zizizada/Processing/ResizeW", &p.ResizeW, "320", 1},
        {"Zizizada/Processing/ResizeH", &p.ResizeH, "240", 1},
        {"Zizizada/Processing/Resize", &p.Resize, "0"},
        {"Zizizada/Processing/HighQualityResize", &p.HighQualityResize, "1"},
        {"Zizizada/Processing/Crop", &p.Crop, "0"},
        {"Zizizada/Processing/CropL", &p.CropL, "0", 0},
        {"Zizizada/Processing/CropR", &p.CropR, "0", 0},
        {"Zizizada/Processing/CropT", &p.CropT, "0", 0},
        {"Zizizada/Processing/CropB", &p.CropB, "0", 0},
        {"Zizizada/Processing/Overlay", &p.Overlay, "0"},
        {"Zizizada/Processing/OverlayAlpha", &p.OverlayAlpha, "255"},
        {"Zizizada/Processing/OverlayImage", &p.OverlayImage, ""},
        {"Zizizada/Processing/OverlayColor", &p.OverlayColor, "0"},
        {"Zizizada/Processing/TransColor", &p.TransColor, "1"},
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

// One line per stored value replaced, so the user learns why the run is not what was set.
// An absent value takes its default silently: that is a first start, not a fault.
void ReportDefault(const TValue& value, const TStored& stored) {
    if (!stored.Present) return;
    const std::string what =
        stored.Text ? "\"" + *stored.Text + "\" is not usable" : "cannot be read";
    LogLine(std::string("Setting ") + value.Key + ": the stored value " + what +
            ", using the default \"" + value.Default + "\"");
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
std::string ReadText(const TValue& value, const TStored& stored) {
    if (!stored.Text) {
        ReportDefault(value, stored);
        return value.Default;
    }
    std::string text = *stored.Text;
    if (value.MaxBytes == 0 || text.size() <= value.MaxBytes) return text;
    size_t cut = value.MaxBytes;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    text.resize(cut);
    LogLine(std::string("Setting ") + value.Key + ": the stored value is longer than " +
            std::to_string(value.MaxBytes) + " bytes, cut to " + std::to_string(cut));
    return text;
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
            else  // the port keeps the low 16 bits
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
