#include "capture/v4l2_inputs.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// The node, opened without blocking (a busy capture must not hang a dialog), closed on scope exit.
class TDeviceNode final {
  public:
    explicit TDeviceNode(const std::string& path)
        : FFd(path.empty() ? -1 : ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC)) {}
    ~TDeviceNode() {
        if (FFd >= 0) ::close(FFd);
    }
    TDeviceNode(const TDeviceNode&) = delete;
    TDeviceNode& operator=(const TDeviceNode&) = delete;

    bool Open() const { return FFd >= 0; }
    template <typename T>
    bool Control(unsigned long request, T* argument) const {
        int result;
        do {
            result = ::ioctl(FFd, request, argument);
        } while (result < 0 && errno == EINTR);
        return result == 0;
    }

  private:
    const int FFd;
};

}  // namespace

std::vector<TV4l2Input> ListV4l2Inputs(const std::string& devicePath) {
    std::vector<TV4l2Input> inputs;
    const TDeviceNode node(devicePath);
    if (!node.Open()) return inputs;
    for (__u32 index = 0;; ++index) {
        v4l2_input input{};
        input.index = index;
        if (!node.Control(VIDIOC_ENUMINPUT, &input)) break;
        const auto* name = reinterpret_cast<const char*>(input.name);
        inputs.push_back({static_cast<int>(index),
                          std::string(name, strnlen(name, sizeof input.name)),
                          input.type == V4L2_INPUT_TYPE_CAMERA});
    }
    return inputs;
}

std::optional<int> CurrentV4l2Input(const std::string& devicePath) {
    const TDeviceNode node(devicePath);
    int index = 0;
    if (!node.Open() || !node.Control(VIDIOC_G_INPUT, &index)) return std::nullopt;
    return index;
}

bool SelectV4l2Input(const std::string& devicePath, int index) {
    const TDeviceNode node(devicePath);
    return node.Open() && index >= 0 && node.Control(VIDIOC_S_INPUT, &index);
}
