#pragma once
// TfrmSettings: the settings dialog. Shows a settings record on four pages, keeps the labels
// and enabled states in step with the controls, and copies every control back into the record
// when OK is pressed (Cancel copies nothing). It never saves: its owner does, after either.
// Created fresh for each use, so it always starts from the record's current values. Main
// thread; modal.

#include <QColor>
#include <QString>
#include <string>
#include <vector>

#include "ui/kestrova_button.h"
#include "ui/skinned_form.h"

struct TSettings;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QRadioButton;
class QSlider;
class QStackedWidget;
class QWidget;
class TKestrovaPanel;
class TSpinEdit;

// What the dialog is told about the running program, to check values against and to show.
struct TSettingsContext {
    // The capture device's picture; 0 while it is not known.
    int CaptureWidth = 0;
    int CaptureHeight = 0;
    // Where a recording goes while no file is set: the file field's placeholder.
    QString DefaultFolder;
};

class TfrmSettings : public tSkinnedForm {
    Q_OBJECT
  public:
    TfrmSettings(TSettings& settings, QWidget* parent = nullptr, TSettingsContext context = {});

    // The controls, named as the dialog's users know them.
    TKestrovaButton *btn1 = nullptr, *btn2 = nullptr, *btn3 = nullptr, *btn4 = nullptr;
    QStackedWidget* Pages = nullptr;
    QWidget *TabCapture = nullptr, *TabAudio = nullptr, *TabVideo = nullptr, *tabMeta = nullptr;
    TKestrovaButton *btnOK = nullptr, *btnCancel = nullptr;

    QRadioButton *radioFile = nullptr, *radioServer = nullptr;
    QCheckBox* cbxRecordWhileStreaming = nullptr;  // a broadcast also records into the file
    QLineEdit* txtFilename = nullptr;
    TKestrovaButton* btnOggFile = nullptr;
    QLineEdit *txtServer = nullptr, *txtUsername = nullptr, *txtPassword = nullptr,
              *txtMount = nullptr;
    QCheckBox* cbxShowPassword = nullptr;  // shows the password as typed while checked
    TSpinEdit *spnPort = nullptr, *spnBitrate = nullptr;
    QCheckBox *cbxYellowPages = nullptr, *startup = nullptr;
    QPlainTextEdit *memoIcecast = nullptr, *memoSteamcast = nullptr;

    QSlider* audQuality = nullptr;
    QLabel* lblAudQuality = nullptr;
    QRadioButton *radMono = nullptr, *radStereo = nullptr;
    QComboBox* cbxSampleRate = nullptr;

    QSlider *vidQuality = nullptr, *vidBitrate = nullptr;
    QLabel *lblQualityVideo = nullptr, *lblBitrate = nullptr;
    QCheckBox *vidDropFrames = nullptr, *FastMode = nullptr;
    TSpinEdit *spnKeyFreq = nullptr, *spnFPS = nullptr;
    QCheckBox *cboResize = nullptr, *cboHighResize = nullptr, *cboCrop = nullptr;
    TSpinEdit *spW = nullptr, *spH = nullptr;
    QLabel* lblX = nullptr;
    TSpinEdit *spT = nullptr, *spL = nullptr, *spR = nullptr, *spB = nullptr;
    QCheckBox *cboDeIn = nullptr, *cboHiDe = nullptr;

    QLineEdit *txtMName = nullptr, *txtMDesc = nullptr, *txtMGenre = nullptr, *txtMUrl = nullptr;
    QCheckBox* cboOverlay = nullptr;
    QLineEdit* txtOverlayImage = nullptr;
    TKestrovaButton* btnFind = nullptr;
    QSlider* tbAlpha = nullptr;
    QLabel* lblPerc = nullptr;
    QWidget* pnlTrans = nullptr;
    QFrame* pnlTransparent = nullptr;
    TKestrovaButton *bCols = nullptr, *bPick = nullptr;
    QCheckBox* cbxTrans = nullptr;
    // Why OK was held back, beside the fields concerned; hidden while there is nothing to say.
    QLabel *lblFileProblem = nullptr, *lblProcessingProblem = nullptr, *lblOverlayProblem = nullptr;

    // The swatch's colour.
    QColor TransparentColour() const { return FTransparentColour; }
    void SetTransparentColour(const QColor& colour);

  private:
    QWidget* BuildSelector();
    QWidget* BuildBottomPanel();
    QWidget* BuildCapturePage();
    TKestrovaPanel* BuildServerPanel(QWidget* page);
    QWidget* BuildDirectoryInfo(QWidget* parent);
    QWidget* BuildAudioPage();
    QWidget* BuildVideoPage();
    TKestrovaPanel* BuildTheoraPanel(QWidget* page);
    TKestrovaPanel* BuildProcessingPanel(QWidget* page);
    QWidget* BuildMetaPage();
    QWidget* BuildTransparentPanel(QWidget* page);
    QLabel* AddLabel(const QString& text, QWidget* parent, std::vector<QWidget*>* group);
    void ConnectHandlers();

    void FormCreate();
    void btn1Click(TKestrovaButton* clicked);
    void radioFileClick();
    void vidQualityChange();
    void audQualityChange();
    void cboOverlayClick();
    void cboCropClick();
    void cboResizeClick();
    void cboDeInClick();
    void cboKeyframesClick();
    void txtOverlayImageChange();
    void btnOggFileClick();
    void btnFindClick();
    void bColsClick();
    void bPickClick();
    void btnOKClick();
    // False, with the reason shown beside the field and its page brought up, when a value
    // cannot work in a run.
    bool ValuesUsable();
    bool ShowProblem(QLabel* label, TKestrovaButton* page, const std::string& problem);

    TSettings& FSettings;
    TSettingsContext FContext;
    TImageList FSelectorImages;
    QColor FTransparentColour;
    // Labels whose enabled state follows a control.
    std::vector<QWidget*> FServerLabels, FOverlayLabels, FCropLabels, FKeyframeLabels;
};

// Runs the settings dialog modally over parent on settings; true when it was left with OK.
bool ShowSettingsDialog(QWidget* parent, TSettings& settings, TSettingsContext context = {});
