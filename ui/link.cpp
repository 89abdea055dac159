#include "ui/link.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QUrl>

#include "ui/skin_colours.h"

TLink::TLink(const QString& caption, const QString& url, QWidget* parent)
    : QLabel(caption, parent), FURL(url), FActiveColor(Skin::LinkActive) {
    setTextFormat(Qt::PlainText);
    setCursor(Qt::PointingHandCursor);
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    SetTextColor(Skin::LinkText);
}

void TLink::SetTextColor(const QColor& color) {
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, color);
    setPalette(colours);
}

QString TLink::Target() const {
    QString target = FURL.trimmed();
    return target.isEmpty() ? text().trimmed() : target;
}

void TLink::mousePressEvent(QMouseEvent* event) {
    QLabel::mousePressEvent(event);
    if (FDown) return;
    FDown = true;
    FRestColor = palette().color(QPalette::WindowText);
    SetTextColor(FActiveColor);
}

void TLink::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (!FDown) return;
    FDown = false;
    SetTextColor(FRestColor);
    if (!rect().contains(event->position().toPoint())) return;
    const QString target = Target();
    if (!target.isEmpty()) QDesktopServices::openUrl(QUrl::fromUserInput(target));
}
