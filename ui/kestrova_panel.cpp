#include "ui/kestrova_panel.h"

#include <QMouseEvent>
#include <QPainter>

#include "ui/skin_colours.h"

TKestrovaPanelTitle::TKestrovaPanelTitle(QWidget* parent) : QWidget(parent) {
    QFont bold = font();
    bold.setBold(true);
    setFont(bold);
}

void TKestrovaPanelTitle::SetText(const QString& text) {
    FText = text;
    update();
}

void TKestrovaPanelTitle::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Skin::PanelTitleFill);
    painter.setPen(Skin::PanelTitleText);
    painter.drawText(rect().adjusted(4, 0, -4, 0), Qt::AlignLeft | Qt::AlignVCenter, FText);
}

void TKestrovaPanelTitle::mousePressEvent(QMouseEvent* event) {
    emit MouseDown(event);
}

void TKestrovaPanelTitle::mouseMoveEvent(QMouseEvent* event) {
    emit MouseMove(event);
}

void TKestrovaPanelTitle::mouseReleaseEvent(QMouseEvent* event) {
    emit MouseUp(event);
    if (rect().contains(event->position().toPoint())) emit Clicked();
}

TKestrovaPanel::TKestrovaPanel(const QString& title, QWidget* parent)
    : QFrame(parent), FTitleStrip(new TKestrovaPanelTitle(this)) {
    setFrameShape(QFrame::NoFrame);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, Skin::PanelFill);
    colours.setColor(QPalette::WindowText, Qt::black);
    setPalette(colours);
    SetTitle(title);
}

void TKestrovaPanel::SetTitle(const QString& title) {
    FTitleStrip->SetText(title);
    PlaceTitle();
}

void TKestrovaPanel::PlaceTitle() {
    const bool shown = !FTitleStrip->Text().isEmpty();
    // Moved out of sight as well as hidden, so a layout that looks at it leaves no gap.
    FTitleStrip->setGeometry(0, shown ? 0 : -100, width(), TitleHeight);
    FTitleStrip->setVisible(shown);
}

void TKestrovaPanel::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    PlaceTitle();
}

void TKestrovaPanel::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter painter(this);
    painter.setPen(Skin::PanelOutline);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}
