// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMessageBox>
#include <QString>

namespace kalvio {

// One general error report on screen: the error's text, the program's name as
// caption, the error icon and one OK button. It holds up nothing: it runs no
// modal loop of its own, so every handler and timer goes on behind it; it is
// shown without taking the keyboard from the window it stands over (the
// full-screen show keeps Space and Esc), stays above that window, and deletes
// itself when answered. Its owner's deletion takes it along.
class ErrorReportBox : public QMessageBox {
    Q_OBJECT
public:
    ErrorReportBox(QWidget* owner, const QString& text, const QString& caption);

    // The window a new report stands over: the modal window the user works in
    // (the slideshow during a show), else the active window; never a report,
    // whose answer would take the new one with it.
    static QWidget* OwnerForNewReport();
};

}
