#pragma once

namespace kalvio {

// The product's home page, shown and opened by the links of the settings and
// about windows.
inline constexpr char HomePageAddress[] = "https://kalvio.app/";

}
