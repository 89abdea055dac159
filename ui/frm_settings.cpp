#include "ui/frm_settings.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <climits>
#include <utility>

#include "settings/settings.h"
#include "ui/artwork.h"
#include "ui/color_picker.h"
#include "ui/color_ref.h"
#include "ui/kestrova_panel.h"
#include "ui/spin_edit.h"
#include "video/processing_check.h"

namespace {

constexpr QSize ClientArea{658, 543};

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

std::string Text(const QLineEdit* edit) {
    return edit->text().toStdString();
}

// A path the system could not open: refused here rather than failing the run later.
std::string PathProblem(const QString& path) {
    if (path.toUtf8().size() < PATH_MAX) return {};
    return "The path is longer than the system allows (" + std::to_string(PATH_MAX - 1) +
           " bytes at most)";
}

void SetEnabled(const std::vector<QWidget*>& widgets, bool enabled) {
    for (QWidget* widget : widgets) widget->setEnabled(enabled);
}

}  // namespace

TfrmSettings::TfrmSettings(TSettings& settings, QWidget* parent, TSettingsContext context)
    : tSkinnedForm(parent, TFormBorderStyle::Single, {true, false, false}),
      FSettings(settings),
      FContext(std::move(context)),
      FSelectorImages{SelectorImage(true), SelectorImage(false)} {
    setWindowTitle("Capture Settings");
    SetClientSize(ClientArea);
    auto* layout = new QVBoxLayout(Client());
    layout->setContentsMargins(8, 8, 8, 0);
    layout->setSpacing(6);
    layout->addWidget(BuildSelector());

    auto* pagesPanel = new TKestrovaPanel(QString(), Client());
    auto* pagesLayout = new QVBoxLayout(pagesPanel);
    pagesLayout->setContentsMargins(1, 1, 1, 1);
    Pages = new QStackedWidget(pagesPanel);
    pagesLayout->addWidget(Pages);
    TabCapture = BuildCapturePage();
    TabAudio = BuildAudioPage();
    TabVideo = BuildVideoPage();
    tabMeta = BuildMetaPage();
    for (QWidget* page : {TabCapture, TabAudio, TabVideo, tabMeta}) Pages->addWidget(page);
    layout->addWidget(pagesPanel, 1);
    layout->addWidget(BuildBottomPanel());

    ConnectHandlers();
    FormCreate();
}

QWidget* TfrmSettings::BuildSelector() {
    auto* row = new QWidget(Client());
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    const char* captions[] = {"Capture Destination", "Audio Settings", "Video Settings",
                              "Misc Data"};
    TKestrovaButton** buttons[] = {&btn1, &btn2, &btn3, &btn4};
    for (int tag = 0; tag < 4; ++tag) {
        auto* button = new TKestrovaButton(captions[tag], row);
        button->setProperty("Tag", tag);
        button->SetImageList(&FSelectorImages);
        button->setFixedHeight(25);
        layout->addWidget(button);
        *buttons[tag] = button;
    }
    return row;
}

QWidget* TfrmSettings::BuildBottomPanel() {
    auto* bottom = new QWidget(Client());
    auto* layout = new QHBoxLayout(bottom);
    layout->setContentsMargins(0, 6, 0, 8);
    layout->addStretch();
    btnOK = new TKestrovaButton("&OK", bottom);
    btnCancel = new TKestrovaButton("&Cancel", bottom);
    btnCancel->SetModalResult(TModalResult::Cancel);
    btnCancel->SetCancel(true);
    for (TKestrovaButton* button : {btnOK, btnCancel}) {
        button->setFixedSize(75, 25);
        layout->addWidget(button);
    }
    return bottom;
}

