// The four pages of the settings dialog: which control edits what, and where it sits.

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>

#include "settings/settings.h"
#include "ui/frm_settings.h"
#include "ui/kestrova_panel.h"
#include "ui/link.h"
#include "ui/spin_edit.h"
#include "ui/vendor_addresses.h"

namespace {

constexpr int EditHeight = 21;

QSlider* TrackBar(int minimum, int maximum, int tick, QWidget* parent) {
    auto* slider = new QSlider(Qt::Horizontal, parent);
    slider->setRange(minimum, maximum);
    slider->setTickInterval(tick);
    slider->setTickPosition(QSlider::TicksBelow);
    return slider;
}

// "Low" [slider] "High" [value], the labels added to group.
QHBoxLayout* TrackBarRow(QSlider* slider, QLabel* value, QWidget* parent,
                         std::vector<QWidget*>* group) {
    auto* row = new QHBoxLayout;
    auto* low = new QLabel("Low", parent);
    auto* high = new QLabel("High", parent);
    if (group) group->insert(group->end(), {low, high});
    value->setMinimumWidth(64);
    value->setIndent(8);
    row->addWidget(low);
    row->addWidget(slider, 1);
    row->addWidget(high);
    row->addWidget(value);
    return row;
}

// Room for six digits and the arrows: the fields without limits would otherwise take all the
// width their column offers.
TSpinEdit* SpinEdit(int minimum, int maximum, QWidget* parent) {
    auto* spin = new TSpinEdit(minimum, maximum, parent);
    spin->setFixedWidth(80);
    return spin;
}

// Red words under a field, hidden until there is a problem to tell.
QLabel* ProblemLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setWordWrap(true);
    QPalette colours = label->palette();
    colours.setColor(QPalette::WindowText, Qt::red);
    label->setPalette(colours);
    label->hide();
    return label;
}

QLineEdit* Edit(QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setFixedHeight(EditHeight);
    return edit;
}

TKestrovaButton* EllipsisButton(QWidget* parent) {
    auto* button = new TKestrovaButton("...", parent);
    button->setFixedSize(25, EditHeight);
    return button;
}

QGridLayout* PanelGrid(TKestrovaPanel* panel) {
    auto* grid = new QGridLayout(panel);
    grid->setContentsMargins(10, TKestrovaPanel::TitleHeight + 8, 10, 8);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(6);
    return grid;
}

QPlainTextEdit* Memo(const QString& text, QWidget* parent) {
    auto* memo = new QPlainTextEdit(text, parent);
    memo->setReadOnly(true);
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo->setMinimumHeight(90);
    return memo;
}

}  // namespace

QLabel* TfrmSettings::AddLabel(const QString& text, QWidget* parent, std::vector<QWidget*>* group) {
    auto* label = new QLabel(text, parent);
    if (group) group->push_back(label);
    return label;
}

QWidget* TfrmSettings::BuildCapturePage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->setSpacing(6);

    radioFile = new QRadioButton("Capture to OGG File:", page);
    radioServer = new QRadioButton("Stream to Server:", page);
    auto* destination = new QButtonGroup(page);
    destination->addButton(radioFile);
    destination->addButton(radioServer);
    txtFilename = Edit(page);
    btnOggFile = EllipsisButton(page);
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(radioFile);
    fileRow->addWidget(txtFilename, 1);
    fileRow->addWidget(btnOggFile);
    layout->addLayout(fileRow);
    lblFileProblem = ProblemLabel(page);
    layout->addWidget(lblFileProblem);
    layout->addWidget(radioServer);
    // The copy goes to the file named above, or a dated file in the videos folder.
    cbxRecordWhileStreaming = new QCheckBox("Also record to a file while streaming", page);
    layout->addWidget(cbxRecordWhileStreaming);
    layout->addWidget(BuildServerPanel(page), 1);
    startup = new QCheckBox("Automatically Start Streaming/Recording on startup", page);
    layout->addWidget(startup);
    return page;
}

