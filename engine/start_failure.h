#pragma once
// TStartFailure: a run that cannot start, and which half of it is to blame. The live encoder
// throws it from its constructor after letting go of its output untouched, so the owner can
// say "Audio Failed" or "Video Failed" and keep the previous recording as it was.

#include <stdexcept>
#include <string>

class TStartFailure final : public std::runtime_error {
  public:
    TStartFailure(bool video, const std::string& reason)
        : std::runtime_error(reason), FVideo(video) {}
    bool Video() const { return FVideo; }

  private:
    bool FVideo;
};
