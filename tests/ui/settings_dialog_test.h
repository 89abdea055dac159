#pragma once
// The settings dialog's test fixture, shared by the files that test the dialog.

#include <gtest/gtest.h>

#include <memory>

#include "settings/settings.h"
#include "ui/frm_settings.h"

class SettingsDialogTest : public ::testing::Test {
  protected:
    TfrmSettings& Open() {
        FDialog = std::make_unique<TfrmSettings>(FSettings);
        FDialog->show();
        return *FDialog;
    }

    TSettings FSettings;
    std::unique_ptr<TfrmSettings> FDialog;
};
