#pragma once
// Whether the window can be shown to a person. Answered before any part of
// the window toolkit starts, since the toolkit ends the process outright when
// it cannot open the display it was pointed at.

#include <optional>

// True when a screen a person can see is reachable. On Linux: the X display
// named by DISPLAY accepts a connection, or the Wayland socket named by
// WAYLAND_DISPLAY does, with the toolkit's plugin for it installed. An empty
// variable counts as unset; QT_QPA_PLATFORM naming offscreen or minimal is no
// display; naming xcb or wayland, only that one is tried. When true, and the
// toolkit was not told which platform to use, it is told the usable one.
// On Windows: windowsWindowUsable() over what windowsSessionFacts() finds.
bool prepareDisplay();

// What Windows tells of the place the process runs in. Each call that gives a
// fact may fail; the fact is then not known (nullopt).
struct WindowsSessionFacts {
    // CONTARDC_NO_WINDOW is set, and neither empty nor "0".
    bool refusedByVariable = false;
    // The process's window station is the visible one (WSF_VISIBLE). A
    // process with no window station at all has none that is.
    std::optional<bool> stationVisible;
    // The process's Remote Desktop Services session (ProcessIdToSessionId).
    std::optional<unsigned long> sessionId;
    // The session's WTS_CONNECTSTATE_CLASS (WTSQuerySessionInformation).
    std::optional<int> connectState;
};

// WTSDisconnected: a Remote Desktop session whose user has gone, left running.
inline constexpr int kSessionDisconnected = 4;

// Whether a window there can be seen and answered. Not when the variable
// refuses it; nor in a window station that no screen shows (a service's, a
// job Task Scheduler runs whether the user is logged on or not); nor in
// session 0, where services and the tools they start run; nor in a session
// that is disconnected, whose boxes nobody would click until someone logs
// back on. A fact that is not known refuses nothing: an ordinary start, that
// a failed call cannot tell apart, expects the window.
bool windowsWindowUsable(const WindowsSessionFacts& facts);

#ifdef _WIN32
// The facts of this process, from the calls named above.
WindowsSessionFacts windowsSessionFacts();
#endif
