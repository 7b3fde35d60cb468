// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLabel>

namespace kalvio {

// A label that reports clicks and the pointer entering and leaving it.
class LinkLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

signals:
    void clicked();
    void mouseEntered();
    void mouseLeft();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
};

// Hover underline of the home page links: on enter, unless the font is exactly
// underlined and nothing else, make it so; on leave, if it is exactly
// underlined, make it plain.
void UnderlineOnEnter(QWidget& label);
void PlainOnLeave(QWidget& label);

}
