// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>

namespace kalvio {

// The nearest Linux faces for the fonts the windows were drawn with, at a size
// in pixels: a sans face for "Tahoma" and "黑体", a Ming (serif) face for "宋体"
// and a Kai (brush) face for "隶书". Each falls back to the generic family.
QFont SansFont(int pixelSize);
QFont SerifFont(int pixelSize);
QFont KaiFont(int pixelSize);

}
