// SPDX-License-Identifier: GPL-3.0-or-later
#include "slideshow/Fonts.h"

#include <QStringList>

namespace kalvio {

namespace {
QFont MakeFont(const QStringList& families, QFont::StyleHint hint, int pixelSize)
{
    QFont font;
    font.setFamilies(families);
    font.setStyleHint(hint);
    font.setPixelSize(pixelSize);
    return font;
}
}

QFont SansFont(int pixelSize)
{
    return MakeFont({ "WenQuanYi Micro Hei", "Noto Sans CJK SC", "DejaVu Sans", "Sans Serif" },
                    QFont::SansSerif, pixelSize);
}

QFont SerifFont(int pixelSize)
{
    return MakeFont({ "AR PL UMing CN", "Noto Serif CJK SC", "WenQuanYi Micro Hei", "Serif" },
                    QFont::Serif, pixelSize);
}

QFont KaiFont(int pixelSize)
{
    return MakeFont({ "AR PL UKai CN", "AR PL UMing CN", "WenQuanYi Micro Hei", "Serif" },
                    QFont::Serif, pixelSize);
}

}
