// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace kalvio {

// The program's name as the desktop shows it.
inline constexpr char ProgramName[] = "Kalvio";
// The name of its desktop entry (app/kalvio.desktop) without the extension.
inline constexpr char DesktopEntryId[] = "kalvio";

}
