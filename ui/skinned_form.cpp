#include "ui/skinned_form.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

#include "ui/artwork.h"
#include "ui/caption_painter.h"
#include "ui/kestrova_button.h"
#include "ui/skin_colours.h"

namespace {

// The platform metrics the frame is drawn to.
constexpr int CaptionSize = 22;
constexpr int SmallCaptionSize = 17;
constexpr int DialogFrameSize = 3;
constexpr int SizingFrameSize = 4;

bool IsToolWindow(TFormBorderStyle style) {
    return style == TFormBorderStyle::ToolWindow || style == TFormBorderStyle::SizeToolWin;
}

bool IsSizeable(TFormBorderStyle style) {
    return style == TFormBorderStyle::Sizeable || style == TFormBorderStyle::SizeToolWin;
}

QIcon FormIcon(const QWidget& form) {
    QIcon icon = form.windowIcon();
    if (icon.isNull()) icon = QApplication::windowIcon();
    if (icon.isNull()) icon = ProgramIcon();
    return icon;
}

}  // namespace

tSkinnedForm::tSkinnedForm(QWidget* parent, TFormBorderStyle borderStyle, TBorderIcons borderIcons)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint),
      FBorderStyle(borderStyle),
      FBorderIcons(borderIcons),
      FClient(new QWidget(this)) {
    setMouseTracking(true);
    setFont(QFont("Tahoma", 8));
    FClient->setAutoFillBackground(true);
    SetColor(Skin::FormBackground);
    LayOutCaption();
}

int tSkinnedForm::FrameWidth() const {
    if (FBorderStyle == TFormBorderStyle::None) return 0;
    return IsSizeable(FBorderStyle) ? SizingFrameSize : DialogFrameSize;
}

int tSkinnedForm::CaptionHeight() const {
    if (FBorderStyle == TFormBorderStyle::None) return 0;
    return IsToolWindow(FBorderStyle) ? SmallCaptionSize : CaptionSize;
}

bool tSkinnedForm::ShowsIcon() const {
    return FBorderIcons.SystemMenu &&
           (FBorderStyle == TFormBorderStyle::Single || FBorderStyle == TFormBorderStyle::Sizeable);
}

bool tSkinnedForm::ShowsCaptionButtons() const {
    return FBorderStyle != TFormBorderStyle::None && FBorderIcons.SystemMenu;
}

bool tSkinnedForm::ShowsMinMax() const {
    return ShowsCaptionButtons() && !IsToolWindow(FBorderStyle) &&
           FBorderStyle != TFormBorderStyle::Dialog &&
           (FBorderIcons.Minimize || FBorderIcons.Maximize);
}

void tSkinnedForm::SetClientSize(QSize size) {
    const int frame = FrameWidth();
    resize(size.width() + 2 * frame, size.height() + 2 * frame + CaptionHeight());
}

QSize tSkinnedForm::ClientSize() const {
    // From the window's size: the client widget follows it only once the window is shown.
    const int frame = FrameWidth();
    return {width() - 2 * frame, height() - 2 * frame - CaptionHeight()};
}

void tSkinnedForm::SetColor(const QColor& color) {
    QPalette palette = FClient->palette();
    palette.setColor(QPalette::Window, color);
    FClient->setPalette(palette);
}

void tSkinnedForm::SetModalResult(TModalResult result) {
    if (result == TModalResult::OK) done(QDialog::Accepted);
    if (result == TModalResult::Cancel) done(QDialog::Rejected);
}

void tSkinnedForm::LayOutCaption() {
    const int frame = FrameWidth(), caption = CaptionHeight();
    FClient->setGeometry(frame, frame + caption, width() - 2 * frame,
                         height() - 2 * frame - caption);
    FIconRect = FCloseRect = FMaxRect = FMinRect = QRect();
    if (FBorderStyle == TFormBorderStyle::None) return;
    if (ShowsIcon()) FIconRect = QRect(QPoint(frame, frame), QPoint(caption - 1, caption - 1));
    if (!ShowsCaptionButtons()) return;
    const int side = caption - frame;
    int left = width() - frame - side;
    FCloseRect = QRect(left, frame, side, side);
    if (!ShowsMinMax()) return;
    left -= side + frame;
    FMaxRect = QRect(left, frame, side, side);
    left -= side + frame;
    FMinRect = QRect(left, frame, side, side);
}

