#pragma once
// The one process-wide settings record. Plain data: the store (settings_store.h) loads and
// saves it; every other part reads it directly. Worker threads read it without a lock while a
// run is active; the main thread changes it only while no run is active (DebugMode excepted,
// which is atomic for that reason).

#include <atomic>
#include <cstdint>
#include <map>
#include <string>

struct TTheoraSettings {
    int32_t Width = 0;  // encoded frame size of the last run with video
    int32_t Height = 0;
    int32_t FPS = 0;
    int32_t Bitrate = 0;  // kbit/s
    int32_t Quality = 0;  // 0..63
    bool DropFrames = false;
    int32_t AutoKeyframeMax = 0;  // frames between key frames
};

struct TIcecastSettings {
    std::string Server;
    uint16_t Port = 0;
    std::string Username;
    std::string Password;
    std::string MountPoint;
    int32_t Bitrate = 0;  // nominal kbit/s announced to the server
    bool YP = false;
};

struct TVideoProcessing {
    bool Resize = false;
    int32_t ResizeW = 0;
    int32_t ResizeH = 0;
    bool HighQualityResize = false;
    bool Crop = false;
    int32_t CropL = 0;
    int32_t CropR = 0;
    int32_t CropT = 0;
    int32_t CropB = 0;
    bool Overlay = false;
    std::string OverlayImage;
    int32_t OverlayAlpha = 0;  // 0..255
    int32_t OverlayColor = 0;  // 0x00BBGGRR, the transparent colour
    bool TransColor = false;
};

struct TSettings {
    std::atomic<bool> DebugMode{false};
    std::string AudioDevice;
    std::string VideoDevice;
    std::string CaptureFile;
    bool Preview = false;
    bool APreview = false;
    bool CaptureToFile = false;
    // A broadcast also records into the capture file (the file chosen as for a recording).
    bool RecordWhileStreaming = false;
    bool Autostart = false;
    int32_t VorbisQuality = 0;     // thousandths, -999..999
    int32_t VorbisSampleFreq = 0;  // index into SampleRateTable
    bool VorbisStereo = false;
    TTheoraSettings Theora;
    bool TheoraFasterMode = false;
    TIcecastSettings Icecast;
    TVideoProcessing Processing;
    std::string StreamName;
    std::string StreamDesc;
    std::string StreamURL;
    std::string StreamGenre;
    // The capture mode chosen on the pin page, by video device name (text as VideoModeText in
    // settings/video_mode.h); a device without an entry gets the automatic choice.
    std::map<std::string, std::string> VideoModes;
};

extern TSettings Settings;

// Ranges the store enforces at load and the dialogs offer. Larger pictures or frame rates are
// beyond what the encoder and the capture can serve live.
inline constexpr int32_t MinPictureSide = 1;
inline constexpr int32_t MaxPictureSide = 4096;
inline constexpr int32_t MinFramesPerSecond = 1;
inline constexpr int32_t MaxFramesPerSecond = 120;

inline constexpr int SampleRateTable[6] = {8000, 11025, 22050, 32000, 44100, 48000};
