// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ErrorReportBox.h"

#include <QApplication>

namespace kalvio {

ErrorReportBox::ErrorReportBox(QWidget* owner, const QString& text, const QString& caption)
    : QMessageBox(QMessageBox::Critical, caption, text, QMessageBox::Ok, owner)
{
    setObjectName("ErrorReport");
    setWindowModality(Qt::NonModal);
    // Above the full-screen slideshow, which stays on top itself.
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_DeleteOnClose);
}

QWidget* ErrorReportBox::OwnerForNewReport()
{
    QWidget* owner = QApplication::activeModalWidget();
    if (!owner)
        owner = QApplication::activeWindow();
    while (qobject_cast<ErrorReportBox*>(owner))
        owner = owner->parentWidget();
    return owner;
}

}
