#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/sound_session.h"

// Sets a session's client environment in this process for its own lifetime, and puts back
// what was there before. For in-process clients (a GStreamer device monitor) started while
// it lives.
class TSessionEnvironment final {
  public:
    explicit TSessionEnvironment(const TSoundSession& session);
    ~TSessionEnvironment();
    TSessionEnvironment(const TSessionEnvironment&) = delete;
    TSessionEnvironment& operator=(const TSessionEnvironment&) = delete;

  private:
    std::vector<std::pair<std::string, std::optional<std::string>>> FSaved;
};
