#pragma once
// TfrmAbout: the About box. Shows the program's and the Theora library's versions, the codec
// projects' pages and licence, and holds the switch for debug output: ticking or unticking it
// changes Settings.DebugMode and saves the settings at once. Main thread; modal.

#include "ui/skinned_form.h"

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class TKestrovaButton;

class TfrmAbout : public tSkinnedForm {
    Q_OBJECT
  public:
    explicit TfrmAbout(QWidget* parent = nullptr);

    QLabel* theVer() const { return FTheVer; }
    QCheckBox* cbxDebug() const { return FDebug; }
    QPlainTextEdit* Licence() const { return FLicence; }
    TKestrovaButton* btnOK() const { return FOK; }

  private:
    QWidget* BuildUpperPanel();
    QWidget* BuildLowerPanel();
    QWidget* BuildBottomPanel();
    void FormCreate();
    void cbxDebugClick();

    QLabel* FTheVer = nullptr;
    QCheckBox* FDebug = nullptr;
    QPlainTextEdit* FLicence = nullptr;
    TKestrovaButton* FOK = nullptr;
};

// Opens the About box modally over parent.
void ShowAboutBox(QWidget* parent);
