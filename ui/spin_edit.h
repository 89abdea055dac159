#pragma once
// TSpinEdit: an integer field with up/down arrows. Equal limits mean "no limits". Value() reads
// the text the way the settings dialog stores it: the number brought into the limits, or the
// minimum (0 without limits) when the text is not a number.

#include <QSpinBox>

class TSpinEdit : public QSpinBox {
    Q_OBJECT
  public:
    TSpinEdit(int minValue, int maxValue, QWidget* parent = nullptr);

    int Value() const;
    // Only the arrows change the value.
    void SetTypingAllowed(bool allowed);

  private:
    const int FMinValue;
    const int FMaxValue;
};
