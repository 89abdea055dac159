#pragma once
// The crossbar of a V4L2 capture device: its video inputs (VIDIOC_ENUMINPUT) and the chosen one
// (VIDIOC_G_INPUT / VIDIOC_S_INPUT), on its device node. Plain C++; every call opens the node,
// acts and closes it again, so it works while the capture graph is stopped.

#include <optional>
#include <string>
#include <vector>

struct TV4l2Input {
    int Index = 0;
    std::string Name;
    bool Camera = false;  // V4L2_INPUT_TYPE_CAMERA, else a tuner
};

// Empty when the node cannot be opened or lists no input.
std::vector<TV4l2Input> ListV4l2Inputs(const std::string& devicePath);
std::optional<int> CurrentV4l2Input(const std::string& devicePath);
bool SelectV4l2Input(const std::string& devicePath, int index);
