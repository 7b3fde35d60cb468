// SPDX-License-Identifier: GPL-3.0-or-later
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
// tick, key, mouse, menu command, button click) ends that handler; the event
// loop then shows the general error report. The report waits for nobody: the
// program carries on behind it, every timer (the failing one included) keeps
// ticking, and each further failure shows its own report.
class KalvioApplication : public QApplication {
    Q_OBJECT
public:
    // Shows one report: text and caption. The default is an ErrorReportBox;
    // tests replace it.
    using ReportHook = std::function<void(const QString& text, const QString& caption)>;

    KalvioApplication(int& argc, char** argv);
    // Reports still open go with the program.
    ~KalvioApplication() override;

    bool notify(QObject* receiver, QEvent* event) override;

    // Reports an exception caught elsewhere. Call from inside a catch block.
    void ReportCurrentException();
    // Queues the report of `what`; the event loop shows it once the handler
    // that failed has ended (a report queued before the loop runs shows when
    // it starts).
    void ReportError(const std::string& what);

    void SetReportHook(ReportHook hook) { hook_ = std::move(hook); }
    // The running application, or null when it is not a KalvioApplication.
    static KalvioApplication* Instance();
    // The caption of the report: the base name of the executable file.
    QString ReportCaption() const;

private:
    void ShowReport(const QString& text);

    ReportHook hook_;
};

}
