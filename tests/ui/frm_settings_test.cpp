#include "ui/frm_settings.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QStackedWidget>
#include <QStyle>
#include <QTest>
#include <climits>
#include <functional>

#include "tests/ui/settings_dialog_test.h"
#include "tests/ui/settings_text.h"
#include "ui/color_ref.h"
#include "ui/spin_edit.h"

namespace {

// A record in which every field the dialog shows holds a value of its own, within the
// controls' ranges, so a field copied to or from the wrong control shows.
void SetDistinctValues(TSettings& s) {
    SetStoreDefaults(s);
    s.CaptureToFile = false;
    s.RecordWhileStreaming = true;
    s.CaptureFile = "/tmp/out.ogg";
    s.Autostart = true;
    s.Icecast = {"media.local", 8123, "alice", "s3cret", "/live.ogg", 96, false};
    s.VorbisQuality = 250;
    s.VorbisStereo = true;
    s.VorbisSampleFreq = 4;
    s.Theora = {640, 480, 25, 1200, 33, false, 64};
    s.TheoraFasterMode = false;
    s.StreamName = "Name";
    s.StreamDesc = "Description";
    s.StreamURL = "http://127.0.0.1/";
    s.StreamGenre = "Genre";
    s.Processing = {true, 720, 576,  false,           true, 11,         12,
                    13,   14,  true, "/tmp/logo.bmp", 200,  0x00336699, false};
}

TEST_F(SettingsDialogTest, BitrateIsShownInTensAndComesBackWithinTheBarsRange) {
    SetStoreDefaults(FSettings);
    ASSERT_EQ(FSettings.Theora.Bitrate, 1000);
    TfrmSettings& dialog = Open();
    EXPECT_EQ(dialog.vidBitrate->value(), 10000);
    EXPECT_EQ(dialog.lblBitrate->text(), "1000kbps");

    FSettings.Theora.Bitrate = 2500;
    TfrmSettings& again = Open();
    EXPECT_EQ(again.vidBitrate->value(), 20000);
    EXPECT_EQ(again.lblBitrate->text(), "2000kbps");
    QTest::mouseClick(again.btnOK, Qt::LeftButton);
    EXPECT_EQ(FSettings.Theora.Bitrate, 2000);
    EXPECT_EQ(again.result(), QDialog::Accepted);
}

// The hidden field takes every rate the store takes, so OK never rewrites a stored one.
TEST_F(SettingsDialogTest, HiddenFrameRateKeepsEveryStoredRate) {
    for (int32_t fps : {1, 60, MaxFramesPerSecond}) {
        SetStoreDefaults(FSettings);
        FSettings.Theora.FPS = fps;
        TfrmSettings& dialog = Open();
        dialog.btn3->click();
        EXPECT_FALSE(dialog.spnFPS->isVisibleTo(&dialog));
        QTest::mouseClick(dialog.btnOK, Qt::LeftButton);
        EXPECT_EQ(FSettings.Theora.FPS, fps);
    }
}

TEST_F(SettingsDialogTest, ValueLabelsFollowTheirBars) {
    SetStoreDefaults(FSettings);
    FSettings.Processing.OverlayAlpha = 100;
    TfrmSettings& dialog = Open();
    EXPECT_EQ(dialog.lblQualityVideo->text(), "1.59");  // stored quality 10
    EXPECT_EQ(dialog.lblAudQuality->text(), "-0.06");   // stored -60
    EXPECT_EQ(dialog.lblPerc->text(), "39%");

    dialog.vidQuality->setValue(0);
    EXPECT_EQ(dialog.lblQualityVideo->text(), "0.00");
    dialog.vidQuality->setValue(63);
    EXPECT_EQ(dialog.lblQualityVideo->text(), "10.00");
    dialog.audQuality->setValue(999);
    EXPECT_EQ(dialog.lblAudQuality->text(), "1.00");
    dialog.tbAlpha->setValue(255);
    EXPECT_EQ(dialog.lblPerc->text(), "100%");
    dialog.vidBitrate->setValue(455);
    EXPECT_EQ(dialog.lblBitrate->text(), "45kbps");
}

TEST_F(SettingsDialogTest, PngOverlayHidesTheTransparentColourPanel) {
    SetStoreDefaults(FSettings);
    FSettings.Processing.Overlay = true;
    FSettings.Processing.OverlayImage = "/pictures/logo.PNG";
    TfrmSettings& dialog = Open();
    dialog.btn4->click();
    EXPECT_FALSE(dialog.pnlTrans->isVisible()) << "stored PNG name";

    const std::pair<const char*, bool> names[] = {{"/pictures/logo.bmp", true},
                                                  {"/pictures/logo.png", false},
                                                  {"/pictures/logo.jpg", true},
                                                  {"/pictures/logo.Png", false},
                                                  {"/pictures/logo.png.bmp", true},
                                                  {"/pictures.png/logo", true},
                                                  {"", true}};
    for (const auto& [name, shown] : names) {
        dialog.txtOverlayImage->clear();
        QTest::keyClicks(dialog.txtOverlayImage, name);
        EXPECT_EQ(dialog.pnlTrans->isVisible(), shown) << name;
    }
}

TEST_F(SettingsDialogTest, DisabledFileNameIsStillCopiedWhenStreaming) {
    SetStoreDefaults(FSettings);
    FSettings.CaptureFile = "/tmp/recording.ogg";
    TfrmSettings& dialog = Open();
    EXPECT_TRUE(dialog.txtFilename->isEnabled());
    EXPECT_FALSE(dialog.txtServer->isEnabled());

    QTest::mouseClick(dialog.radioServer, Qt::LeftButton, {},
                      QPoint(6, dialog.radioServer->height() / 2));
    ASSERT_TRUE(dialog.radioServer->isChecked());
    EXPECT_FALSE(dialog.txtFilename->isEnabled());
    EXPECT_FALSE(dialog.btnOggFile->isEnabled());
    for (QWidget* field : std::initializer_list<QWidget*>{
             dialog.txtServer, dialog.spnPort, dialog.txtUsername, dialog.txtPassword,
             dialog.txtMount, dialog.spnBitrate, dialog.cbxYellowPages, dialog.startup})
        EXPECT_TRUE(field->isEnabled()) << field->metaObject()->className();

    dialog.txtFilename->setText("/tmp/changed.ogg");
    QTest::mouseClick(dialog.btnOK, Qt::LeftButton);
    EXPECT_FALSE(FSettings.CaptureToFile);
    EXPECT_EQ(FSettings.CaptureFile, "/tmp/changed.ogg");
}

// The copy of a broadcast goes to the recording's file: ticking the box under "Stream to
// Server" opens the file name for editing again, and only a broadcast offers the box.
TEST_F(SettingsDialogTest, RecordingWhileStreamingUsesTheFileName) {
    SetStoreDefaults(FSettings);
    TfrmSettings& d = Open();
    EXPECT_EQ(d.cbxRecordWhileStreaming->text(), "Also record to a file while streaming");
    EXPECT_FALSE(d.cbxRecordWhileStreaming->isEnabled());
    d.radioServer->setChecked(true);
    EXPECT_TRUE(d.cbxRecordWhileStreaming->isEnabled());
    EXPECT_FALSE(d.txtFilename->isEnabled());
    QTest::mouseClick(d.cbxRecordWhileStreaming, Qt::LeftButton, {},
                      QPoint(6, d.cbxRecordWhileStreaming->height() / 2));
    ASSERT_TRUE(d.cbxRecordWhileStreaming->isChecked());
    EXPECT_TRUE(d.txtFilename->isEnabled() && d.btnOggFile->isEnabled());
    d.txtFilename->setText("/tmp/copy.ogg");
    QTest::mouseClick(d.btnOK, Qt::LeftButton);
    EXPECT_FALSE(FSettings.CaptureToFile);
    EXPECT_TRUE(FSettings.RecordWhileStreaming);
    EXPECT_EQ(FSettings.CaptureFile, "/tmp/copy.ogg");

    // Stored ticked, the box comes up ticked, the file name open.
    TfrmSettings& again = Open();
    EXPECT_TRUE(again.cbxRecordWhileStreaming->isChecked());
    EXPECT_TRUE(again.txtFilename->isEnabled());
}

TEST_F(SettingsDialogTest, CancelAndEscapeChangeNothing) {
    SetDistinctValues(FSettings);
    const std::string before = SettingsText(FSettings);
    for (bool byEscape : {false, true}) {
        TfrmSettings& dialog = Open();
        dialog.radioFile->setChecked(true);
        dialog.txtServer->setText("elsewhere");
        dialog.spnPort->setValue(1);
        dialog.vidBitrate->setValue(450);
        dialog.cboCrop->setChecked(false);
        dialog.cbxSampleRate->setCurrentIndex(0);
        dialog.txtOverlayImage->setText("other.png");
        dialog.SetTransparentColour(Qt::red);
        if (byEscape)
            QTest::keyClick(dialog.txtServer, Qt::Key_Escape);
        else
            QTest::mouseClick(dialog.btnCancel, Qt::LeftButton);
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(SettingsText(FSettings), before) << (byEscape ? "Escape" : "Cancel");
    }
}

TEST_F(SettingsDialogTest, OkWithoutChangesKeepsEveryValue) {
    SetDistinctValues(FSettings);
    const std::string before = SettingsText(FSettings);
    QTest::mouseClick(Open().btnOK, Qt::LeftButton);
    EXPECT_EQ(SettingsText(FSettings), before);

    SetStoreDefaults(FSettings);
    const std::string defaults = SettingsText(FSettings);
    QTest::mouseClick(Open().btnOK, Qt::LeftButton);
    EXPECT_EQ(SettingsText(FSettings), defaults);
}

TEST_F(SettingsDialogTest, OkCopiesEveryControlIntoItsField) {
    SetStoreDefaults(FSettings);
    TfrmSettings& d = Open();
    TSettings expected;
    SetDistinctValues(expected);
    // Fields the dialog does not show keep their values.
    expected.Theora.Width = 320;
    expected.Theora.Height = 240;
    const TIcecastSettings& i = expected.Icecast;
    const TVideoProcessing& p = expected.Processing;

    d.radioServer->setChecked(true);
    d.cbxRecordWhileStreaming->setChecked(true);
    d.txtFilename->setText("/tmp/out.ogg");
    d.startup->setChecked(true);
    d.txtServer->setText("media.local");
    d.spnPort->setValue(i.Port);
    d.txtUsername->setText("alice");
    d.txtPassword->setText("s3cret");
    d.txtMount->setText("/live.ogg");
    d.spnBitrate->setValue(i.Bitrate);
    d.cbxYellowPages->setChecked(false);
    d.audQuality->setValue(250);
    d.radStereo->setChecked(true);
    d.cbxSampleRate->setCurrentIndex(4);
    d.vidQuality->setValue(33);
    d.vidBitrate->setValue(12000);
    d.vidDropFrames->setChecked(false);
    d.spnKeyFreq->setValue(64);
    d.spnFPS->setValue(25);
    d.FastMode->setChecked(false);
    d.txtMName->setText("Name");
    d.txtMDesc->setText("Description");
    d.txtMUrl->setText("http://127.0.0.1/");
    d.txtMGenre->setText("Genre");
    d.cboOverlay->setChecked(true);
    d.txtOverlayImage->setText("/tmp/logo.bmp");
    d.tbAlpha->setValue(p.OverlayAlpha);
    d.SetTransparentColour(ColorFromRef(p.OverlayColor));
    d.cbxTrans->setChecked(false);
    d.cboCrop->setChecked(true);
    d.spL->setValue(p.CropL);
    d.spR->setValue(p.CropR);
    d.spT->setValue(p.CropT);
    d.spB->setValue(p.CropB);
    d.cboResize->setChecked(true);
    d.spW->setValue(p.ResizeW);
    d.spH->setValue(p.ResizeH);
    d.cboHighResize->setChecked(false);
    QTest::mouseClick(d.btnOK, Qt::LeftButton);
    EXPECT_EQ(SettingsText(FSettings), SettingsText(expected));
}

TEST_F(SettingsDialogTest, SpinFieldWithoutANumberGivesItsMinimum) {
    SetDistinctValues(FSettings);
    TfrmSettings& d = Open();
    for (TSpinEdit* field : {d.spnPort, d.spnBitrate, d.spnKeyFreq, d.spT})
        field->findChild<QLineEdit*>()->setText("");
    d.spB->findChild<QLineEdit*>()->setText("-");
    QTest::mouseClick(d.btnOK, Qt::LeftButton);
    EXPECT_EQ(FSettings.Icecast.Port, 1);
    EXPECT_EQ(FSettings.Icecast.Bitrate, 8);
    EXPECT_EQ(FSettings.Theora.AutoKeyframeMax, 1);
    EXPECT_EQ(FSettings.Processing.CropT, 0);
    EXPECT_EQ(FSettings.Processing.CropB, 0);
    EXPECT_EQ(FSettings.Processing.CropL, 11) << "untouched fields keep their values";
}

// Values no run can use hold OK back: the reason shows beside the field, its page comes up,
// and nothing is copied. Put right, OK takes them.
TEST_F(SettingsDialogTest, ValuesNoRunCanUseHoldOkBackWithTheReason) {
    const QString tooLong = "/tmp/" + QString(PATH_MAX, 'a');
    struct TCase {
        const char* Name;
        std::function<void(TfrmSettings&)> Spoil, Mend;
        std::function<QLabel*(TfrmSettings&)> Label;
        std::function<QWidget*(TfrmSettings&)> Page;
        const char* Reason;
    } cases[] = {
        {"a resize of no height", [](auto& d) { d.spH->setValue(0); },
         [](auto& d) { d.spH->setValue(576); }, [](auto& d) { return d.lblProcessingProblem; },
         [](auto& d) { return d.TabVideo; },
         "Resize: 720x0 is not a picture size; each side must be 1 to 4096 pixels"},
        {"a resize past 4096", [](auto& d) { d.spW->setValue(16384); },
         [](auto& d) { d.spW->setValue(720); }, [](auto& d) { return d.lblProcessingProblem; },
         [](auto& d) { return d.TabVideo; },
         "Resize: 16384x576 is not a picture size; each side must be 1 to 4096 pixels"},
        {"a crop wider than the picture", [](auto& d) { d.spL->setValue(100000); },
         [](auto& d) { d.spL->setValue(11); }, [](auto& d) { return d.lblProcessingProblem; },
         [](auto& d) { return d.TabVideo; },
         "Crop: 100000 + 12 pixels from left and right leave nothing of a picture 640 wide"},
        {"a crop that takes the whole height", [](auto& d) { d.spB->setValue(467); },
         [](auto& d) { d.spB->setValue(14); }, [](auto& d) { return d.lblProcessingProblem; },
         [](auto& d) { return d.TabVideo; },
         "Crop: 13 + 467 pixels from top and bottom leave nothing of a picture 480 high"},
        {"a negative crop", [](auto& d) { d.spT->setValue(-1); },
         [](auto& d) { d.spT->setValue(13); }, [](auto& d) { return d.lblProcessingProblem; },
         [](auto& d) { return d.TabVideo; }, "Crop: the top and bottom crops cannot be negative"},
        {"a capture file path past the system's limit",
         [&](auto& d) { d.txtFilename->setText(tooLong); },
         [](auto& d) { d.txtFilename->setText("/tmp/out.ogg"); },
         [](auto& d) { return d.lblFileProblem; }, [](auto& d) { return d.TabCapture; },
         "The path is longer than the system allows (4095 bytes at most)"},
        {"an overlay path past the system's limit",
         [&](auto& d) { d.txtOverlayImage->setText(tooLong); },
         [](auto& d) { d.txtOverlayImage->setText("/tmp/logo.bmp"); },
         [](auto& d) { return d.lblOverlayProblem; }, [](auto& d) { return d.tabMeta; },
         "The path is longer than the system allows (4095 bytes at most)"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        SetDistinctValues(FSettings);
        const std::string before = SettingsText(FSettings);
        FDialog = std::make_unique<TfrmSettings>(FSettings, nullptr, TSettingsContext{640, 480});
        TfrmSettings& d = *FDialog;
        d.show();
        d.btn2->click();
        c.Spoil(d);
        QTest::mouseClick(d.btnOK, Qt::LeftButton);
        EXPECT_TRUE(d.isVisible()) << "OK closed the dialog";
        EXPECT_EQ(SettingsText(FSettings), before);
        EXPECT_TRUE(c.Label(d)->isVisibleTo(&d));
        EXPECT_EQ(c.Label(d)->text().toStdString(), c.Reason);
        EXPECT_EQ(d.Pages->currentWidget(), c.Page(d));
        c.Mend(d);
        QTest::mouseClick(d.btnOK, Qt::LeftButton);
        EXPECT_EQ(d.result(), QDialog::Accepted);
        EXPECT_EQ(SettingsText(FSettings), before);
        EXPECT_FALSE(c.Label(d)->isVisibleTo(&d));
    }
}

// The Vorbis bar ends where libvorbis does, and the password shows as dots until "Show".
TEST_F(SettingsDialogTest, VorbisBarSpansWhatTheEncoderTakesAndThePasswordIsHidden) {
    SetDistinctValues(FSettings);
    TfrmSettings& d = Open();
    EXPECT_EQ(d.audQuality->minimum(), -100);
    EXPECT_EQ(d.audQuality->maximum(), 1000);
    d.audQuality->setValue(d.audQuality->minimum());
    EXPECT_EQ(d.lblAudQuality->text(), "-0.10");
    EXPECT_EQ(d.txtPassword->echoMode(), QLineEdit::Password);
    EXPECT_EQ(d.txtPassword->displayText(),
              QString(6, QChar(d.style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr,
                                                    d.txtPassword))));
    d.cbxShowPassword->setChecked(true);
    EXPECT_EQ(d.txtPassword->displayText(), "s3cret");
    d.cbxShowPassword->setChecked(false);
    EXPECT_EQ(d.txtPassword->echoMode(), QLineEdit::Password);
    QTest::mouseClick(d.btnOK, Qt::LeftButton);
    EXPECT_EQ(FSettings.VorbisQuality, -100);
    EXPECT_EQ(FSettings.Icecast.Password, "s3cret");
}

TEST_F(SettingsDialogTest, SampleRatesListedInTableOrderAndEmptySelectionKeepsThePrevious) {
    SetStoreDefaults(FSettings);
    FSettings.VorbisSampleFreq = 7;  // no such entry
    TfrmSettings& dialog = Open();
    ASSERT_EQ(dialog.cbxSampleRate->count(), 6);
    EXPECT_EQ(dialog.cbxSampleRate->itemText(0), "8000 Hz");
    EXPECT_EQ(dialog.cbxSampleRate->itemText(5), "48000 Hz");
    EXPECT_EQ(dialog.cbxSampleRate->currentIndex(), -1);
    QTest::mouseClick(dialog.btnOK, Qt::LeftButton);
    EXPECT_EQ(FSettings.VorbisSampleFreq, 7);
}

TEST_F(SettingsDialogTest, EnabledStatesFollowTheTicks) {
    SetStoreDefaults(FSettings);
    FSettings.Processing.Overlay = false;
    FSettings.Processing.TransColor = false;
    TfrmSettings& d = Open();
    EXPECT_FALSE(d.txtOverlayImage->isEnabled());
    EXPECT_FALSE(d.cbxTrans->isEnabled());
    EXPECT_TRUE(d.tbAlpha->isEnabled());
    EXPECT_FALSE(d.bPick->isEnabled());

    d.cboOverlay->setChecked(true);
    EXPECT_TRUE(d.txtOverlayImage->isEnabled());
    EXPECT_TRUE(d.btnFind->isEnabled());
    EXPECT_TRUE(d.cbxTrans->isEnabled());
    EXPECT_FALSE(d.bCols->isEnabled()) << "colour buttons need the transparent colour too";
    d.cbxTrans->setChecked(true);
    EXPECT_TRUE(d.bCols->isEnabled());
    EXPECT_TRUE(d.bPick->isEnabled());

    EXPECT_FALSE(d.spT->isEnabled());
    d.cboCrop->setChecked(true);
    EXPECT_TRUE(d.spT->isEnabled() && d.spB->isEnabled());
    EXPECT_FALSE(d.spW->isEnabled() || d.lblX->isEnabled() || d.cboHighResize->isEnabled());
    d.cboResize->setChecked(true);
    EXPECT_TRUE(d.spW->isEnabled() && d.lblX->isEnabled() && d.cboHighResize->isEnabled());
}

TEST_F(SettingsDialogTest, SelectorButtonsShowTheirPageAndMarkIt) {
    SetStoreDefaults(FSettings);
    TfrmSettings& d = Open();
    EXPECT_EQ(d.Pages->currentWidget(), d.TabCapture);
    QTest::mouseClick(d.btn3, Qt::LeftButton);
    EXPECT_EQ(d.Pages->currentWidget(), d.TabVideo);
    EXPECT_EQ(d.btn3->ImageIndex(), 0);
    for (TKestrovaButton* other : {d.btn1, d.btn2, d.btn4}) EXPECT_EQ(other->ImageIndex(), 1);
    QTest::mouseClick(d.btn4, Qt::LeftButton);
    EXPECT_EQ(d.Pages->currentWidget(), d.tabMeta);
}

}  // namespace
