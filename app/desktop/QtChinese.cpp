// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/desktop/QtChinese.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace kalvio {

bool InstallQtChinese(QCoreApplication& app)
{
    auto* translator = new QTranslator(&app);
    if (!translator->load("qtbase_zh_CN", QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

}
