#include "app/preview_panel.h"

#include <QPalette>

TPreviewPanel::TPreviewPanel(QWidget* parent)
    : QWidget(parent), FVideoPreview(new TPreviewWidget(this)) {
    setObjectName("pnlBG");
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);
    FVideoPreview->hide();
}

void TPreviewPanel::SetVideoSize(int width, int height) {
    FVideoWidth = width;
    FVideoHeight = height;
    pnlBGResize();
}

void TPreviewPanel::SetPreviewWanted(bool wanted) {
    FPreviewWanted = wanted;
    ShowVideoWindow(wanted && FPlacement.has_value());
}

void TPreviewPanel::pnlBGResize() {
    FPlacement = PlacePreview(FVideoWidth, FVideoHeight, width(), height());
    if (!FPlacement) {
        ShowVideoWindow(false);
        return;
    }
    FVideoPreview->setGeometry(FPlacement->Left, FPlacement->Top, FPlacement->Width,
                               FPlacement->Height);
    ShowVideoWindow(FPreviewWanted);
}

void TPreviewPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    pnlBGResize();
}

void TPreviewPanel::ShowVideoWindow(bool visible) {
    FVideoPreview->setVisible(visible);
}
