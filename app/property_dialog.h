#pragma once
// The property dialogs of the Options menu, shown only while the capture graph is stopped:
// a device's writable properties and colour-balance channels (one editor per value, applied
// with OK), the video pin page (the format delivered, and the capture mode to ask the device
// for), and a V4L2 device's input chooser.

#include <QDialog>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "capture/capture_graph.h"

class QFormLayout;

class TPropertyDialog final : public QDialog {
    Q_OBJECT
  public:
    TPropertyDialog(const QString& title, QWidget* parent);

    // One editable row; `apply` gets the edited text when OK is pressed and it changed.
    void AddProperty(const TElementProperty& property,
                     std::function<void(const std::string&)> apply);
    void AddColorBalance(const TColorBalanceChannel& channel, std::function<void(int)> apply);
    void AddInfo(const QString& label, const QString& value);
    // Runs the dialog; applies the changed rows on OK. Rows added: false when there were none.
    bool Execute();

  private:
    QFormLayout* FForm;
    std::vector<std::function<void()>> FAppliers;
    int FRows = 0;
};

void ShowDevicePropertiesDialog(TCaptureGraph& graph, TMediaKind kind, QWidget* parent);
// The pin page of the graph's video device: the size in use, the rate asked for (`fps`), and
// the device's modes with "Automatic" first, `stored` ("" for automatic) selected. Returns the
// mode chosen with OK ("" for automatic) when it differs from what was selected, else nothing.
std::optional<std::string> ShowVideoPinDialog(const TCaptureGraph& graph,
                                              const TConnectResult& built, int fps,
                                              const std::string& stored, QWidget* parent);
void ShowCrossbarDialog(const std::string& devicePath, QWidget* parent);
