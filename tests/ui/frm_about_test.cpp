#include "ui/frm_about.h"

#include <gtest/gtest.h>
#include <theora/codec.h>

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QSettings>
#include <QTest>
#include <filesystem>
#include <iostream>

#include "settings/log.h"
#include "settings/settings.h"
#include "settings/store/settings_store.h"
#include "tests/support/temp_folder.h"
#include "ui/kestrova_button.h"

namespace {

// The store lives in a fresh folder for each test; the user's settings are never touched.
class AboutBoxTest : public ::testing::Test {
  protected:
    void SetUp() override {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QString::fromStdString(FFolder.Path()));
        Settings.DebugMode = false;
        TakeLog();
    }
    void TearDown() override { Settings.DebugMode = false; }

    QString Stored(const char* key) const {
        QSettings raw(QString::fromStdString(SettingsFilePath()), QSettings::IniFormat);
        return raw.value(key).toString();
    }

    TTempFolder FFolder;
};

TEST_F(AboutBoxTest, ShowsVersionsLicenceAndClosesWithEscape) {
    TfrmAbout about;
    EXPECT_EQ(about.windowTitle(), "About Kestrova Ogg Zizizada V1.0.0.0");
    EXPECT_EQ(about.ClientSize(), QSize(383, 458));
    EXPECT_EQ(about.theVer()->text().toStdString(), th_version_string());
    EXPECT_TRUE(about.Licence()->isReadOnly());
    EXPECT_TRUE(about.Licence()->toPlainText().contains("Xiph.org Foundation"));
    about.show();
    QTest::keyClick(&about, Qt::Key_Escape);
    EXPECT_EQ(about.result(), QDialog::Accepted);
    EXPECT_FALSE(about.isVisible());
}

TEST_F(AboutBoxTest, DebugSwitchIsStoredAtOnceAndTakesEffectAtOnce) {
    TfrmAbout about;
    about.show();
    EXPECT_FALSE(about.cbxDebug()->isChecked());
    EXPECT_FALSE(QFile::exists(QString::fromStdString(SettingsFilePath())));

    // Each click is stored before the next line runs, and debug lines follow it at once.
    for (bool on : {true, false}) {
        QTest::mouseClick(about.cbxDebug(), Qt::LeftButton, {},
                          QPoint(6, about.cbxDebug()->height() / 2));
        EXPECT_EQ(Settings.DebugMode, on);
        EXPECT_EQ(Stored("Zizizada/DebugMode"), on ? "1" : "0");
        DebugLine("traced");
        EXPECT_EQ(TakeLog().find("traced") != std::string::npos, on);
    }
}

TEST_F(AboutBoxTest, OpensTickedWhenDebugOutputIsOn) {
    Settings.DebugMode = true;
    TfrmAbout about;
    EXPECT_TRUE(about.cbxDebug()->isChecked());
    EXPECT_EQ(Stored("Zizizada/DebugMode"), "1");
}

// Run only by the test below, in a copy of this program in a folder without the libraries
// that live beside the real one.
TEST(AboutBoxChild, DISABLED_PrintsTheTheoraVersionLine) {
    TfrmAbout about;
    std::cout << "theVer=" << about.theVer()->text().toStdString() << std::endl;
}

TEST(AboutBoxLibrariesTest, LibrariesMissingFromTheProgramFolderAreReported) {
    TTempFolder folder;
    const std::string copy = folder.Path() + "/ui_tests";
    std::filesystem::copy_file("/proc/self/exe", copy);
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("XDG_CONFIG_HOME", QString::fromStdString(folder.Path()));
    child.setProcessEnvironment(environment);
    child.setWorkingDirectory(QString::fromStdString(folder.Path()));
    child.start(QString::fromStdString(copy),
                {"--gtest_also_run_disabled_tests",
                 "--gtest_filter=AboutBoxChild.DISABLED_PrintsTheTheoraVersionLine"});
    ASSERT_TRUE(child.waitForFinished(60000));
    const QString output = child.readAllStandardOutput();
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains("theVer=DLL files are missing!")) << output.toStdString();
}

}  // namespace
