#include "capture/connect_status.h"

std::string ConnectStatusText(const TConnectState& state) {
    std::string text;
    if (state.AudioChosen) text += state.AudioOk ? "Audio OK  -  " : "Audio Failed - ";
    if (state.VideoChosen) {
        if (state.VideoOk) {
            text += "Video OK ";
            if (state.Width > 0 && state.Height > 0) {
                text +=
                    "(" + std::to_string(state.Width) + "x" + std::to_string(state.Height) + ") ";
            }
            text += " -  ";
        } else {
            text += "Video Failed - ";
        }
    }
    return text + "OK";
}
