#include "app/ErrorReport.h"

#include <QFileInfo>
#include <QMessageBox>
#include <exception>

namespace kalvio {

std::string ErrorReportText(const std::string& what) {
    if (!what.empty() && static_cast<unsigned char>(what.back()) > static_cast<unsigned char>('.'))
        return what + ".";
    return what;
}

KalvioApplication::KalvioApplication(int& argc, char** argv) : QApplication(argc, argv) {}

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
    const QString text = QString::fromStdString(ErrorReportText(what));
    if (hook_) {
        hook_(text, ReportCaption());
        return;
    }
    QWidget* owner = activeModalWidget();
    if (!owner) owner = activeWindow();
    QMessageBox box(QMessageBox::Critical, ReportCaption(), text, QMessageBox::Ok, owner);
    // Above the full-screen slideshow, which stays on top.
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.exec();
}

}
