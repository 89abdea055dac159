#include "ui/frm_about.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "settings/settings.h"
#include "settings/store/settings_store.h"
#include "ui/artwork.h"
#include "ui/codec_licence.h"
#include "ui/kestrova_button.h"
#include "ui/kestrova_panel.h"
#include "ui/link.h"
#include "ui/program_version.h"
#include "ui/theora_version.h"
#include "ui/vendor_addresses.h"

namespace {

constexpr QSize ClientArea{383, 458};

QLabel* WrappedLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignHCenter);
    return label;
}

}  // namespace

TfrmAbout::TfrmAbout(QWidget* parent)
    : tSkinnedForm(parent, TFormBorderStyle::Single, {true, false, false}) {
    SetClientSize(ClientArea);
    auto* layout = new QVBoxLayout(Client());
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(8);
    layout->addWidget(BuildUpperPanel());
    layout->addWidget(BuildLowerPanel(), 1);
    layout->addWidget(BuildBottomPanel());
    FormCreate();
}

QWidget* TfrmAbout::BuildUpperPanel() {
    auto* panel = new TKestrovaPanel(QString(), Client());
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(4);
    auto* logo = new QLabel(panel);
    logo->setPixmap(QPixmap::fromImage(AboutLogo()));
    logo->setAlignment(Qt::AlignCenter);
    layout->addWidget(logo);

    auto* updates = new QHBoxLayout;
    updates->addStretch();
    updates->addWidget(new QLabel("For updates visit:", panel));
    updates->addWidget(new TLink(VendorHomeUrl, VendorHomeUrl, panel));
    updates->addStretch();
    layout->addLayout(updates);

    auto* title = WrappedLabel("Kestrova Simple Ogg Capture and Streaming Tool", panel);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    layout->addWidget(title);
    layout->addWidget(
        WrappedLabel("This tool was created to make a simple way to stream live "
                     "audio and video to an Icecast server.",
                     panel));
    return panel;
}

QWidget* TfrmAbout::BuildLowerPanel() {
    auto* panel = new TKestrovaPanel(QString(), Client());
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(4);
    auto* codecs = new QGridLayout;
    codecs->setHorizontalSpacing(6);
    codecs->setVerticalSpacing(2);
    const std::pair<const char*, const char*> projects[] = {
        {"Ogg Container Format:", OggProjectUrl},
        {"Vorbis (Audio) Codec:", VorbisProjectUrl},
        {"Theora (Video) Codec:", TheoraProjectUrl}};
    int row = 0;
    for (const auto& [label, url] : projects) {
        codecs->addWidget(new QLabel(label, panel), row, 0);
        codecs->addWidget(new TLink(url, url, panel), row++, 1);
    }
    codecs->setColumnStretch(1, 1);
    layout->addLayout(codecs);

    FTheVer = new QLabel(panel);
    layout->addWidget(FTheVer);
    FLicence = new QPlainTextEdit(panel);
    FLicence->setReadOnly(true);
    FLicence->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    FLicence->setPlainText(CodecLicenceText);
    layout->addWidget(FLicence, 1);
    FDebug = new QCheckBox("Enable Debug Output", panel);
    layout->addWidget(FDebug);
    return panel;
}

QWidget* TfrmAbout::BuildBottomPanel() {
    auto* bottom = new QWidget(Client());
    auto* layout = new QHBoxLayout(bottom);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addStretch();
    FOK = new TKestrovaButton("&OK", bottom);
    FOK->setFixedSize(75, 25);
    FOK->SetModalResult(TModalResult::OK);
    FOK->SetCancel(true);
    layout->addWidget(FOK);
    layout->addStretch();
    return bottom;
}

void TfrmAbout::FormCreate() {
    // Connected before the tick is set: opening the box with debug output on saves once more,
    // which rewrites the same values.
    connect(FDebug, &QCheckBox::toggled, this, &TfrmAbout::cbxDebugClick);
    FDebug->setChecked(Settings.DebugMode);
    setWindowTitle("About Kestrova Ogg Zizizada V" + ProgramVersionText());
    std::optional<std::string> version = TheoraVersionText();
    FTheVer->setText(version ? QString::fromStdString(*version) : "DLL files are missing!");
}

void TfrmAbout::cbxDebugClick() {
    Settings.DebugMode = FDebug->isChecked();
    SaveSettings();
}

void ShowAboutBox(QWidget* parent) {
    TfrmAbout about(parent);
    about.exec();
}
