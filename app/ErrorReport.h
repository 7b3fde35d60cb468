#pragma once

#include <QApplication>
#include <QString>
#include <functional>
#include <string>

namespace kalvio {

// The text of the general error report: the error's text, with a full stop
// appended when its last character sorts after '.'.
std::string ErrorReportText(const std::string& what);

// The application object. An exception that escapes any event handler (timer
// tick, key, mouse, menu command, button click) ends that handler and is shown
// by the general error report; the program carries on, and a timer whose tick
// failed keeps running.
class KalvioApplication : public QApplication {
    Q_OBJECT
public:
    // Shows one report: text and caption. The default is a modal message box
    // with the error icon and one OK button; tests replace it.
    using ReportHook = std::function<void(const QString& text, const QString& caption)>;

    KalvioApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Reports an exception caught elsewhere (e.g. around code run before the
    // event loop). Call from inside a catch block.
    void ReportCurrentException();
    void ReportError(const std::string& what);

    void SetReportHook(ReportHook hook) { hook_ = std::move(hook); }
    // The running application, or null when it is not a KalvioApplication.
    static KalvioApplication* Instance();
    // The caption of the report: the base name of the executable file.
    QString ReportCaption() const;

private:
    ReportHook hook_;
};

}
