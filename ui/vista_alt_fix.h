#pragma once
// TVistaAltFix repaints a window's controls after a keyboard-cue change on one desktop
// platform whose themes forget to. No platform here needs it: the component does nothing and
// exists so that forms can carry it as they do elsewhere.

#include <QObject>

class TVistaAltFix : public QObject {
    Q_OBJECT
  public:
    explicit TVistaAltFix(QObject* parent = nullptr) : QObject(parent) {}

    void SetRepaintAll(bool repaintAll) { FRepaintAll = repaintAll; }
    bool RepaintAll() const { return FRepaintAll; }

  private:
    bool FRepaintAll = true;
};
