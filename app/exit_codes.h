#pragma once
// The exit codes of a run without a window: each says what a scheduler
// should do about the run (systemd's RestartPreventExitStatus=, Task
// Scheduler's "Last Run Result"). 75, 77 and 78 are sysexits.h's
// EX_TEMPFAIL, EX_NOPERM and EX_CONFIG. The window's own codes are the
// system's: 0 once the window has closed, 1 when it could not start.

#include "text/error.h"

#include <string_view>

inline constexpr int kExitPosted = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitTemporary = 75;
inline constexpr int kExitLoginRefused = 77;
inline constexpr int kExitConfiguration = 78;

struct ExitCodeMeaning {
    int code;
    std::string_view meaning;  // what happened
    std::string_view then;     // what a scheduler should do
};

// The table --help, the README, LEEME and the manual page give.
inline constexpr ExitCodeMeaning kExitCodes[] = {
    {kExitPosted, "posted, or nothing to post (also when the report could not be written: one line says so)",
     "nothing"},
    {kExitUsage, "usage: an option, a date or a company code it cannot take; nothing connected", "not retry"},
    {kExitTemporary,
     "temporary: the server could not be reached or dropped the connection, a lock or the deadline ended the run, "
     "a stop request",
     "retry later"},
    {kExitLoginRefused, "the server refused the user name or password", "not retry"},
    {kExitConfiguration,
     "configuration: installation folder, server list, client library, password source, or a company database "
     "missing or not this ERP's",
     "not retry"},
    {kExitFailed, "any other failure (the posting procedure's own error, ...)", "alert"},
};

// The code of a run that a failure of this kind stopped before anything was posted.
constexpr int exitCodeFor(ErrorKind kind)
{
    switch (kind) {
    case ErrorKind::Usage: return kExitUsage;
    case ErrorKind::Configuration: return kExitConfiguration;
    case ErrorKind::LoginRefused: return kExitLoginRefused;
    case ErrorKind::Unreachable:
    case ErrorKind::Busy:
    case ErrorKind::Stopped: return kExitTemporary;
    case ErrorKind::Procedure:
    case ErrorKind::Other: return kExitFailed;
    }
    return kExitFailed;
}
