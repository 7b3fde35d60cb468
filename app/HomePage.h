// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QUrl>

namespace kalvio {

// The product's home page, opened by the links of the settings and about
// windows.
inline constexpr char HomePageAddress[] = "https://kalvio.app/";

// What the links show: the address without scheme and path, so that it fits
// the links' narrow places.
inline QString HomePageCaption()
{
    return QUrl(QString::fromUtf8(HomePageAddress)).host();
}

}
