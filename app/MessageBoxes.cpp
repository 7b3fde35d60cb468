// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MessageBoxes.h"

namespace kalvio {

std::unique_ptr<QMessageBox> MakeWarningBox(QWidget* owner, const QString& text)
{
    auto box = std::make_unique<QMessageBox>(QMessageBox::Critical, QString::fromUtf8(WarningCaption),
                                             text, QMessageBox::Ok, owner);
    box->setWindowModality(Qt::ApplicationModal);
    box->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    return box;
}

void ShowWarningBox(QWidget* owner, const QString& text)
{
    MakeWarningBox(owner, text)->exec();
}

std::unique_ptr<QMessageBox> MakeAlreadyRunningBox(QWidget* owner)
{
    auto box = std::make_unique<QMessageBox>(QMessageBox::Information, QString(),
                                             QString::fromUtf8(AlreadyRunningText), QMessageBox::Ok,
                                             owner);
    box->setWindowModality(Qt::ApplicationModal);
    return box;
}

void ShowAlreadyRunningBox(QWidget* owner)
{
    MakeAlreadyRunningBox(owner)->exec();
}

}
