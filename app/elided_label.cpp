#include "app/elided_label.h"

#include <QFontMetrics>
#include <QResizeEvent>

TElidedLabel::TElidedLabel(QWidget* parent) : QLabel(parent) {
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void TElidedLabel::SetFullText(const QString& text) {
    if (text == FFullText) return;
    FFullText = text;
    setToolTip(text);
    ShowElided();
}

QSize TElidedLabel::minimumSizeHint() const {
    return {0, QLabel::minimumSizeHint().height()};
}

QSize TElidedLabel::sizeHint() const {
    return {0, QLabel::sizeHint().height()};
}

void TElidedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    ShowElided();
}

void TElidedLabel::ShowElided() {
    setText(fontMetrics().elidedText(FFullText, Qt::ElideMiddle, contentsRect().width()));
}
