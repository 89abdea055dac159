#include "app/property_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>

#include "capture/v4l2_inputs.h"
#include "settings/log.h"

namespace {

// The pin page's entry for the format the graph picks by itself.
constexpr const char* AutomaticMode = "Automatic";
constexpr const char* NotOfferedMark = " (not offered)";

// An editor for one property and a way to read its text back.
std::pair<QWidget*, std::function<std::string()>> MakeEditor(const TElementProperty& property) {
    using TType = TElementProperty::TType;
    const QString value = QString::fromStdString(property.Value);
    switch (property.Type) {
        case TType::Boolean: {
            auto* box = new QCheckBox;
            box->setChecked(value == "true" || value == "1");
            return {box, [box] { return std::string(box->isChecked() ? "true" : "false"); }};
        }
        case TType::Integer: {
            auto* spin = new QSpinBox;
            const double limit = std::numeric_limits<int>::max();
            spin->setRange(int(std::max(property.Minimum, -limit)),
                           int(std::min(property.Maximum, limit)));
            spin->setValue(value.toInt());
            return {spin, [spin] { return std::to_string(spin->value()); }};
        }
        case TType::Double: {
            auto* spin = new QDoubleSpinBox;
            spin->setDecimals(3);
            spin->setRange(property.Minimum, property.Maximum);
            spin->setValue(value.toDouble());
            return {spin, [spin] { return spin->text().toStdString(); }};
        }
        case TType::Enum: {
            auto* combo = new QComboBox;
            for (const auto& choice : property.Choices)
                combo->addItem(QString::fromStdString(choice));
            combo->setCurrentText(value);
            return {combo, [combo] { return combo->currentText().toStdString(); }};
        }
        default: {
            auto* edit = new QLineEdit(value);
            return {edit, [edit] { return edit->text().toStdString(); }};
        }
    }
}

}  // namespace

TPropertyDialog::TPropertyDialog(const QString& title, QWidget* parent) : QDialog(parent) {
    setWindowTitle(title);
    auto* layout = new QVBoxLayout(this);
    FForm = new QFormLayout;
    layout->addLayout(FForm);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void TPropertyDialog::AddProperty(const TElementProperty& property,
                                  std::function<void(const std::string&)> apply) {
    auto [editor, read] = MakeEditor(property);
    editor->setToolTip(QString::fromStdString(property.Blurb));
    FForm->addRow(QString::fromStdString(property.Nick.empty() ? property.Name : property.Nick),
                  editor);
    FAppliers.push_back([read, apply = std::move(apply), before = read()] {
        const std::string after = read();
        if (after != before) apply(after);
    });
    ++FRows;
}

void TPropertyDialog::AddColorBalance(const TColorBalanceChannel& channel,
                                      std::function<void(int)> apply) {
    auto* slider = new QSlider(Qt::Horizontal);
    slider->setRange(channel.Minimum, channel.Maximum);
    slider->setValue(channel.Value);
    FForm->addRow(QString::fromStdString(channel.Label), slider);
    FAppliers.push_back([slider, apply = std::move(apply), before = channel.Value] {
        if (slider->value() != before) apply(slider->value());
    });
    ++FRows;
}

void TPropertyDialog::AddInfo(const QString& label, const QString& value) {
    FForm->addRow(label, new QLabel(value));
    ++FRows;
}

bool TPropertyDialog::Execute() {
    if (FRows == 0) return false;
    if (exec() != QDialog::Accepted) return true;
    for (const auto& applier : FAppliers) applier();
    return true;
}

void ShowDevicePropertiesDialog(TCaptureGraph& graph, TMediaKind kind, QWidget* parent) {
    const bool video = kind == TMediaKind::Video;
    TPropertyDialog dialog(video ? "Video Capture Filter" : "Audio Capture Filter", parent);
    for (const auto& property : graph.Properties(kind)) {
        dialog.AddProperty(property, [&graph, kind, name = property.Name](const std::string& v) {
            if (!graph.SetProperty(kind, name, v))
                LogLine("The device did not take " + name + " = " + v);
        });
    }
    if (video) {
        for (const auto& channel : graph.ColorBalance()) {
            dialog.AddColorBalance(channel, [&graph, label = channel.Label](int value) {
                graph.SetColorBalance(label, value);
            });
        }
    }
    dialog.Execute();
}

std::optional<std::string> ShowVideoPinDialog(const TCaptureGraph& graph,
                                              const TConnectResult& built, int fps,
                                              const std::string& stored, QWidget* parent) {
    TPropertyDialog dialog("Video Capture Pin", parent);
    dialog.AddInfo("Picture size", QString("%1 x %2").arg(built.Width).arg(built.Height));
    dialog.AddInfo("Pixel format", "24-bit RGB");
    dialog.AddInfo("Frame rate asked for", built.VideoMode
                                               ? QString("the capture mode's")
                                               : QString("at least %1 per second").arg(fps));
    TElementProperty mode;
    mode.Name = "Capture mode";
    mode.Type = TElementProperty::TType::Enum;
    mode.Choices = {AutomaticMode};
    for (const TVideoMode& offered : graph.VideoModes())
        mode.Choices.push_back(VideoModeText(offered));
    mode.Value = stored.empty() ? AutomaticMode : stored;
    // A stored mode the device lacks is shown as such, so that choosing "Automatic" is a change
    // that clears it.
    if (std::find(mode.Choices.begin(), mode.Choices.end(), mode.Value) == mode.Choices.end()) {
        mode.Value += NotOfferedMark;
        mode.Choices.push_back(mode.Value);
    }
    std::optional<std::string> chosen;
    dialog.AddProperty(
        mode, [&chosen](const std::string& text) { chosen = text == AutomaticMode ? "" : text; });
    dialog.Execute();
    return chosen;
}

void ShowCrossbarDialog(const std::string& devicePath, QWidget* parent) {
    const auto inputs = ListV4l2Inputs(devicePath);
    if (inputs.empty()) return;
    QDialog dialog(parent);
    dialog.setWindowTitle("Video Crossbar");
    auto* layout = new QFormLayout(&dialog);
    auto* choice = new QComboBox;
    for (const auto& input : inputs)
        choice->addItem(QString::fromStdString(input.Name), input.Index);
    if (const auto current = CurrentV4l2Input(devicePath)) {
        const int row = choice->findData(*current);
        if (row >= 0) choice->setCurrentIndex(row);
    }
    layout->addRow("Video input", choice);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted) return;
    if (!SelectV4l2Input(devicePath, choice->currentData().toInt()))
        LogLine("Could not select the video input " + choice->currentText().toStdString());
}
