#include "ui/spin_edit.h"

#include <QLineEdit>
#include <algorithm>
#include <limits>

TSpinEdit::TSpinEdit(int minValue, int maxValue, QWidget* parent)
    : QSpinBox(parent), FMinValue(minValue), FMaxValue(maxValue) {
    if (minValue == maxValue)
        setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    else
        setRange(minValue, maxValue);
}

int TSpinEdit::Value() const {
    bool isNumber = false;
    const int typed = cleanText().trimmed().toInt(&isNumber);
    if (!isNumber) return FMinValue;
    return FMinValue == FMaxValue ? typed : std::clamp(typed, FMinValue, FMaxValue);
}

void TSpinEdit::SetTypingAllowed(bool allowed) {
    lineEdit()->setReadOnly(!allowed);
}
