#pragma once
// The store's test fixture: a store of its own in a fresh folder for every test.

#include <gtest/gtest.h>

#include <QSettings>
#include <QString>
#include <filesystem>
#include <fstream>
#include <string>

#include "settings/store/settings_store.h"
#include "tests/support/temp_folder.h"

// Every test gets a store of its own in a fresh folder; the real user's settings are never
// read or written.
class SettingsStoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(FFolder.empty());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QString::fromStdString(FFolder));
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                           QString::fromStdString(FFolder));
        ASSERT_EQ(SettingsFilePath(), FFolder + "/Hadrel Forge/Palunet.conf");
    }

    QSettings Raw() const {
        return QSettings(QString::fromStdString(SettingsFilePath()), QSettings::IniFormat);
    }

    void Store(const char* key, const QString& text) const {
        QSettings raw = Raw();
        raw.setValue(key, text);
    }

    void WriteFile(const std::string& text) const {
        std::filesystem::create_directories(
            std::filesystem::path(SettingsFilePath()).parent_path());
        std::ofstream(SettingsFilePath()) << text;
    }

    QString Stored(const char* key) const { return Raw().value(key).toString(); }

    TTempFolder FTemp;
    const std::string& FFolder = FTemp.Path();
};
