#pragma once
// Whether the window can be shown to a person. Answered before any part of
// the window toolkit starts, since the toolkit ends the process outright when
// it cannot open the display it was pointed at.

// True when a screen a person can see is reachable. On Linux: the X display
// named by DISPLAY accepts a connection, or the Wayland socket named by
// WAYLAND_DISPLAY does, with the toolkit's plugin for it installed. An empty
// variable counts as unset; QT_QPA_PLATFORM naming offscreen or minimal is no
// display; naming xcb or wayland, only that one is tried. When true, and the
// toolkit was not told which platform to use, it is told the usable one.
// On Windows: the process's window station is the visible one (not that of a
// service or of a scheduled job run whether the user is logged on or not), and
// CONTARDC_NO_WINDOW is unset, empty or "0".
bool prepareDisplay();
