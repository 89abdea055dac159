#pragma once
// The values an empty store loads: what the settings tests compare against, and where the
// window tests start from.

#include "settings/settings.h"

inline void SetStoreDefaults(TSettings& s) {
    s.DebugMode = false;
    s.AudioDevice = s.VideoDevice = s.CaptureFile = "";
    s.Preview = s.CaptureToFile = true;
    s.APreview = s.VorbisStereo = s.Autostart = s.RecordWhileStreaming = false;
    s.VorbisQuality = -60;
    s.VorbisSampleFreq = 2;
    s.StreamName = s.StreamDesc = s.StreamURL = s.StreamGenre = "";
    s.Theora = {320, 240, 15, 1000, 10, true, 90};
    s.TheoraFasterMode = true;
    s.Icecast = {"localhost", 8000, "source", "wenduk", "/stream.ogg", 128, true};
    s.Processing = {false, 320, 240, true, false, 0, 0, 0, 0, false, "", 255, 0, true};
    s.VideoModes.clear();
}
