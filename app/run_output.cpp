#include "app/run_output.h"

#include "engine/ogg_file.h"
#include "net/ogg_network_stream.h"
#include "net/ogg_stream_and_file.h"
#include "settings/log.h"
#include "settings/settings.h"

TRunOutput CreateRunOutput() {
    return CreateRunOutput(Settings.CaptureFile);
}

namespace {

std::unique_ptr<tOggFile> OpenFile(const std::string& captureFile, std::string& errorText) {
    auto file = std::make_unique<tOggFile>();
    if (!file->Open(captureFile)) {
        // The file output has already logged the failure for the operator.
        errorText = "Error writing to file " + captureFile;
        DebugLine(errorText);
    }
    return file;
}

}  // namespace

TRunOutput CreateRunOutput(const std::string& captureFile) {
    TRunOutput run;
    if (Settings.CaptureToFile) {
        run.Output = OpenFile(captureFile, run.ErrorText);
    } else if (Settings.RecordWhileStreaming) {
        // A file that cannot be created leaves the broadcast going.
        run.Output = std::make_unique<tOggStreamAndFile>(OpenFile(captureFile, run.ErrorText));
    } else {
        run.Output = std::make_unique<tOggNetworkStream>();
    }
    return run;
}
