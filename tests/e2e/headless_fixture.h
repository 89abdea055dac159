#pragma once
// Base of the suites that run kestrova_headless: each test process keeps its stored settings
// in a folder of its own (never the user's), and the runner under test reads the same folder.
// In sanitizer builds the runner writes any report to a file there, and the test that ran it
// fails with the report even when it expected the runner to fail.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "media_tools.h"

class THeadlessTest : public ::testing::Test {
  protected:
    // Points the store at a fresh folder and saves the defaults there.
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    // Fails the test with every sanitizer report the runner wrote, and clears them.
    void TearDown() override;

    // The store holds the defaults again, so the next test starts from them.
    static void RestoreStoredDefaults();

    // The shell command that runs the runner with these options against the test's store.
    static std::string HeadlessCommand(const std::string& options);

    static std::unique_ptr<TTempFolder> Config;
    TTempFolder Work;
};