TKestrovaPanel* TfrmSettings::BuildServerPanel(QWidget* page) {
    auto* panel = new TKestrovaPanel("Streaming Server Settings", page);
    QGridLayout* grid = PanelGrid(panel);
    txtServer = Edit(panel);
    spnPort = SpinEdit(1, 65535, panel);
    txtUsername = Edit(panel);
    txtPassword = Edit(panel);
    // Dots, so a password is not read off the screen; "Show" reveals it while checked.
    txtPassword->setEchoMode(QLineEdit::Password);
    cbxShowPassword = new QCheckBox("Show", panel);
    txtMount = Edit(panel);
    spnBitrate = SpinEdit(8, 16384, panel);
    cbxYellowPages = new QCheckBox("List Stream in Yellow Pages", panel);

    grid->addWidget(AddLabel("Icecast Server:", panel, &FServerLabels), 0, 0);
    grid->addWidget(txtServer, 0, 1);
    grid->addWidget(AddLabel("Port:", panel, &FServerLabels), 0, 2);
    grid->addWidget(spnPort, 0, 3);
    grid->addWidget(AddLabel("Source Username:", panel, &FServerLabels), 1, 0);
    grid->addWidget(txtUsername, 1, 1);
    grid->addWidget(AddLabel("Source Password:", panel, &FServerLabels), 1, 2);
    auto* passwordRow = new QHBoxLayout;
    passwordRow->addWidget(txtPassword, 1);
    passwordRow->addWidget(cbxShowPassword);
    grid->addLayout(passwordRow, 1, 3);
    grid->addWidget(AddLabel("Mount Point:", panel, &FServerLabels), 2, 0);
    grid->addWidget(txtMount, 2, 1);
    grid->addWidget(AddLabel("Average Bitrate:", panel, &FServerLabels), 2, 2);
    auto* bitrateRow = new QHBoxLayout;
    bitrateRow->addWidget(spnBitrate);
    bitrateRow->addWidget(AddLabel("kbps", panel, &FServerLabels));
    bitrateRow->addStretch();
    grid->addLayout(bitrateRow, 2, 3);
    grid->addWidget(cbxYellowPages, 3, 0, 1, 4);
    grid->addWidget(BuildDirectoryInfo(panel), 4, 0, 1, 4);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(4, 1);
    return panel;
}

QWidget* TfrmSettings::BuildDirectoryInfo(QWidget* parent) {
    auto* info = new QWidget(parent);
    auto* layout = new QGridLayout(info);
    layout->setContentsMargins(0, 10, 0, 0);
    layout->setVerticalSpacing(4);

    auto* headingRow = new QHBoxLayout;
    auto* heading = new QLabel("Kestrova Stream Directory", info);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    headingRow->setSpacing(8);
    headingRow->addWidget(heading);
    headingRow->addWidget(new TLink(StreamDirectoryUrl, StreamDirectoryUrl, info));
    headingRow->addStretch();
    layout->addLayout(headingRow, 0, 0, 1, 2);
    auto* sentence = new QLabel(
        "To get listed, your stream must NOT contain any adult material.  Add the following "
        "to your config file:",
        info);
    sentence->setWordWrap(true);
    layout->addWidget(sentence, 1, 0, 1, 2);

    const QString listing = StreamDirectoryListingUrl;
    layout->addWidget(new QLabel("Icecast  (add to icecast.xml)", info), 2, 0);
    layout->addWidget(new QLabel("Streamcast  (add to steamcast.conf)", info), 2, 1);
    memoIcecast = Memo(QString("<directory>\n"
                               "    <yp-url-timeout>15</yp-url-timeout>\n"
                               "    <yp-url>%1</yp-url>\n"
                               "</directory>")
                           .arg(listing),
                       info);
    memoSteamcast = Memo("\n    Directory=" + listing, info);
    layout->addWidget(memoIcecast, 3, 0);
    layout->addWidget(memoSteamcast, 3, 1);
    layout->setRowStretch(3, 1);
    return info;
}

