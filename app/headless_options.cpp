#include "app/headless_options.h"

#include <charconv>
#include <functional>
#include <map>

#include "settings/setting_text.h"

namespace {

constexpr size_t ShownValueBytes = 100;

template <typename Number>
bool ParseNumber(const std::string& text, Number& value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end;
}

bool ParsePair(const std::string& text, char separator, int& first, int& second) {
    const auto split = text.find(separator);
    return split != std::string::npos && ParseNumber(text.substr(0, split), first) &&
           ParseNumber(text.substr(split + 1), second);
}

bool ParseSource(const std::string& text, bool& enabled) {
    if (text != "test" && text != "none") return false;
    enabled = text == "test";
    return true;
}

using ValueParser = std::function<bool(const std::string&, THeadlessOptions&)>;

const std::map<std::string, ValueParser>& ValueOptions() {
    static const std::map<std::string, ValueParser> parsers = {
        {"--seconds",
         [](const std::string& v, THeadlessOptions& o) {
             return ParseNumber(v, o.Seconds) && o.Seconds > 0 && o.Seconds < 1e7;
         }},
        {"--file",
         [](const std::string& v, THeadlessOptions& o) {
             o.File = v;
             return !v.empty() && v.size() < MaxPathBytes;
         }},
        {"--video",
         [](const std::string& v, THeadlessOptions& o) { return ParseSource(v, o.Video); }},
        {"--audio",
         [](const std::string& v, THeadlessOptions& o) { return ParseSource(v, o.Audio); }},
        {"--capture-size",
         [](const std::string& v, THeadlessOptions& o) {
             return ParsePair(v, 'x', o.CaptureWidth, o.CaptureHeight) && o.CaptureWidth >= 16 &&
                    o.CaptureHeight >= 16 && o.CaptureWidth <= 8192 && o.CaptureHeight <= 8192;
         }},
        {"--capture-fps",
         [](const std::string& v, THeadlessOptions& o) {
             return ParseNumber(v, o.CaptureFps) && o.CaptureFps >= 1 && o.CaptureFps <= 240;
         }},
        {"--capture-audio",
         [](const std::string& v, THeadlessOptions& o) {
             return ParsePair(v, ':', o.CaptureRate, o.CaptureChannels) && o.CaptureRate >= 1000 &&
                    o.CaptureRate <= 384000 && o.CaptureChannels >= 1 && o.CaptureChannels <= 8;
         }},
        {"--video-device",
         [](const std::string& v, THeadlessOptions& o) {
             o.VideoDevice = v;
             return !v.empty();
         }},
        {"--audio-device",
         [](const std::string& v, THeadlessOptions& o) {
             o.AudioDevice = v;
             return !v.empty();
         }},
        {"--video-mode",
         [](const std::string& v, THeadlessOptions& o) {
             o.VideoMode = ParseVideoMode(v);
             return o.VideoMode.has_value();
         }},
        {"--test-pattern-format",
         [](const std::string& v, THeadlessOptions& o) {
             o.TestPatternFormat = v;
             return v == "bgr" || v == "i420" || v == "mjpeg";
         }},
        {"--fail-video-after",
         [](const std::string& v, THeadlessOptions& o) {
             return ParseNumber(v, o.FailVideoAfter) && o.FailVideoAfter > 0;
         }},
        {"--fail-audio-after",
         [](const std::string& v, THeadlessOptions& o) {
             return ParseNumber(v, o.FailAudioAfter) && o.FailAudioAfter > 0;
         }},
        {"--server",
         [](const std::string& v, THeadlessOptions& o) {
             o.Server = v;
             return !v.empty() && !HoldsControlCharacter(v);
         }},
        {"--port",
         [](const std::string& v, THeadlessOptions& o) {
             uint16_t port = 0;
             if (!ParseNumber(v, port) || port == 0) return false;
             o.Port = port;
             return true;
         }},
        // The mount point goes into the request line, as the stored one.
        {"--mount",
         [](const std::string& v, THeadlessOptions& o) {
             o.Mount = v;
             return !v.empty() && v.size() <= MaxRequestTextBytes && !HoldsControlCharacter(v);
         }},
        {"--user",
         [](const std::string& v, THeadlessOptions& o) {
             o.User = v;
             return true;
         }},
        {"--password",
         [](const std::string& v, THeadlessOptions& o) {
             o.Password = v;
             return true;
         }},
    };
    return parsers;
}

}  // namespace

