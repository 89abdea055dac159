#pragma once
// The status text the graph build makes: "Audio OK  -  " or "Audio Failed - " when an audio
// device was chosen, "Video OK (640x480)  -  " or "Video Failed - " when a video device was,
// then "OK". A size of 0 (unknown) leaves out the parenthesis.

#include <string>

struct TConnectState {
    bool AudioChosen = false;
    bool AudioOk = false;
    bool VideoChosen = false;
    bool VideoOk = false;
    int Width = 0;
    int Height = 0;
};

std::string ConnectStatusText(const TConnectState& state);
