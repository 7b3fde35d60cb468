// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMessageBox>
#include <QString>
#include <memory>

namespace kalvio {

inline constexpr char WarningCaption[] = "请注意";
inline constexpr char AlreadyRunningText[] = "“Kalvio”已运行！";

// The warning box of the settings window: caption "请注意", the error icon and
// one OK button, modal over the whole program and kept above other windows.
std::unique_ptr<QMessageBox> MakeWarningBox(QWidget* owner, const QString& text);
void ShowWarningBox(QWidget* owner, const QString& text);

// What a second copy shows before it exits: an empty caption, the
// information icon and one OK button.
std::unique_ptr<QMessageBox> MakeAlreadyRunningBox(QWidget* owner);
void ShowAlreadyRunningBox(QWidget* owner);

}
