#pragma once
// How a run ends, and who decides it.
//
// A run comes to its end by itself (its report written, its exit code
// known), or something ends it from outside: a stop request (SIGINT,
// SIGTERM, SIGHUP: Ctrl-C, kill, a service manager, a terminal closed under
// it) or the --timeout deadline. Whichever comes first owns the end and
// decides the exit code; what comes after it changes nothing. A stop or the
// deadline ends the program at once with one line on standard error that
// says what had been posted, and the same in the run log of a run that keeps
// one. It writes only what was prepared beforehand, allocates nothing, takes
// no lock and touches no object of the program's, so that it is safe at any
// instant, also while main() is being left; and what it writes cannot hold
// it: the process ends a second later whatever the readers of its output do.
//
// Ending at once leaves nothing half-posted (posting/posting_state.h).
//
// Once connected, the Firebird client library installs its own handlers for
// the stop signals; on a stop it shuts every connection down but leaves the
// process running, with the window open or an embedded posting finishing as
// if nothing had been asked. A handler that is in place before the first
// connection is kept by the library and called after its own, so the program
// ends either way.
//
// A reader that goes away (SIGPIPE: `contardc ... | head`) does not end the
// program: the write that finds it gone fails, and the run says so
// (app/console.h).

#include "app/run_log.h"
#include "posting/civil_date.h"

#include <string>
#include <vector>

// Descriptors 0-2 that are closed when the program starts (as some
// schedulers start their jobs) are opened on /dev/null, so that the first
// file the program opens, the database connection's socket among them, does
// not take the place of its standard output or error. Call it first thing.
// Nothing on Windows, where a missing standard handle only means that
// nothing is written there.
void openClosedStandardStreams();

// Installs the stop handlers (SIGINT, SIGTERM, SIGHUP) and ignores SIGPIPE.
// Call it before anything connects.
void endOnStopRequest();

// Ends the run `seconds` from now, as a stop request does, whatever it is
// waiting for then (a password that does not come, a receipt a user's
// transaction holds, a server that stopped answering). Call it before
// anything that can wait.
void endAtDeadline(int seconds);

// Seconds since the program started (the first of the calls above).
double secondsSinceStart();

// What a stop or the deadline writes to the run log: the file the run opened
// (app/run_log.h), the head of its line (runLogHead) and what to add to the
// outcome (the words the run ignored: "" for none), both UTF-8.
void prepareEndLog(LogFile file, const std::string& head, const std::string& outcomeNote);

// What a stop or the deadline adds: the run's entry in the Windows event log
// (app/event_log.h), opened beforehand; the metrics file (app/metrics.h),
// prepared beforehand.
void prepareEndEventLog();
void prepareEndMetricsFile();

// A catch-up run: the days it posts, oldest first (at most kMaxCatchUpDays).
// Each posting that comes back committed from here on is the next day's.
inline constexpr int kMaxCatchUpDays = 366;
void prepareCatchUp(const std::vector<CivilDate>& days);
// How many of them are posted, and the words that say which:
// "posted: 2026-12-01 to 2026-12-04; not posted: 2026-12-05 to 2026-12-10",
// "posted: 2026-12-01 to 2026-12-10", "posted: none; not posted: ...".
int catchUpDaysPosted();
bool catchUpDone();
std::string catchUpDaysText();

#ifndef _WIN32
// The terminal whose echo the password prompt has turned off, and its
// settings before: whatever ends the program restores them.
struct termios;
void noteQuietTerminal(int fd, const termios& saved);
void noteTerminalRestored();
#endif

// The run is the window's: a stop request ends it with the window's own codes
// (0 after a posting came back committed, else 1), not those of a run without
// a window (app/exit_codes.h).
void noteWindowRun();

// The run has come to its end by itself, with this exit code. Returns when
// the end is the run's own: a stop or the deadline that comes later changes
// nothing, and only hurries a process that is slow to end. When a stop or the
// deadline came first, it owns the end and ends the process: this never
// returns.
void claimOwnEnd(int exitCode);

// What ends a run from outside.
enum class EndCause { Interrupt, Terminate, HangUp, Deadline };

// Ends the run now for the cause, as the stop handler and the deadline do,
// unless its end is owned already. Async-signal-safe.
void endNow(EndCause cause);

// The line that an end by the cause writes, given what has been noted: at
// most `size` - 1 bytes and a terminating NUL into `buffer`; returns its
// length. And the exit code it ends with. Async-signal-safe.
int endLine(EndCause cause, char* buffer, int size);
int endExitCode();
