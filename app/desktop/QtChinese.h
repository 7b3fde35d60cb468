// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QCoreApplication;

namespace kalvio {

// Loads Qt's own texts in Simplified Chinese (the folder browser, message box
// buttons, the text boxes' context menus) whatever the user's locale, since
// every other text of the program is Chinese. False when Qt's translation is
// not installed; Qt's texts then stay English.
bool InstallQtChinese(QCoreApplication& app);

}
