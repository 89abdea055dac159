#include "ui/kestrova_button.h"

#include <QIcon>
#include <QPainter>
#include <QStyleOptionFocusRect>

#include "ui/skin_colours.h"

TKestrovaButton::TKestrovaButton(const QString& caption, QWidget* parent)
    : QAbstractButton(parent) {
    setText(caption);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setFont(QFont("Tahoma", 8));
    setAttribute(Qt::WA_Hover);
    // Connected first, so the form has its result before any other handler runs.
    connect(this, &QAbstractButton::clicked, this, &TKestrovaButton::GiveModalResult);
}

void TKestrovaButton::GiveModalResult() {
    if (FModalResult == TModalResult::None) return;
    if (auto* form = qobject_cast<tSkinnedForm*>(window())) form->SetModalResult(FModalResult);
}

void TKestrovaButton::SetDefault(bool isDefault) {
    FDefault = isDefault;
    FIsActive = isDefault || hasFocus();
    update();
}

void TKestrovaButton::SetImageList(const TImageList* images) {
    FImages = images;
    update();
}

void TKestrovaButton::SetImageIndex(int index) {
    FImageIndex = index;
    update();
}

void TKestrovaButton::SetLayout(tButtonImagePosition layout) {
    FLayout = layout;
    update();
}

void TKestrovaButton::SetTextAlignment(Qt::Alignment alignment) {
    FTextAlignment = alignment;
    update();
}

const QPixmap* TKestrovaButton::Image() const {
    if (!FImages || FImageIndex < 0 || FImageIndex >= static_cast<int>(FImages->size()))
        return nullptr;
    return &(*FImages)[static_cast<size_t>(FImageIndex)];
}

QRect TKestrovaButton::TextRect() const {
    QRect area = rect().adjusted(3, 3, -3, -3);
    if (const QPixmap* image = Image()) {
        if (FLayout == tButtonImagePosition::bipLeft)
            area.setLeft(2 + image->width() + 2);
        else
            area.setRight(width() - image->width() - 2 - 1);
    }
    if (isDown()) area.translate(1, 1);
    return area;
}

void TKestrovaButton::paintEvent(QPaintEvent*) {
    const bool pressed = isDown();
    QColor fill = Skin::ButtonFill, text = Skin::ButtonText, border = Skin::ButtonBorder;
    if (!isEnabled()) {
        fill = Skin::ButtonDisabledFill;
        text = Skin::ButtonDisabledText;
        border = Skin::ButtonDisabledBorder;
    } else if (pressed) {
        fill = Skin::ButtonPressedFill;
        text = Skin::ButtonHotText;
    } else if (FMouseInside) {
        fill = Skin::ButtonHotFill;
        text = Skin::ButtonHotText;
    }

    QPainter painter(this);
    painter.fillRect(rect(), fill);
    painter.setPen(border);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));

    if (const QPixmap* image = Image()) {
        int x = FLayout == tButtonImagePosition::bipLeft ? 2 : width() - image->width() - 2;
        int y = (height() - image->height()) / 2;
        if (pressed) {
            ++x;
            ++y;
        }
        QPixmap shown = isEnabled() ? *image : QIcon(*image).pixmap(image->size(), QIcon::Disabled);
        painter.drawPixmap(x, y, shown);
    }

    const QRect area = TextRect();
    painter.setPen(text);
    const QString plain = QString(this->text()).remove('&');
    const QFontMetrics metrics(font());
    if (metrics.horizontalAdvance(plain) <= area.width())
        painter.drawText(area, FTextAlignment | Qt::AlignVCenter | Qt::TextShowMnemonic,
                         this->text());
    else
        painter.drawText(area, FTextAlignment | Qt::AlignVCenter,
                         metrics.elidedText(plain, Qt::ElideRight, area.width()));

    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = rect().adjusted(2, 2, -2, -2);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

void TKestrovaButton::enterEvent(QEnterEvent* event) {
    QAbstractButton::enterEvent(event);
    FMouseInside = true;
    update();
}

void TKestrovaButton::leaveEvent(QEvent* event) {
    QAbstractButton::leaveEvent(event);
    FMouseInside = false;
    update();
}

void TKestrovaButton::focusInEvent(QFocusEvent* event) {
    QAbstractButton::focusInEvent(event);
    FIsActive = true;
}

void TKestrovaButton::focusOutEvent(QFocusEvent* event) {
    QAbstractButton::focusOutEvent(event);
    FIsActive = FDefault;
}
