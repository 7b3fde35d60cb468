// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ErrorReport.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <stdexcept>
#include <vector>

#include "app/ErrorReportBox.h"
#include "app/QtTestApp.h"

using kalvio::ErrorReportBox;
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

    // Runs the event loop until `done`, or until only a hang would take so long.
    template <class F>
    bool RunUntil(F done) { return kalvio::test::WaitUntil(done, kalvio::test::kHangMs); }

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
    ASSERT_TRUE(RunUntil([&] { return w.keys >= 2 && !reports.empty(); }));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].text, "Key handler failed.");
    EXPECT_EQ(reports[0].caption, kCaption);
}

// The click's delivery ends with the failure; the report follows from the
// event loop.
TEST_F(ErrorReportTest, AFailingButtonClickIsReportedFromTheEventLoopAfterwards) {
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
    EXPECT_TRUE(reports.empty()) << "reported inside the failed event's delivery";
    EXPECT_FALSE(button.isDown()) << "the button was released";
    ASSERT_TRUE(RunUntil([&] { return !reports.empty(); }));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].text, "Folder missing.");
}

// The real reports, nobody answering them.
class ErrorReportBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        App().SetReportHook({});
        // A report that holds up the loop (a modal box) would stop these tests
        // for good; it is closed after a while so that they fail instead.
        QObject::connect(&unblock_, &QTimer::timeout, [] {
            if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
        });
        unblock_.start(1500);
    }
    void TearDown() override {
        for (ErrorReportBox* box : OpenReports()) delete box;
    }

    static std::vector<ErrorReportBox*> OpenReports() {
        std::vector<ErrorReportBox*> open;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<ErrorReportBox*>(w); box && box->isVisible()) open.push_back(box);
        return open;
    }
    template <class F>
    static bool RunUntil(F done) { return kalvio::test::WaitUntil(done, kalvio::test::kHangMs); }

    QTimer unblock_;
};

// Two ticks fail; their reports stay open, unanswered, while the same timer
// ticks on. Answering one leaves the other.
TEST_F(ErrorReportBoxTest, TheFailingTimerTicksOnBehindItsOpenReports) {
    QTimer timer;
    timer.setInterval(10);
    int ticks = 0, ticksBehindTwoReports = 0;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++ticks;
        ticksBehindTwoReports += OpenReports().size() == 2;
        if (ticks == 2) throw std::runtime_error("Cannot open b.mp3");
        if (ticks == 4) throw std::runtime_error("Cannot load picture b.jpg");
    });
    timer.start();
    ASSERT_TRUE(RunUntil([&] { return ticksBehindTwoReports >= 5; }))
        << ticks << " ticks, " << ticksBehindTwoReports << " of them behind both reports";
    EXPECT_TRUE(timer.isActive());

    std::vector<ErrorReportBox*> open = OpenReports();
    ASSERT_EQ(open.size(), 2u);
    std::sort(open.begin(), open.end(), [](auto* a, auto* b) { return a->text() < b->text(); });
    const std::string texts[] = {"Cannot load picture b.jpg.", "Cannot open b.mp3."};
    for (size_t i = 0; i < open.size(); ++i) {
        EXPECT_EQ(open[i]->text().toStdString(), texts[i]);
        EXPECT_EQ(open[i]->windowTitle().toStdString(), kCaption.toStdString());
        EXPECT_EQ(open[i]->icon(), QMessageBox::Critical);
        EXPECT_EQ(open[i]->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
        EXPECT_EQ(open[i]->windowModality(), Qt::NonModal);
        EXPECT_TRUE(open[i]->windowFlags() & Qt::WindowStaysOnTopHint);
    }

    QPointer<ErrorReportBox> answered = open[0];
    answered->button(QMessageBox::Ok)->click();
    ASSERT_TRUE(RunUntil([&] { return answered.isNull(); })) << "an answered report goes";
    EXPECT_EQ(OpenReports(), std::vector<ErrorReportBox*>{open[1]});
    timer.stop();
}

// A failure inside a modal window (the slideshow runs modally): the report
// stands over that window, so it is not blocked by it, and closing the window
// with the report still open ends the modal loop and takes the report along.
TEST_F(ErrorReportBoxTest, AReportOverAModalWindowGoesWithIt) {
    auto* dialog = new QDialog;
    QPointer<ErrorReportBox> report;
    bool closedBehindReport = false;
    QTimer::singleShot(0, dialog, [] { throw std::runtime_error("Cannot load picture"); });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (OpenReports().size() != 1) return;
        report = OpenReports()[0];
        closedBehindReport = true;
        dialog->reject();  // as Esc ends the show
    });
    poll.start(10);
    dialog->exec();
    poll.stop();
    EXPECT_TRUE(closedBehindReport) << "the modal loop ended only after the report was answered";
    ASSERT_FALSE(report.isNull());
    EXPECT_EQ(report->parentWidget(), dialog);
    delete dialog;
    EXPECT_TRUE(report.isNull());
}