void TfrmSettings::ConnectHandlers() {
    for (TKestrovaButton* button : {btn1, btn2, btn3, btn4})
        connect(button, &QAbstractButton::clicked, this, [this, button] { btn1Click(button); });
    for (QRadioButton* radio : {radioFile, radioServer})
        connect(radio, &QRadioButton::toggled, this, &TfrmSettings::radioFileClick);
    connect(cbxRecordWhileStreaming, &QCheckBox::toggled, this, &TfrmSettings::radioFileClick);
    for (QSlider* slider : {vidQuality, vidBitrate, tbAlpha})
        connect(slider, &QSlider::valueChanged, this, &TfrmSettings::vidQualityChange);
    connect(audQuality, &QSlider::valueChanged, this, &TfrmSettings::audQualityChange);
    for (QCheckBox* box : {cboOverlay, cbxTrans})
        connect(box, &QCheckBox::toggled, this, &TfrmSettings::cboOverlayClick);
    connect(cboCrop, &QCheckBox::toggled, this, &TfrmSettings::cboCropClick);
    connect(cboResize, &QCheckBox::toggled, this, &TfrmSettings::cboResizeClick);
    connect(cboDeIn, &QCheckBox::toggled, this, &TfrmSettings::cboDeInClick);
    connect(txtOverlayImage, &QLineEdit::textChanged, this, &TfrmSettings::txtOverlayImageChange);
    connect(btnOggFile, &QAbstractButton::clicked, this, &TfrmSettings::btnOggFileClick);
    connect(btnFind, &QAbstractButton::clicked, this, &TfrmSettings::btnFindClick);
    connect(bCols, &QAbstractButton::clicked, this, &TfrmSettings::bColsClick);
    connect(bPick, &QAbstractButton::clicked, this, &TfrmSettings::bPickClick);
    connect(btnOK, &QAbstractButton::clicked, this, &TfrmSettings::btnOKClick);
    connect(cbxShowPassword, &QCheckBox::toggled, this, [this](bool shown) {
        txtPassword->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
    });
}

void TfrmSettings::FormCreate() {
    const TSettings& s = FSettings;
    for (int rate : SampleRateTable) cbxSampleRate->addItem(QString("%1 Hz").arg(rate));

    radioFile->setChecked(s.CaptureToFile);
    txtFilename->setPlaceholderText(FContext.DefaultFolder);
    radioServer->setChecked(!s.CaptureToFile);
    cbxRecordWhileStreaming->setChecked(s.RecordWhileStreaming);
    txtFilename->setText(Text(s.CaptureFile));
    startup->setChecked(s.Autostart);
    txtServer->setText(Text(s.Icecast.Server));
    spnPort->setValue(s.Icecast.Port);
    txtUsername->setText(Text(s.Icecast.Username));
    txtPassword->setText(Text(s.Icecast.Password));
    txtMount->setText(Text(s.Icecast.MountPoint));
    spnBitrate->setValue(s.Icecast.Bitrate);
    cbxYellowPages->setChecked(s.Icecast.YP);

    audQuality->setValue(s.VorbisQuality);
    radStereo->setChecked(s.VorbisStereo);
    radMono->setChecked(!s.VorbisStereo);
    const bool rateKnown = s.VorbisSampleFreq >= 0 && s.VorbisSampleFreq < cbxSampleRate->count();
    cbxSampleRate->setCurrentIndex(rateKnown ? s.VorbisSampleFreq : -1);

    vidQuality->setValue(s.Theora.Quality);
    vidBitrate->setValue(static_cast<int>(
        std::clamp<int64_t>(int64_t{s.Theora.Bitrate} * 10, INT32_MIN, INT32_MAX)));
    vidDropFrames->setChecked(s.Theora.DropFrames);
    spnKeyFreq->setValue(s.Theora.AutoKeyframeMax);
    spnFPS->setValue(s.Theora.FPS);
    FastMode->setChecked(s.TheoraFasterMode);

    txtMName->setText(Text(s.StreamName));
    txtMDesc->setText(Text(s.StreamDesc));
    txtMGenre->setText(Text(s.StreamGenre));
    txtMUrl->setText(Text(s.StreamURL));
    txtOverlayImage->setText(Text(s.Processing.OverlayImage));
    tbAlpha->setValue(s.Processing.OverlayAlpha);
    cboOverlay->setChecked(s.Processing.Overlay);
    SetTransparentColour(ColorFromRef(s.Processing.OverlayColor));
    cbxTrans->setChecked(s.Processing.TransColor);
    cboCrop->setChecked(s.Processing.Crop);
    spT->setValue(s.Processing.CropT);
    spL->setValue(s.Processing.CropL);
    spR->setValue(s.Processing.CropR);
    spB->setValue(s.Processing.CropB);
    cboResize->setChecked(s.Processing.Resize);
    spW->setValue(s.Processing.ResizeW);
    spH->setValue(s.Processing.ResizeH);
    cboHighResize->setChecked(s.Processing.HighQualityResize);

    btn1Click(btn1);
    cboKeyframesClick();
    radioFileClick();
    vidQualityChange();
    audQualityChange();
    cboOverlayClick();
    cboCropClick();
    cboResizeClick();
    cboDeInClick();
    txtOverlayImageChange();
}

