#pragma once
// Base of the suites that drive the real main window: the store and the home folder live in
// a temporary folder of the test's own, the stored devices are "Test Pattern" and "Test Tone",
// and recordings go to that folder unless a test says otherwise.

#include <gtest/gtest.h>

#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "app/frm_capture.h"
#include "tests/e2e/media_tools.h"

// A store folder for a whole suite of built-program runs, named in the environment (for the
// programs) and to Qt (which reads the environment's folder only once per process).
std::unique_ptr<TTempFolder> MakeSuiteStoreFolder();

class TWindowTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Creates and shows the window; waits (bounded) for "Ready" when asked.
    void OpenWindow(bool waitForReady = true, TTestDeviceOptions devices = {});
    bool LogHas(const std::string& text) const;
    // Presses a key on the window, as the operator does.
    void Press(int key);
    // Keeps the loop turning until the run has encoded `frames` frames (bounded).
    bool RecordFrames(int frames, int timeoutMs = 30000);

    static const std::string BaseStatus;  // both test devices at 640 x 480

    TTempFolder Work;
    std::string RecordingFile;
    std::unique_ptr<TfrmCapture> Window;
    std::string SeenLog;  // everything the log pane was handed so far

  private:
    QByteArray FSavedHome;
    QByteArray FSavedConfig;
};
