#include "ui/caption_painter.h"

#include <QPainter>

#include "ui/skin_colours.h"

namespace {

// A window outline of the given size with a filled title bar of barHeight pixels.
void PaintWindowGlyph(QPainter& painter, QPoint topLeft, QSize size, int barHeight,
                      const QColor& glyph, const QColor& body) {
    QRect outline(topLeft, size);
    painter.fillRect(outline, body);
    painter.fillRect(QRect(topLeft, QSize(size.width(), barHeight)), glyph);
    painter.setPen(glyph);
    painter.drawRect(outline.adjusted(0, 0, -1, -1));
}

void PaintCloseGlyph(QPainter& painter, int side, const QColor& colour) {
    painter.setPen(colour);
    const int first = 3, last = side - 4;
    // Three one-pixel lines side by side make each stroke.
    for (int offset = -1; offset <= 1; ++offset) {
        painter.drawLine(first + offset, first, last + offset, last);
        painter.drawLine(last + offset, first, first + offset, last);
    }
}

}  // namespace

void PaintCaptionButton(QPainter& painter, const QRect& square, TCaptionGlyph glyph,
                        TCaptionButtonState state) {
    const bool lit = state.Hot || state.Pressed;
    const QColor fill = state.Pressed ? Skin::CaptionButtonPressed
                        : state.Hot   ? Skin::CaptionButtonHot
                                      : Skin::CaptionButton;
    const QColor ink = lit ? Skin::CaptionGlyphHot : Skin::CaptionGlyph;
    const int side = square.width();

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.translate(square.topLeft());
    painter.fillRect(QRect(0, 0, side, side), fill);
    painter.setPen(ink);
    painter.drawRect(0, 0, side - 1, side - 1);
    switch (glyph) {
        case TCaptionGlyph::Close:
            PaintCloseGlyph(painter, side, lit ? Skin::CloseGlyphHot : Skin::CloseGlyph);
            break;
        case TCaptionGlyph::Minimize:
            painter.fillRect(QRect(QPoint(3, side - 6), QPoint(side - 4, side - 4)), ink);
            break;
        case TCaptionGlyph::Maximize:
            PaintWindowGlyph(painter, {3, 3}, {side - 7, side - 7}, 3, ink, fill);
            break;
        case TCaptionGlyph::Restore:
            PaintWindowGlyph(painter, {5, 3}, {side - 9, side - 10}, 2, ink, fill);
            PaintWindowGlyph(painter, {3, 6}, {side - 9, side - 10}, 2, ink, fill);
            break;
    }
    painter.restore();
}