std::optional<THeadlessOptions> ParseHeadlessOptions(const std::vector<std::string>& args,
                                                     std::string& error) {
    THeadlessOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name == "--fast")
            options.Fast = true;
        else if (name == "--stream")
            options.Stream = true;
        else if (name == "--list-devices")
            options.ListDevices = true;
        else if (name == "--help")
            options.Help = true;
        else if (name == "--version")
            options.Version = true;
        else {
            const auto parser = ValueOptions().find(name);
            if (parser == ValueOptions().end()) {
                error = "unknown option '" + EscapedText(name, ShownValueBytes) + "' (see --help)";
                return std::nullopt;
            }
            if (i + 1 >= args.size()) {
                error = "option " + name + " needs a value";
                return std::nullopt;
            }
            const std::string& value = args[++i];
            if (!parser->second(value, options)) {
                error = "bad value '" + EscapedText(value, ShownValueBytes) + "' for " + name;
                return std::nullopt;
            }
        }
    }
    if (!options.Video && !options.Audio) {
        error = "nothing to encode: --video none and --audio none";
        return std::nullopt;
    }
    if (options.Fast && (options.VideoDevice || options.AudioDevice)) {
        error = "--fast needs the synthetic sources, not capture devices";
        return std::nullopt;
    }
    if (options.VideoMode && !options.VideoDevice && !options.AudioDevice) {
        error = "--video-mode needs the capture graph (--video-device or --audio-device)";
        return std::nullopt;
    }
    return options;
}

std::string HeadlessUsage() {
    return "Usage: kestrova_headless [options]\n"
           "Records (or with --stream broadcasts) with the stored settings.\n"
           "  --seconds N             stop after N seconds of media (default: until a signal)\n"
           "  --file PATH             record to PATH for this run\n"
           "  --stream                broadcast to the Icecast server of the settings; with\n"
           "                          --file also record the broadcast to PATH, each going on\n"
           "                          when the other fails\n"
           "  --server HOST --port N --mount /M --user U --password P\n"
           "                          override the stored server settings for this run\n"
           "  --video test|none       the test pattern, or no video (default test)\n"
           "  --audio test|none       the test tone, or no audio (default test)\n"
           "  --capture-size WxH      test pattern size (default 640x480)\n"
           "  --capture-fps N         test pattern frame rate (default 30)\n"
           "  --capture-audio RATE:CH test tone format (default 44100:2)\n"
           "  --fast                  feed the sources as fast as the encoder takes them\n"
           "  --list-devices          list the capture devices (\"video: NAME\", \"audio: "
           "NAME\"),\n"
           "                          each video device's modes below it (\"  mode: YUY2 "
           "1280x720@30/1\")\n"
           "  --video-device NAME     capture video from NAME through the capture graph\n"
           "  --video-mode WxH@FPS    ask the video device for that size and rate for this run\n"
           "                          (FPS as N or N/D; a listed mode such as \"YUY2 "
           "1280x720@30/1\"\n"
           "                          also fixes the format); fails when the device lacks it\n"
           "  --audio-device NAME     capture sound from NAME (\"<None>\": none)\n"
           "  --test-pattern-format bgr|i420|mjpeg   what the \"Test Pattern\" device offers\n"
           "  --fail-video-after S, --fail-audio-after S   a test device fails S seconds in\n"
           "  --help, --version\n"
           "Exit status: 0 when the run ended as asked; 1 when the output or an encoder failed\n"
           "(a file that could not be written ends the run, unless it records a broadcast,\n"
           "which goes on); 2 for options that cannot be used;\n"
           "3 when a capture device failed or stalled; 4 when a broadcast's server never let\n"
           "it in (refused, unreachable or never answering for the whole run).\n";
}
