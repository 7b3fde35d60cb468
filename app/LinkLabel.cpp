// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/LinkLabel.h"

#include <QMouseEvent>

namespace kalvio {

void LinkLabel::mouseReleaseEvent(QMouseEvent* event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

void LinkLabel::enterEvent(QEnterEvent* event)
{
    QLabel::enterEvent(event);
    emit mouseEntered();
}

void LinkLabel::leaveEvent(QEvent* event)
{
    QLabel::leaveEvent(event);
    emit mouseLeft();
}

namespace {
bool UnderlineAlone(const QFont& font)
{
    return font.underline() && !font.bold() && !font.italic() && !font.strikeOut();
}

QFont WithStyle(QFont font, bool underline)
{
    font.setBold(false);
    font.setItalic(false);
    font.setStrikeOut(false);
    font.setUnderline(underline);
    return font;
}
}

void UnderlineOnEnter(QWidget& label)
{
    if (!UnderlineAlone(label.font()))
        label.setFont(WithStyle(label.font(), true));
}

void PlainOnLeave(QWidget& label)
{
    if (UnderlineAlone(label.font()))
        label.setFont(WithStyle(label.font(), false));
}

}
