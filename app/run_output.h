#pragma once
// The choice of a run's Ogg output, made by the owner of each run (main window, headless
// runner) and handed to the live encoder: a network stream to the Icecast server, or the
// capture file, as the settings say. Owner's thread, before the run starts.

#include <memory>
#include <string>

#include "engine/ogg_io_base.h"

struct TRunOutput {
    std::unique_ptr<tOggIOBase> Output;  // never null
    // "Error writing to file <path>" when the capture file could not be created, else empty.
    // The output is then a file output that drops what it is given, so the run can still go.
    std::string ErrorText;
};

// Settings.CaptureToFile picks a file output opened on Settings.CaptureFile; otherwise a
// network stream, which starts connecting at once, and with Settings.RecordWhileStreaming
// one that also records into that file.
TRunOutput CreateRunOutput();
// The same with the file named by the caller (the window records to a dated file in the
// videos folder when no file is stored); `captureFile` is unused for a broadcast alone.
TRunOutput CreateRunOutput(const std::string& captureFile);
