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
#include "settings/settings.h"

namespace {

using TField = std::variant<std::string*, int32_t*, uint16_t*, bool*, std::atomic<bool>*>;

struct TValue {
    const char* Key;  // group path and value name
    TField Field;
    const char* Default;      // as stored text
    int32_t Min = INT32_MIN;  // loaded numbers outside Min..Max take the default
    int32_t Max = INT32_MAX;
};

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
        {"Zizizada/VorbisQuality", &s.VorbisQuality, "-60"},
        {"Zizizada/VorbisSampleFreq", &s.VorbisSampleFreq, "2", 0, std::size(SampleRateTable) - 1},
        {"Zizizada/VorbisStereo", &s.VorbisStereo, "0"},
        {"Zizizada/StreamName", &s.StreamName, ""},
        {"Zizizada/StreamDesc", &s.StreamDesc, ""},
        {"Zizizada/StreamURL", &s.StreamURL, ""},
        {"Zizizada/StreamGenre", &s.StreamGenre, ""},
        {"Zizizada/Autostart", &s.Autostart, "0"},
        {"Zizizada/Theora/Width", &t.Width, "320"},
        {"Zizizada/Theora/Height", &t.Height, "240"},
        // The frame clock divides by FPS.
        {"Zizizada/Theora/FPS", &t.FPS, "15", 1},
        {"Zizizada/Theora/Bitrate", &t.Bitrate, "1000"},
        {"Zizizada/Theora/Quality", &t.Quality, "10"},
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
        {"Zizizada/Processing/ResizeW", &p.ResizeW, "320"},
        {"Zizizada/Processing/ResizeH", &p.ResizeH, "240"},
        {"Zizizada/Processing/Resize", &p.Resize, "0"},
        {"Zizizada/Processing/HighQualityResize", &p.HighQualityResize, "1"},
        {"Zizizada/Processing/Crop", &p.Crop, "0"},
        {"Zizizada/Processing/CropL", &p.CropL, "0"},
        {"Zizizada/Processing/CropR", &p.CropR, "0"},
        {"Zizizada/Processing/CropT", &p.CropT, "0"},
        {"Zizizada/Processing/CropB", &p.CropB, "0"},
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

// Absent values and values stored as anything but text (a list, a byte array) give nothing.
std::optional<std::string> ReadText(const QSettings& store, const char* key) {
    QVariant value = store.value(key);
    if (!value.isValid() || value.typeId() != QMetaType::QString) return std::nullopt;
    return value.toString().toStdString();
}

int32_t ReadNumber(const TValue& value, const std::optional<std::string>& text) {
    std::optional<int32_t> number = text ? ParseInteger(*text) : std::nullopt;
    if (!number || *number < value.Min || *number > value.Max) number = ParseInteger(value.Default);
    return *number;
}

void Load(const TValue& value, const QSettings& store) {
    std::optional<std::string> text = ReadText(store, value.Key);
    std::visit(
        [&](auto* field) {
            using T = std::remove_pointer_t<decltype(field)>;
            if constexpr (std::is_same_v<T, std::string>)
                *field = text.value_or(value.Default);
            else if constexpr (std::is_same_v<T, std::atomic<bool>>)
                field->store(ReadNumber(value, text) != 0);
            else if constexpr (std::is_same_v<T, bool>)
                *field = ReadNumber(value, text) != 0;
            else  // the port keeps the low 16 bits
                *field = static_cast<T>(ReadNumber(value, text));
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
}

bool SaveSettings() {
    QSettings store = Store();
    if (!PrepareOwnerOnlyFile(store.fileName())) return false;
    std::array<TValue, ValueCount> values = Values();
    for (size_t index : SaveOrder) store.setValue(values[index].Key, StoredText(values[index]));
    for (size_t index = FirstGroupCount; index < ValueCount; ++index)
        store.setValue(values[index].Key, StoredText(values[index]));
    store.sync();
    bool ok = store.status() == QSettings::NoError;
    // In case the file was replaced by a means that did not keep its permissions.
    chmod(QFile::encodeName(store.fileName()).constData(), 0600);
    return ok;
}

std::string SettingsFilePath() {
    return Store().fileName().toStdString();
}
