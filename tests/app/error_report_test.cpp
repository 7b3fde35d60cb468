#include "app/ErrorReport.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <stdexcept>

using kalvio::ErrorReportText;
using kalvio::KalvioApplication;

namespace {

// The executable's base name, as the report's caption must show it.
const QString kCaption = "error_report_test";

KalvioApplication& App() {
    static int argc = 1;
    static char name[] = "error_report_test";
    static char* argv[] = {name, nullptr};
    static KalvioApplication* app = new KalvioApplication(argc, argv);
    return *app;
}

struct Report {
    QString text, caption;
};

// Captures reports instead of showing message boxes.
class ErrorReportTest : public ::testing::Test {
protected:
    void SetUp() override {
        App().SetReportHook([this](const QString& text, const QString& caption) {
            reports.push_back({text, caption});
        });
    }
    void TearDown() override { App().SetReportHook({}); }

    // Runs the event loop until `done` or two seconds have passed.
    template <class F>
    bool RunUntil(F done) {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < 2000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return done();
    }

    std::vector<Report> reports;
};

class ThrowingKeyWidget : public QWidget {
public:
    int keys = 0;

protected:
    void keyPressEvent(QKeyEvent* e) override {
        ++keys;
        if (e->key() == Qt::Key_Space) throw std::runtime_error("Key handler failed");
    }
};

}

TEST(ErrorReportText, FullStopAfterCharactersThatSortAfterIt) {
    struct Case {
        const char* what;
        const char* shown;
    } cases[] = {
        {"", ""},
        {"Cannot open \"a.mp3\": Resource not found.", "Cannot open \"a.mp3\": Resource not found."},
        {"List index out of bounds (3)", "List index out of bounds (3)"},  // ')' sorts before '.'
        {"Stop!", "Stop!"},
        {"a,", "a,"},
        {"a-", "a-"},
        {"trailing space ", "trailing space "},
        {"No MCI device open", "No MCI device open."},
        {"track 2", "track 2."},  // digits sort after '.'
        {"/music/", "/music/."},  // so does '/'
        {"“Kalvio”已运行！", "“Kalvio”已运行！."},  // multi-byte characters end in high bytes
    };
    for (const Case& c : cases) EXPECT_EQ(ErrorReportText(c.what), c.shown) << c.what;
}

TEST_F(ErrorReportTest, AFailingTimerTickIsReportedOnceAndTheTimerKeepsRunning) {
    QTimer timer;
    timer.setInterval(5);
    int ticks = 0;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++ticks;
        if (ticks == 2) throw std::runtime_error("Cannot open \"x.mp3\": Could not determine type of stream");
        if (ticks == 4) throw 42;
    });
    timer.start();
    ASSERT_TRUE(RunUntil([&] { return ticks >= 7; }));
    EXPECT_TRUE(timer.isActive());
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].text, "Cannot open \"x.mp3\": Could not determine type of stream.");
    EXPECT_EQ(reports[0].caption, kCaption);
    EXPECT_EQ(reports[1].text, "An unknown error occurred.");
}

TEST_F(ErrorReportTest, AFailingKeyHandlerIsReportedAndTheWindowGoesOn) {
    ThrowingKeyWidget w;
    w.show();
    QCoreApplication::postEvent(&w, new QKeyEvent(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " "));
    QCoreApplication::postEvent(&w, new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a"));
    ASSERT_TRUE(RunUntil([&] { return w.keys >= 2; }));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].text, "Key handler failed.");
    EXPECT_EQ(reports[0].caption, kCaption);
}

TEST_F(ErrorReportTest, AFailingButtonClickIsReported) {
    QPushButton button("Play");
    button.resize(80, 25);
    button.show();
    int clicks = 0;
    QObject::connect(&button, &QPushButton::clicked, [&] {
        ++clicks;
        throw std::runtime_error("Folder missing");
    });
    const QPointF at(10, 10);
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent e(type, at, button.mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&button, &e);
    }
    EXPECT_EQ(clicks, 1);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].text, "Folder missing.");
    EXPECT_FALSE(button.isDown()) << "the button was released";
}

// Without a hook the report is a modal message box: error icon, one OK button.
TEST(ErrorReportBox, ShowsTheErrorIconTextCaptionAndOneOkButton) {
    App().SetReportHook({});
    QString text, caption;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QTimer::singleShot(50, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            ADD_FAILURE() << "no message box shown";
            if (QWidget* w = QApplication::activeModalWidget()) w->close();
            return;
        }
        text = box->text();
        caption = box->windowTitle();
        icon = box->icon();
        buttons = box->standardButtons();
        box->button(QMessageBox::Ok)->click();
    });
    App().ReportError("No MCI device open");
    EXPECT_EQ(text, "No MCI device open.");
    EXPECT_EQ(caption, kCaption);
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}
