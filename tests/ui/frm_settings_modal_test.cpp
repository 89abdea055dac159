// The settings dialog's buttons that open a modal window of their own: the file chooser and
// the colour picker.
#include <gtest/gtest.h>

#include <QColor>
#include <QDialog>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "tests/support/modal_helper.h"
#include "tests/support/store_defaults.h"
#include "tests/support/temp_folder.h"
#include "tests/ui/settings_dialog_test.h"
#include "ui/color_picker.h"

namespace {

TEST_F(SettingsDialogTest, FileDialogChoosesTheRecordingFile) {
    SetStoreDefaults(FSettings);
    TfrmSettings& d = Open();
    QString title, suffix;
    QStringList filters;
    WhenModalOpens(
        [&](QWidget* modal) {
            auto* files = qobject_cast<QFileDialog*>(modal);
            ASSERT_NE(files, nullptr);
            title = files->windowTitle();
            suffix = files->defaultSuffix();
            filters = files->nameFilters();
            files->selectFile("/tmp/chosen.ogg");
            static_cast<QDialog*>(files)->accept();
        },
        &d);
    QTest::mouseClick(d.btnOggFile, Qt::LeftButton);
    EXPECT_EQ(title, "Select ogg file to save to");
    EXPECT_EQ(suffix, "ogg");
    EXPECT_EQ(filters, QStringList({"Ogg Files (*.ogg)", "All Files (*.*)"}));
    EXPECT_EQ(d.txtFilename->text(), "/tmp/chosen.ogg");
}

TEST_F(SettingsDialogTest, PickButtonTakesTheClickedColourAndSurvivesAnUnreadableFile) {
    TTempFolder folder;
    const QString file = QString::fromStdString(folder.Path()) + "/logo.bmp";
    QImage picture(200, 100, QImage::Format_RGB32);
    picture.fill(QColor(10, 20, 30));
    for (int y = 0; y < 100; ++y)
        for (int x = 100; x < 200; ++x) picture.setPixelColor(x, y, QColor(200, 150, 100));
    ASSERT_TRUE(picture.save(file, "BMP"));

    SetStoreDefaults(FSettings);
    FSettings.Processing.Overlay = true;
    FSettings.Processing.OverlayImage = file.toStdString();
    FSettings.Processing.OverlayColor = 0x00FF00;
    TfrmSettings& d = Open();
    WhenModalOpens(
        [](QWidget* modal) {
            auto* picker = qobject_cast<TColorPicker*>(modal);
            ASSERT_NE(picker, nullptr);
            QWidget* pic = picker->Pic();
            QTest::mouseClick(pic, Qt::LeftButton, {}, QPoint(pic->width() * 3 / 4, 10));
        },
        &d);
    QTest::mouseClick(d.bPick, Qt::LeftButton);
    EXPECT_EQ(d.TransparentColour(), QColor(200, 150, 100));

    d.txtOverlayImage->setText(QString::fromStdString(folder.Path()) + "/missing.bmp");
    WhenModalOpens([](QWidget* modal) { modal->close(); }, &d);
    QTest::mouseClick(d.bPick, Qt::LeftButton);
    EXPECT_EQ(d.TransparentColour(), QColor(200, 150, 100)) << "closed without a click";
}

}  // namespace
