#include "app/run_output.h"

#include "engine/ogg_file.h"
#include "net/ogg_network_stream.h"
#include "settings/log.h"
#include "settings/settings.h"

TRunOutput CreateRunOutput() {
    return CreateRunOutput(Settings.CaptureFile);
}

TRunOutput CreateRunOutput(const std::string& captureFile) {
    TRunOutput run;
    if (!Settings.CaptureToFile) {
        run.Output = std::make_unique<tOggNetworkStream>();
        return run;
    }
    auto file = std::make_unique<tOggFile>();
    if (!file->Open(captureFile)) {
        // The file output has already logged the failure for the operator.
        run.ErrorText = "Error writing to file " + captureFile;
        DebugLine(run.ErrorText);
    }
    run.Output = std::move(file);
    return run;
}
