// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ErrorReport.h"

#include <QFileInfo>
#include <QMetaObject>
#include <exception>

#include "app/ErrorReportBox.h"

namespace kalvio {

std::string ErrorReportText(const std::string& what) {
    if (!what.empty() && static_cast<unsigned char>(what.back()) > static_cast<unsigned char>('.'))
        return what + ".";
    return what;
}

KalvioApplication::KalvioApplication(int& argc, char** argv) : QApplication(argc, argv) {}

KalvioApplication::~KalvioApplication() {
    // Reports with an owner went with it; the others are deleted here.
    for (QWidget* window : topLevelWidgets())
        if (qobject_cast<ErrorReportBox*>(window) && !window->parentWidget()) delete window;
}

KalvioApplication* KalvioApplication::Instance() {
    return qobject_cast<KalvioApplication*>(QCoreApplication::instance());
}

bool KalvioApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ReportCurrentException();
    }
    return false;
}

void KalvioApplication::ReportCurrentException() {
    try {
        throw;
    } catch (const std::exception& e) {
        ReportError(e.what());
    } catch (...) {
        ReportError("An unknown error occurred");
    }
}

QString KalvioApplication::ReportCaption() const {
    QString name = QFileInfo(applicationFilePath()).completeBaseName();
    return name.isEmpty() ? applicationName() : name;
}

void KalvioApplication::ReportError(const std::string& what) {
    // Shown from the event loop, not from inside the failed event's delivery:
    // Qt holds a timer back while its own tick is being delivered, so a report
    // shown there would stop the show and the music until it was answered.
    const QString text = QString::fromStdString(ErrorReportText(what));
    QMetaObject::invokeMethod(this, [this, text] { ShowReport(text); }, Qt::QueuedConnection);
}

void KalvioApplication::ShowReport(const QString& text) {
    if (hook_) {
        hook_(text, ReportCaption());
        return;
    }
    (new ErrorReportBox(ErrorReportBox::OwnerForNewReport(), text, ReportCaption()))->show();
}

}
