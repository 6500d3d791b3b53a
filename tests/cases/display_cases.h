#pragma once
// Cases for the decision whether the Windows program can show its window,
// over what Windows tells of the session. Plain C++ (no Qt), so that the
// console test program for Windows runs the same table.

#include "app/display.h"

#include <optional>
#include <vector>

namespace cases {

// WTS_CONNECTSTATE_CLASS values besides WTSDisconnected (kSessionDisconnected).
inline constexpr int kSessionActive = 0;    // WTSActive
inline constexpr int kSessionConnected = 1; // WTSConnected

struct SessionCase {
    const char* name;
    WindowsSessionFacts facts;
    bool window;
};

inline const std::vector<SessionCase> kSessionCases = {
    {"a desktop start", {false, true, 1ul, kSessionActive}, true},
    {"a Remote Desktop session in use", {false, true, 3ul, kSessionActive}, true},
    {"nothing known: every call failed", {false, std::nullopt, std::nullopt, std::nullopt}, true},
    {"station not known, the rest a desktop start", {false, std::nullopt, 1ul, kSessionActive}, true},
    {"session not known, the station visible", {false, true, std::nullopt, kSessionActive}, true},
    {"connection state not known, as Wine gives it", {false, true, 1ul, std::nullopt}, true},
    {"a session that is connected but not in use is no reason", {false, true, 2ul, kSessionConnected}, true},
    {"refused by CONTARDC_NO_WINDOW", {true, true, 1ul, kSessionActive}, false},
    {"refused by CONTARDC_NO_WINDOW, nothing else known", {true, std::nullopt, std::nullopt, std::nullopt}, false},
    {"a station no screen shows: a service or a job run logged off", {false, false, 1ul, kSessionActive}, false},
    {"a station no screen shows, nothing else known", {false, false, std::nullopt, std::nullopt}, false},
    {"session 0, with a visible station: an interactive service", {false, true, 0ul, kSessionActive}, false},
    {"session 0, nothing else known", {false, std::nullopt, 0ul, std::nullopt}, false},
    {"a disconnected Remote Desktop session", {false, true, 2ul, kSessionDisconnected}, false},
    {"disconnected, nothing else known", {false, std::nullopt, std::nullopt, kSessionDisconnected}, false},
};

} // namespace cases
