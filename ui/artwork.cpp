#include "ui/artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

const QColor LogoOrange{240, 140, 30};
const QColor LogoBlue{90, 140, 255};

// The lens with its sound waves: the emblem of both the icon and the logo, in a box of side.
void PaintEmblem(QPainter& painter, QPointF centre, qreal side) {
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal lens = side * 0.30;
    painter.setPen(QPen(LogoOrange, side * 0.08));
    painter.setBrush(QColor(20, 20, 40));
    painter.drawEllipse(centre, lens, lens);
    painter.setPen(Qt::NoPen);
    painter.setBrush(LogoBlue);
    painter.drawEllipse(centre, lens * 0.45, lens * 0.45);
    painter.setBrush(Qt::NoBrush);
    for (int wave = 1; wave <= 2; ++wave) {
        const qreal radius = lens + side * 0.09 * wave;
        painter.setPen(QPen(wave == 1 ? LogoOrange : LogoOrange.darker(130), side * 0.05,
                            Qt::SolidLine, Qt::RoundCap));
        QRectF box(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
        painter.drawArc(box, -40 * 16, 80 * 16);
    }
}

QCursor MakeColorPickCursor() {
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    // A pipette lying from its tip at the hot spot up to its bulb at the top right: a white
    // outline drawn first, black body over it, so it shows on light and dark pictures alike.
    QPainterPath body;
    body.moveTo(ColorPickHotX, ColorPickHotY);
    body.lineTo(3, 12);
    body.lineTo(14, 3);
    body.lineTo(18, 7);
    body.lineTo(5, 18);
    body.closeSubpath();
    QPainterPath bulb;
    bulb.addEllipse(QRectF(15, 0, 9, 9));
    painter.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(body);
    painter.drawPath(bulb);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::black);
    painter.drawPath(body);
    painter.drawPath(bulb);
    painter.end();
    // Two colours only: no half-transparent edge pixels.
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            QRgb pixel = image.pixel(x, y);
            if (qAlpha(pixel) < 128)
                image.setPixel(x, y, qRgba(0, 0, 0, 0));
            else
                image.setPixel(x, y, qGray(pixel) < 128 ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
        }
    image.setPixel(ColorPickHotX, ColorPickHotY, qRgb(0, 0, 0));
    return QCursor(QPixmap::fromImage(image), ColorPickHotX, ColorPickHotY);
}

}  // namespace

QIcon ProgramIcon() {
    QImage image(64, 64, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(30, 30, 60));
    painter.drawRoundedRect(QRectF(2, 2, 60, 60), 10, 10);
    PaintEmblem(painter, {26, 32}, 64);
    painter.end();
    return QIcon(QPixmap::fromImage(image));
}

QImage AboutLogo() {
    QImage image(128, 99, QImage::Format_RGB888);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, 0, 99);
    sky.setColorAt(0, QColor(16, 24, 64));
    sky.setColorAt(1, QColor(0, 0, 0));
    painter.fillRect(image.rect(), sky);
    PaintEmblem(painter, {46, 38}, 72);

    QFont name("DejaVu Sans", 11, QFont::Bold);
    painter.setFont(name);
    painter.setPen(Qt::white);
    painter.drawText(QRect(0, 68, 128, 16), Qt::AlignHCenter | Qt::AlignVCenter, "KESTROVA");
    QFont subtitle("DejaVu Sans", 7);
    painter.setFont(subtitle);
    painter.setPen(LogoOrange);
    painter.drawText(QRect(0, 83, 128, 14), Qt::AlignHCenter | Qt::AlignVCenter, "ogg zizizada");
    return image;
}

const QCursor& ColorPickCursor() {
    static const QCursor cursor = MakeColorPickCursor();
    return cursor;
}

QPixmap SelectorImage(bool selected) {
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    if (selected) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(LogoOrange);
        painter.drawPolygon(QPolygonF({{4, 3}, {13, 8}, {4, 13}}));
    } else {
        painter.setPen(QPen(QColor(170, 170, 230), 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(QRectF(5, 5, 6, 6));
    }
    painter.end();
    return QPixmap::fromImage(image);
}
