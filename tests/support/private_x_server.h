#pragma once
// An X server of the test's own (Xvfb) on a display number it chose itself, for programs run with
// the xcb platform; stopped with the object.

#include <memory>
#include <string>

#include "tests/support/background_process.h"

class TPrivateXServer {
  public:
    // Starts Xvfb, its output going to logFile; Display() is empty when none could start.
    explicit TPrivateXServer(const std::string& logFile);
    // ":N", or empty.
    const std::string& Display() const { return FDisplay; }

  private:
    std::string FDisplay;
    std::unique_ptr<TBackgroundProcess> FServer;
};
