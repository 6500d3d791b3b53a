#pragma once
// The unattended run without a window, for a scheduled job on a machine with
// no display: the same steps as the window's unattended run (the installation
// directory and the server list read as at start-up, then connect, read the
// points of sale, post today's receipts), with its notices, rows and errors
// written to the console instead of shown in boxes. No part of the window
// toolkit is started.

#include "app/run_options.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

class Console;
struct CivilDate;

// arguments: the program's arguments 1.. ; the fifth is not empty.
// today: the clock, read once the connection step is done (as the window
// sets its date picker), so that a run started just before midnight posts
// the day it connected on, not the day it started on.
// Returns the exit code, which tells what became of the posting, so that a
// scheduler reads the outcome from it alone:
//   kExitPosted  the posting run's work is committed (the receipts posted, or
//                there were none to post), whether or not its report reached
//                standard output: a report that could not be written whole
//                (the reader went away, the disk is full) is said on standard
//                error where that can be written, and an error that comes
//                after the commit (rows the set cannot bind) is written there
//                too. A failure code would have a scheduler retry or alarm
//                over a posting that is done and must not be done again.
//   kExitFailed  an error stopped the run and nothing was posted; in a
//                catch-up run, not every day of the range was posted (the
//                closing line says which were).
// A stop request or the deadline ends the program with the same codes
// (app/run_end.h).
inline constexpr int kExitPosted = 0;
inline constexpr int kExitFailed = 1;
int runWithoutWindow(const std::vector<std::string>& arguments, const std::function<CivilDate()>& today,
                     Console& console);

// What a run came to, for the run log.
struct RunOutcome {
    int exitCode = kExitFailed;
    std::map<std::string, int> estados;  // rows posted, by ESTADO (blanks at the end trimmed)
    std::string error;                   // the first line of the error that stopped it
    // The error's first line, the rows by ESTADO ("3 CONTABILIZADO, 1 ERROR"),
    // or that there was nothing to post.
    std::string summary() const;
};

// The same with the options after the five arguments (app/run_options.h):
// with `from` set, the connection step once, then each day of the range
// posted on its own, oldest first, its rows under its date; the first day
// that fails ends the run (the days before it stay posted), which succeeds
// only when every day was posted.
RunOutcome runWithoutWindow(const std::vector<std::string>& arguments, const RunOptions& options,
                            const std::function<CivilDate()>& today, Console& console);
