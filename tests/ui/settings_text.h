#pragma once
// Every field of a settings record as text, so two records compare in one assertion and a
// difference shows by name.

#include <sstream>
#include <string>

#include "settings/settings.h"
#include "tests/support/store_defaults.h"

inline std::string SettingsText(const TSettings& s) {
    std::ostringstream out;
    const TTheoraSettings& t = s.Theora;
    const TIcecastSettings& i = s.Icecast;
    const TVideoProcessing& p = s.Processing;
    out << "DebugMode=" << s.DebugMode << " AudioDevice=" << s.AudioDevice
        << " VideoDevice=" << s.VideoDevice << " CaptureFile=" << s.CaptureFile
        << " Preview=" << s.Preview << " APreview=" << s.APreview
        << " CaptureToFile=" << s.CaptureToFile
        << " RecordWhileStreaming=" << s.RecordWhileStreaming << " Autostart=" << s.Autostart
        << " VorbisQuality=" << s.VorbisQuality << " VorbisSampleFreq=" << s.VorbisSampleFreq
        << " VorbisStereo=" << s.VorbisStereo << "\nTheora=" << t.Width << "," << t.Height << ","
        << t.FPS << "," << t.Bitrate << "," << t.Quality << "," << t.DropFrames << ","
        << t.AutoKeyframeMax << " TheoraFasterMode=" << s.TheoraFasterMode
        << "\nIcecast=" << i.Server << "," << i.Port << "," << i.Username << "," << i.Password
        << "," << i.MountPoint << "," << i.Bitrate << "," << i.YP << "\nProcessing=" << p.Resize
        << "," << p.ResizeW << "," << p.ResizeH << "," << p.HighQualityResize << "," << p.Crop
        << "," << p.CropL << "," << p.CropR << "," << p.CropT << "," << p.CropB << "," << p.Overlay
        << "," << p.OverlayImage << "," << p.OverlayAlpha << "," << p.OverlayColor << ","
        << p.TransColor << "\nStream=" << s.StreamName << "," << s.StreamDesc << "," << s.StreamURL
        << "," << s.StreamGenre;
    return out.str();
}
