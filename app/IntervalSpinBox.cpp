// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/IntervalSpinBox.h"

#include <QRegularExpression>

#include <algorithm>

namespace kalvio {

IntervalSpinBox::IntervalSpinBox(QWidget* parent) : QSpinBox(parent)
{
    setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
}

QValidator::State IntervalSpinBox::validate(QString& input, int&) const
{
    static const QRegularExpression digits(QStringLiteral("^[+-]?[0-9]*$"));
    if (!digits.match(input).hasMatch())
        return QValidator::Invalid;
    bool ok = false;
    const qlonglong v = input.toLongLong(&ok);
    if (!ok)
        return QValidator::Intermediate;   // empty, a lone sign or too many digits
    return v >= minimum() && v <= maximum() ? QValidator::Acceptable : QValidator::Intermediate;
}

void IntervalSpinBox::fixup(QString& input) const
{
    bool ok = false;
    const qlonglong v = input.toLongLong(&ok);
    int fixed = minimum();
    if (ok)
        fixed = int(std::clamp<qlonglong>(v, minimum(), maximum()));
    else if (input.size() > 1 && input.front() != u'-' && input.contains(QRegularExpression("[0-9]")))
        fixed = maximum();   // more digits than a number holds
    input = QString::number(fixed);
}

int IntervalSpinBox::valueFromText(const QString& text) const
{
    QString copy = text;
    fixup(copy);
    return copy.toInt();
}

}