void tSkinnedForm::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    LayOutCaption();
}

void tSkinnedForm::paintEvent(QPaintEvent*) {
    if (FBorderStyle == TFormBorderStyle::None || isMinimized()) return;
    const bool active = isActiveWindow();
    const QColor background = active ? Skin::ActiveCaption : Skin::InactiveCaption;
    const QColor text = active ? Skin::ActiveCaptionText : Skin::InactiveCaptionText;
    const int frame = FrameWidth(), barHeight = frame + CaptionHeight();

    QPainter painter(this);
    painter.fillRect(rect(), background);
    painter.setPen(Skin::Outline);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));

    if (!FIconRect.isEmpty()) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        QPixmap icon = FormIcon(*this).pixmap(QSize(2, 2) * FIconRect.width());
        painter.drawPixmap(FIconRect, icon);
    }
    auto state = [&](int button) {
        bool hot = active && FHotButton == button;
        return TCaptionButtonState{hot, hot && FPressed};
    };
    if (!FCloseRect.isEmpty())
        PaintCaptionButton(painter, FCloseRect, TCaptionGlyph::Close, state(hbClose));
    if (!FMaxRect.isEmpty())
        PaintCaptionButton(painter, FMaxRect,
                           isMaximized() ? TCaptionGlyph::Restore : TCaptionGlyph::Maximize,
                           state(hbMaximize));
    if (!FMinRect.isEmpty())
        PaintCaptionButton(painter, FMinRect, TCaptionGlyph::Minimize, state(hbMinimize));

    const int textLeft = FIconRect.isEmpty() ? frame : FIconRect.right() + 1;
    int textRight = width() - frame;
    for (const QRect& button : {FCloseRect, FMaxRect, FMinRect})
        if (!button.isEmpty()) textRight = std::min(textRight, button.left());
    QRect textRect(QPoint(textLeft, frame), QPoint(textRight - 1, barHeight - 1));
    QFont captionFont("Arial", 10);
    painter.setFont(captionFont);
    painter.setPen(text);
    QString caption =
        QFontMetrics(captionFont).elidedText(windowTitle(), Qt::ElideRight, textRect.width());
    painter.drawText(textRect, Qt::AlignCenter | Qt::TextSingleLine, caption);
}

int tSkinnedForm::ButtonAt(QPoint pos) const {
    if (FCloseRect.contains(pos)) return hbClose;
    if (FMaxRect.contains(pos) && FBorderIcons.Maximize) return hbMaximize;
    if (FMinRect.contains(pos) && FBorderIcons.Minimize) return hbMinimize;
    if (FIconRect.contains(pos)) return hbIcon;
    return hbNone;
}

Qt::Edges tSkinnedForm::EdgesAt(QPoint pos) const {
    Qt::Edges edges;
    if (!IsSizeable(FBorderStyle) || isMaximized()) return edges;
    const int frame = FrameWidth();
    if (pos.x() < frame) edges |= Qt::LeftEdge;
    if (pos.x() >= width() - frame) edges |= Qt::RightEdge;
    if (pos.y() < frame) edges |= Qt::TopEdge;
    if (pos.y() >= height() - frame) edges |= Qt::BottomEdge;
    return edges;
}

bool tSkinnedForm::IsCaption(QPoint pos) const {
    const int frame = FrameWidth();
    return pos.y() >= frame && pos.y() < frame + CaptionHeight() && ButtonAt(pos) == hbNone &&
           EdgesAt(pos) == Qt::Edges();
}