QWidget* TfrmSettings::BuildAudioPage() {
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    grid->setContentsMargins(16, 16, 16, 16);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(14);

    // What libvorbis takes: qualities from -0.1 to 1.0, in thousandths.
    audQuality = TrackBar(-100, 1000, 100, page);
    lblAudQuality = new QLabel(page);
    grid->addWidget(new QLabel("Vorbis Quality:", page), 0, 0);
    grid->addLayout(TrackBarRow(audQuality, lblAudQuality, page, nullptr), 0, 1);

    radMono = new QRadioButton("Mono", page);
    radStereo = new QRadioButton("Stereo", page);
    auto* channels = new QButtonGroup(page);
    channels->addButton(radMono);
    channels->addButton(radStereo);
    auto* channelRow = new QHBoxLayout;
    channelRow->addWidget(radMono);
    channelRow->addWidget(radStereo);
    channelRow->addStretch();
    grid->addWidget(new QLabel("Channels:", page), 1, 0);
    grid->addLayout(channelRow, 1, 1);

    cbxSampleRate = new QComboBox(page);
    auto* rateRow = new QHBoxLayout;
    rateRow->addWidget(cbxSampleRate);
    rateRow->addStretch();
    grid->addWidget(new QLabel("Sampling Frequency:", page), 2, 0);
    grid->addLayout(rateRow, 2, 1);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(3, 1);
    return page;
}

QWidget* TfrmSettings::BuildVideoPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->setSpacing(10);
    layout->addWidget(BuildTheoraPanel(page));
    layout->addWidget(BuildProcessingPanel(page));
    layout->addStretch();
    return page;
}

TKestrovaPanel* TfrmSettings::BuildTheoraPanel(QWidget* page) {
    auto* panel = new TKestrovaPanel("Theora (Video) Settings", page);
    QGridLayout* grid = PanelGrid(panel);
    vidQuality = TrackBar(0, 63, 2, panel);
    lblQualityVideo = new QLabel(panel);
    vidBitrate = TrackBar(450, 20000, 1000, panel);
    lblBitrate = new QLabel(panel);
    grid->addWidget(new QLabel("Quality:", panel), 0, 0);
    grid->addLayout(TrackBarRow(vidQuality, lblQualityVideo, panel, nullptr), 0, 1, 1, 3);
    grid->addWidget(new QLabel("Bitrate:", panel), 1, 0);
    grid->addLayout(TrackBarRow(vidBitrate, lblBitrate, panel, nullptr), 1, 1, 1, 3);

    vidDropFrames = new QCheckBox("Drop Frames to Maintain Bitrate", panel);
    grid->addWidget(vidDropFrames, 2, 0, 1, 4);
    spnKeyFreq = SpinEdit(1, 300, panel);
    spnKeyFreq->SetTypingAllowed(false);
    grid->addWidget(AddLabel("Keyframe Every:", panel, &FKeyframeLabels), 3, 0);
    grid->addWidget(spnKeyFreq, 3, 1);
    grid->addWidget(AddLabel("frames", panel, &FKeyframeLabels), 3, 2);

    // The frame rate comes from the capture device; the field keeps the stored value within
    // what the encoder is given, out of sight.
    spnFPS = SpinEdit(1, MaxFramesPerSecond, panel);
    std::vector<QWidget*> frameRate{new QLabel("Frame Rate:", panel), spnFPS,
                                    new QLabel("fps", panel)};
    for (int column = 0; column < 3; ++column) {
        grid->addWidget(frameRate[column], 4, column);
        frameRate[column]->hide();
    }
    FastMode = new QCheckBox("Fast Mode (Uses Less CPU)", panel);
    grid->addWidget(FastMode, 5, 0, 1, 4);
    grid->setColumnStretch(3, 1);
    return panel;
}

