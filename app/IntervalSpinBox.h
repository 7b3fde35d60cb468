// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSpinBox>

namespace kalvio {

// The whole-number box for the picture interval. While typing it takes digits
// with one leading sign, whatever their value; when the text is interpreted
// (focus loss, Enter, or interpretText) a value below the minimum becomes the
// minimum, one above the maximum the maximum, and an empty box the minimum.
class IntervalSpinBox : public QSpinBox {
    Q_OBJECT
public:
    explicit IntervalSpinBox(QWidget* parent = nullptr);

    QValidator::State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;
    int valueFromText(const QString& text) const override;
};

}