void TfrmSettings::btn1Click(TKestrovaButton* clicked) {
    Pages->setCurrentIndex(clicked->property("Tag").toInt());
    for (TKestrovaButton* button : {btn1, btn2, btn3, btn4})
        button->SetImageIndex(button == clicked ? 0 : 1);
}

void TfrmSettings::radioFileClick() {
    const bool toServer = radioServer->isChecked();
    // A broadcast that also records writes to the same file as a recording.
    const bool toFile =
        radioFile->isChecked() || (toServer && cbxRecordWhileStreaming->isChecked());
    txtFilename->setEnabled(toFile);
    btnOggFile->setEnabled(toFile);
    cbxRecordWhileStreaming->setEnabled(toServer);
    SetEnabled(FServerLabels, toServer);
    SetEnabled({txtServer, txtUsername, txtPassword, cbxShowPassword, spnPort, txtMount, spnBitrate,
                cbxYellowPages},
               toServer);
}

void TfrmSettings::vidQualityChange() {
    lblQualityVideo->setText(QString::number(vidQuality->value() / 6.3, 'f', 2));
    lblBitrate->setText(QString::number(vidBitrate->value() / 10) + "kbps");
    lblPerc->setText(QString::number(tbAlpha->value() * 100 / 255) + "%");
    audQualityChange();
}

void TfrmSettings::audQualityChange() {
    lblAudQuality->setText(QString::number(audQuality->value() / 1000.0, 'f', 2));
}

void TfrmSettings::cboOverlayClick() {
    const bool overlay = cboOverlay->isChecked();
    SetEnabled(FOverlayLabels, overlay);
    SetEnabled({txtOverlayImage, btnFind, lblPerc, cbxTrans}, overlay);
    const bool colour = overlay && cbxTrans->isChecked();
    bCols->setEnabled(colour);
    bPick->setEnabled(colour);
}

void TfrmSettings::cboCropClick() {
    SetEnabled(FCropLabels, cboCrop->isChecked());
    SetEnabled({spT, spL, spR, spB}, cboCrop->isChecked());
}

void TfrmSettings::cboResizeClick() {
    SetEnabled({spW, spH, lblX, cboHighResize}, cboResize->isChecked());
}

void TfrmSettings::cboDeInClick() {
    cboHiDe->setEnabled(cboDeIn->isChecked());
}

void TfrmSettings::cboKeyframesClick() {
    SetEnabled(FKeyframeLabels, spnKeyFreq->isEnabled());
}

void TfrmSettings::txtOverlayImageChange() {
    // PNG overlays carry their own transparency.
    const bool png =
        QFileInfo(txtOverlayImage->text()).suffix().compare("png", Qt::CaseInsensitive) == 0;
    pnlTrans->setVisible(!png);
}

void TfrmSettings::SetTransparentColour(const QColor& colour) {
    FTransparentColour = colour;
    QPalette colours = pnlTransparent->palette();
    colours.setColor(QPalette::Window, colour);
    pnlTransparent->setPalette(colours);
}

void TfrmSettings::btnOggFileClick() {
    QFileDialog PicOgg(this, "Select ogg file to save to");
    PicOgg.setAcceptMode(QFileDialog::AcceptSave);
    PicOgg.setFileMode(QFileDialog::AnyFile);
    PicOgg.setDefaultSuffix("ogg");
    PicOgg.setNameFilters({"Ogg Files (*.ogg)", "All Files (*.*)"});
    PicOgg.setSizeGripEnabled(true);
    if (PicOgg.exec() == QDialog::Accepted && !PicOgg.selectedFiles().isEmpty())
        txtFilename->setText(PicOgg.selectedFiles().first());
}

void TfrmSettings::btnFindClick() {
    QFileDialog OpenPicture(this);
    OpenPicture.setAcceptMode(QFileDialog::AcceptOpen);
    OpenPicture.setFileMode(QFileDialog::ExistingFile);
    OpenPicture.setNameFilters({"All Pictures (*.png *.bmp *.jpg)", "All Files (*.*)"});
    if (OpenPicture.exec() == QDialog::Accepted && !OpenPicture.selectedFiles().isEmpty())
        txtOverlayImage->setText(OpenPicture.selectedFiles().first());
}

