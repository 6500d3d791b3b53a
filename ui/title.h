#pragma once
// The application title: the program's name in the taskbar and the caption
// of every message window, the boxes the program shows before the window
// exists included. The program's text (Windows-1252).

#include <string_view>

namespace msg {

inline constexpr std::string_view kApplicationTitle = "Contabilizaci\xF3n ventas POS";

}  // namespace msg
