// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>

namespace kalvio {

// The program's icon, drawn like app/kalvio.svg: a framed picture of a hill
// under a sun, with a play mark.
QIcon KalvioIcon();

}
