// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/AppIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace kalvio {

namespace {
QPixmap DrawIcon(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x80, 0x00, 0x00));
    p.drawRoundedRect(QRectF(4, 8, 56, 48), 6, 6);
    p.setBrush(QColor(0x9c, 0xd3, 0xf5));
    p.drawRect(QRectF(9, 13, 46, 38));
    p.setBrush(QColor(0xff, 0xcc, 0x33));
    p.drawEllipse(QPointF(44, 23), 5, 5);
    QPainterPath hill;
    hill.moveTo(9, 51);
    hill.lineTo(25, 29);
    hill.lineTo(35, 41);
    hill.lineTo(42, 33);
    hill.lineTo(55, 51);
    hill.closeSubpath();
    p.setBrush(QColor(0x2e, 0x8b, 0x57));
    p.drawPath(hill);
    QPainterPath play;
    play.moveTo(22, 36);
    play.lineTo(22, 50);
    play.lineTo(34, 43);
    play.closeSubpath();
    p.setBrush(Qt::white);
    p.drawPath(play);
    return pixmap;
}
}

QIcon KalvioIcon()
{
    QIcon icon;
    for (int size : { 16, 24, 32, 48, 64, 128 })
        icon.addPixmap(DrawIcon(size));
    return icon;
}

}
