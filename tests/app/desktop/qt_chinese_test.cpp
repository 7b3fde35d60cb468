// SPDX-License-Identifier: GPL-3.0-or-later
// Qt's own texts come in Chinese whatever the user's locale: the folder
// browser the settings window opens, the message boxes, the text boxes'
// context menus.

#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

#include "app/QtTestApp.h"
#include "app/MessageBoxes.h"
#include "app/desktop/QtChinese.h"
#include "app/Tfrm_kalvio.h"

using namespace kalvio;

namespace {

QApplication& EnglishLocaleApp()
{
    static QApplication& app = [] () -> QApplication& {
        qputenv("LANG", "C.UTF-8");
        qunsetenv("LC_ALL");
        qunsetenv("LC_MESSAGES");
        qunsetenv("LANGUAGE");
        return test::TestApplication();
    }();
    return app;
}

TEST(QtChineseTest, FolderBrowserMessageBoxAndContextMenu)
{
    QApplication& app = EnglishLocaleApp();
    ASSERT_TRUE(InstallQtChinese(app));

    // The folder browser as the settings window's choose button opens it.
    SettingsServices services;
    services.acquireSingleCopy = [] { return true; };
    ShowState state;
    Tfrm_kalvio window(state, services);
    window.show();
    QString title;
    QStringList browserTexts;
    test::WhenModal<QFileDialog>([&](QFileDialog& browser) {
        title = browser.windowTitle();
        for (const char* name : { "lookInLabel", "fileNameLabel" })
            if (auto* label = browser.findChild<QLabel*>(name))
                browserTexts << label->text();
        if (auto* buttons = browser.findChild<QDialogButtonBox*>())
            for (QAbstractButton* button : buttons->buttons())
                browserTexts << button->text();
        browser.reject();
    });
    window.RzButton1->click();
    // The browser opens once its start folder answered.
    ASSERT_TRUE(test::WaitUntil([&] { return !window.Browsing(); }, test::kHangMs));
    EXPECT_EQ(title, QString::fromUtf8("查找目录"));
    EXPECT_EQ(browserTexts, QStringList({ QString::fromUtf8("查找范围："), QString::fromUtf8("目录："),
                                          QString::fromUtf8("选择(&C)"), QString::fromUtf8("取消") }));

    EXPECT_EQ(MakeWarningBox(&window, "x")->button(QMessageBox::Ok)->text(), QString::fromUtf8("确定"));

    std::unique_ptr<QMenu> menu(window.e_imagedir->createStandardContextMenu());
    QStringList items;
    for (const QAction* action : menu->actions())
        if (!action->isSeparator())
            items << action->text().section('\t', 0, 0);
    EXPECT_EQ(items, QStringList({ QString::fromUtf8("复制(&C)"), QString::fromUtf8("全选") }));
}

}
