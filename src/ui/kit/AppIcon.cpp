#include "ui/kit/AppIcon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace qm {

namespace {

// The drawing is laid out on a 64 x 64 grid, as in the SVG file.
constexpr qreal kGrid = 64.0;
// Heights of the waveform's bars, left to right, in grid units around the middle line.
constexpr qreal kBarHeights[] = {10, 22, 34, 18, 40, 26, 14, 30, 20, 8};
constexpr qreal kBarWidth = 3.0;
constexpr qreal kBarPitch = 4.6;
constexpr qreal kFirstBarX = 9.0;

}  // namespace

QPixmap AppIconPixmap(int sizePx) {
    QPixmap pixmap(sizePx, sizePx);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(sizePx / kGrid, sizePx / kGrid);

    QLinearGradient tile(0, 0, 0, kGrid);
    tile.setColorAt(0, QColor(0x2f, 0x6f, 0xd6));
    tile.setColorAt(1, QColor(0x1b, 0x3f, 0x8c));
    painter.setPen(Qt::NoPen);
    painter.setBrush(tile);
    painter.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);

    painter.setBrush(Qt::white);
    qreal x = kFirstBarX;
    for (qreal height : kBarHeights) {
        painter.drawRoundedRect(QRectF(x, 32 - height / 2, kBarWidth, height), 1.5, 1.5);
        x += kBarPitch;
    }

    // The cut: an orange line across the waveform with a small gap in the middle.
    QPen cut(QColor(0xff, 0x8a, 0x1f), 4, Qt::SolidLine, Qt::RoundCap);
    painter.setPen(cut);
    painter.drawLine(QPointF(34, 8), QPointF(30, 27));
    painter.drawLine(QPointF(29, 37), QPointF(25, 56));
    return pixmap;
}

QIcon AppIcon() {
    QIcon icon;
    for (int sizePx : {16, 24, 32, 48, 64, 128, 256}) icon.addPixmap(AppIconPixmap(sizePx));
    return icon;
}

}  // namespace qm