TKestrovaPanel* TfrmSettings::BuildProcessingPanel(QWidget* page) {
    auto* panel = new TKestrovaPanel("Video Processing Settings", page);
    QGridLayout* grid = PanelGrid(panel);
    cboResize = new QCheckBox("Resize Video to:", panel);
    spW = SpinEdit(0, 0, panel);
    lblX = new QLabel("x", panel);
    spH = SpinEdit(0, 0, panel);
    cboHighResize = new QCheckBox("High Quality Resize", panel);
    grid->addWidget(cboResize, 0, 0);
    grid->addWidget(spW, 0, 1);
    grid->addWidget(lblX, 0, 2, Qt::AlignCenter);
    grid->addWidget(spH, 0, 3);
    grid->addWidget(cboHighResize, 0, 4);

    cboCrop = new QCheckBox("Crop Video:", panel);
    grid->addWidget(cboCrop, 1, 0);
    spT = SpinEdit(0, 0, panel);
    spL = SpinEdit(0, 0, panel);
    spR = SpinEdit(0, 0, panel);
    spB = SpinEdit(0, 0, panel);
    const std::pair<TSpinEdit*, const char*> crops[] = {{spT, "pixels from top"},
                                                        {spL, "pixels from left"},
                                                        {spR, "pixels from right"},
                                                        {spB, "pixels from bottom"}};
    auto* cropGrid = new QGridLayout;
    cropGrid->setHorizontalSpacing(8);
    for (int index = 0; index < 4; ++index) {
        const int row = index / 2, column = (index % 2) * 2;
        cropGrid->addWidget(crops[index].first, row, column);
        cropGrid->addWidget(AddLabel(crops[index].second, panel, &FCropLabels), row, column + 1);
    }
    cropGrid->setColumnStretch(1, 1);
    cropGrid->setColumnStretch(3, 1);
    grid->addLayout(cropGrid, 2, 1, 2, 5);
    lblProcessingProblem = ProblemLabel(panel);
    grid->addWidget(lblProcessingProblem, 4, 0, 1, 6);
    cboDeIn = new QCheckBox("De-Interlace Video", panel);
    cboHiDe = new QCheckBox("High Quality Deinterlace", panel);
    cboDeIn->hide();
    cboHiDe->hide();
    grid->setColumnStretch(5, 1);
    return panel;
}

QWidget* TfrmSettings::BuildMetaPage() {
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    grid->setContentsMargins(16, 16, 16, 16);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(8);
    txtMName = Edit(page);
    txtMDesc = Edit(page);
    txtMGenre = Edit(page);
    txtMUrl = Edit(page);
    const std::pair<const char*, QLineEdit*> texts[] = {{"Stream Name:", txtMName},
                                                        {"Stream Description:", txtMDesc},
                                                        {"Stream Genre:", txtMGenre},
                                                        {"Stream URL:", txtMUrl}};
    int row = 0;
    for (const auto& [label, edit] : texts) {
        grid->addWidget(new QLabel(label, page), row, 0);
        grid->addWidget(edit, row++, 1, 1, 2);
    }

    cboOverlay = new QCheckBox("Overlay Image on Video", page);
    grid->addWidget(cboOverlay, ++row, 0, 1, 3);
    txtOverlayImage = Edit(page);
    btnFind = EllipsisButton(page);
    grid->addWidget(AddLabel("Overlay Image:", page, &FOverlayLabels), ++row, 0);
    grid->addWidget(txtOverlayImage, row, 1);
    grid->addWidget(btnFind, row, 2);
    lblOverlayProblem = ProblemLabel(page);
    grid->addWidget(lblOverlayProblem, ++row, 1, 1, 2);
    tbAlpha = TrackBar(0, 255, 15, page);
    lblPerc = new QLabel(page);
    grid->addWidget(AddLabel("Overlay Visibility:", page, &FOverlayLabels), ++row, 0);
    grid->addLayout(TrackBarRow(tbAlpha, lblPerc, page, &FOverlayLabels), row, 1, 1, 2);
    grid->addWidget(BuildTransparentPanel(page), ++row, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(row + 1, 1);
    return page;
}

QWidget* TfrmSettings::BuildTransparentPanel(QWidget* page) {
    pnlTrans = new QWidget(page);
    auto* layout = new QHBoxLayout(pnlTrans);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    pnlTransparent = new QFrame(pnlTrans);
    pnlTransparent->setFrameStyle(QFrame::Box | QFrame::Plain);
    pnlTransparent->setAutoFillBackground(true);
    pnlTransparent->setFixedSize(41, EditHeight);
    bCols = new TKestrovaButton("Colours...", pnlTrans);
    bPick = new TKestrovaButton("Pick...", pnlTrans);
    for (TKestrovaButton* button : {bCols, bPick}) button->setFixedSize(75, EditHeight);
    cbxTrans = new QCheckBox("Enabled", pnlTrans);
    layout->addWidget(AddLabel("Transparent Colour:", pnlTrans, &FOverlayLabels));
    layout->addWidget(pnlTransparent);
    layout->addWidget(bCols);
    layout->addWidget(bPick);
    layout->addWidget(cbxTrans);
    layout->addStretch();
    return pnlTrans;
}