void tSkinnedForm::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (FDragging) {
        DragTo(event->globalPosition().toPoint());
        return;
    }
    const int hot = ButtonAt(pos);
    if (hot != FHotButton) {
        FHotButton = hot;
        update();
    }
    const Qt::Edges edges = EdgesAt(pos);
    if (hot != hbNone)
        setCursor(Qt::PointingHandCursor);
    else if (edges == (Qt::LeftEdge | Qt::TopEdge) || edges == (Qt::RightEdge | Qt::BottomEdge))
        setCursor(Qt::SizeFDiagCursor);
    else if (edges == (Qt::RightEdge | Qt::TopEdge) || edges == (Qt::LeftEdge | Qt::BottomEdge))
        setCursor(Qt::SizeBDiagCursor);
    else if (edges & (Qt::LeftEdge | Qt::RightEdge))
        setCursor(Qt::SizeHorCursor);
    else if (edges)
        setCursor(Qt::SizeVerCursor);
    else
        unsetCursor();
}

void tSkinnedForm::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || isMinimized()) {
        update();
        return;
    }
    const QPoint pos = event->position().toPoint();
    const Qt::Edges edges = EdgesAt(pos);
    const bool caption = IsCaption(pos);
    if (caption || edges) {
        // The window manager moves or resizes it where it can (also on Wayland); elsewhere the
        // form follows the pointer itself.
        QWindow* window = windowHandle();
        bool byPlatform =
            window && (caption ? window->startSystemMove() : window->startSystemResize(edges));
        if (!byPlatform) {
            FDragging = true;
            FDragEdges = caption ? Qt::Edges() : edges;
            FDragStart = event->globalPosition().toPoint();
            FDragGeometry = geometry();
        }
        return;
    }
    FPressed = true;
    update();
}

void tSkinnedForm::DragTo(QPoint globalPos) {
    const QPoint delta = globalPos - FDragStart;
    if (!FDragEdges) {
        move(FDragGeometry.topLeft() + delta);
        return;
    }
    QRect target = FDragGeometry;
    if (FDragEdges & Qt::LeftEdge) target.setLeft(target.left() + delta.x());
    if (FDragEdges & Qt::RightEdge) target.setRight(target.right() + delta.x());
    if (FDragEdges & Qt::TopEdge) target.setTop(target.top() + delta.y());
    if (FDragEdges & Qt::BottomEdge) target.setBottom(target.bottom() + delta.y());
    target.setSize(target.size().expandedTo(minimumSize()));
    setGeometry(target);
}

void tSkinnedForm::mouseReleaseEvent(QMouseEvent* event) {
    FDragging = false;
    if (event->button() == Qt::LeftButton && FPressed) {
        FPressed = false;
        ReleasedOver(ButtonAt(event->position().toPoint()));
    }
    update();
}

void tSkinnedForm::ReleasedOver(int button) {
    switch (button) {
        case hbClose:
            close();
            break;
        case hbMinimize:
            // The whole program goes to the task bar, not this window alone.
            for (QWidget* window : QApplication::topLevelWidgets())
                if (window->isVisible()) window->showMinimized();
            break;
        case hbMaximize:
            isMaximized() ? showNormal() : showMaximized();
            break;
        default:
            break;
    }
}

void tSkinnedForm::leaveEvent(QEvent* event) {
    QDialog::leaveEvent(event);
    if (FHotButton != hbNone) {
        FHotButton = hbNone;
        update();
    }
}

void tSkinnedForm::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange) {
        FHotButton = hbNone;
        FPressed = false;
    }
    if (event->type() == QEvent::ActivationChange || event->type() == QEvent::WindowTitleChange ||
        event->type() == QEvent::WindowStateChange)
        update();
}

bool tSkinnedForm::ClickDialogButton(int key) {
    for (TKestrovaButton* button : findChildren<TKestrovaButton*>()) {
        bool wanted = key == Qt::Key_Escape ? button->Cancel() : button->IsActive();
        if (wanted && button->isEnabled() && button->isVisible()) {
            button->click();
            return true;
        }
    }
    return false;
}

void tSkinnedForm::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    const bool dialogKey = key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape;
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (dialogKey && plain && ClickDialogButton(key == Qt::Key_Escape ? key : Qt::Key_Return))
        return;
    QDialog::keyPressEvent(event);
}