void TfrmSettings::bColsClick() {
    QColorDialog Cols(FTransparentColour, this);
    if (Cols.exec() == QDialog::Accepted) SetTransparentColour(Cols.selectedColor());
}

void TfrmSettings::bPickClick() {
    // A picture that cannot be shown leaves the swatch as it is.
    try {
        TColorPicker picker(this, txtOverlayImage->text());
        picker.SetSelectedColor(RefFromColor(FTransparentColour));
        if (picker.exec() == QDialog::Accepted)
            SetTransparentColour(ColorFromRef(picker.SelectedColor()));
    } catch (...) {
    }
}

bool TfrmSettings::ShowProblem(QLabel* label, TKestrovaButton* page, const std::string& problem) {
    label->setText(QString::fromStdString(problem));
    label->setVisible(!problem.empty());
    if (problem.empty()) return true;
    btn1Click(page);
    return false;
}

bool TfrmSettings::ValuesUsable() {
    TVideoProcessing picture;
    picture.Resize = cboResize->isChecked();
    picture.ResizeW = spW->Value();
    picture.ResizeH = spH->Value();
    picture.Crop = cboCrop->isChecked();
    picture.CropT = spT->Value();
    picture.CropL = spL->Value();
    picture.CropR = spR->Value();
    picture.CropB = spB->Value();
    // Every problem is shown at once; the first page with one comes up.
    const bool file = ShowProblem(lblFileProblem, btn1, PathProblem(txtFilename->text()));
    const bool overlay = ShowProblem(lblOverlayProblem, btn4, PathProblem(txtOverlayImage->text()));
    const bool processing =
        ShowProblem(lblProcessingProblem, btn3,
                    ProcessingProblem(picture, FContext.CaptureWidth, FContext.CaptureHeight));
    return file && overlay && processing;
}

void TfrmSettings::btnOKClick() {
    if (!ValuesUsable()) return;
    TSettings& s = FSettings;
    s.CaptureToFile = radioFile->isChecked();
    s.RecordWhileStreaming = cbxRecordWhileStreaming->isChecked();
    s.CaptureFile = Text(txtFilename);
    s.Autostart = startup->isChecked();
    s.Icecast.Server = Text(txtServer);
    s.Icecast.Port = static_cast<uint16_t>(spnPort->Value());
    s.Icecast.Username = Text(txtUsername);
    s.Icecast.Password = Text(txtPassword);
    s.Icecast.MountPoint = Text(txtMount);
    s.Icecast.Bitrate = spnBitrate->Value();
    s.Icecast.YP = cbxYellowPages->isChecked();

    s.VorbisQuality = audQuality->value();
    s.VorbisStereo = radStereo->isChecked();
    // No selection has no rate to store: the previous choice stays.
    if (cbxSampleRate->currentIndex() >= 0) s.VorbisSampleFreq = cbxSampleRate->currentIndex();

    s.Theora.Quality = vidQuality->value();
    s.Theora.Bitrate = vidBitrate->value() / 10;
    s.Theora.DropFrames = vidDropFrames->isChecked();
    s.Theora.AutoKeyframeMax = spnKeyFreq->Value();
    s.Theora.FPS = spnFPS->Value();
    s.TheoraFasterMode = FastMode->isChecked();

    s.StreamName = Text(txtMName);
    s.StreamDesc = Text(txtMDesc);
    s.StreamGenre = Text(txtMGenre);
    s.StreamURL = Text(txtMUrl);
    s.Processing.OverlayImage = Text(txtOverlayImage);
    s.Processing.OverlayAlpha = tbAlpha->value();
    s.Processing.Overlay = cboOverlay->isChecked();
    s.Processing.OverlayColor = RefFromColor(FTransparentColour);
    s.Processing.TransColor = cbxTrans->isChecked();
    s.Processing.Crop = cboCrop->isChecked();
    s.Processing.CropT = spT->Value();
    s.Processing.CropL = spL->Value();
    s.Processing.CropR = spR->Value();
    s.Processing.CropB = spB->Value();
    s.Processing.Resize = cboResize->isChecked();
    s.Processing.ResizeW = spW->Value();
    s.Processing.ResizeH = spH->Value();
    s.Processing.HighQualityResize = cboHighResize->isChecked();
    SetModalResult(TModalResult::OK);
}

bool ShowSettingsDialog(QWidget* parent, TSettings& settings, TSettingsContext context) {
    TfrmSettings dialog(settings, parent, std::move(context));
    return dialog.exec() == QDialog::Accepted;
}
