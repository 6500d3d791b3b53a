#pragma once
// The unattended run: started with the five arguments (and the options after
// them, app/run_options.h), in the window when there is a display, else on
// the console. Without a window it makes the same steps as the window's
// unattended run (the installation directory and the server list read as at
// start-up, then connect, read the points of sale, post today's receipts, or
// each day of a catch-up range), with its notices, rows and errors written to
// the console instead of shown in boxes; no part of the window toolkit is
// started.

#include "app/exit_codes.h"
#include "app/run_options.h"

#include <map>
#include <string>
#include <vector>

class Console;

// A run without a window ends with a code of app/exit_codes.h. The posting's
// work committed (the receipts posted, or there were none to post; in a
// catch-up run, every day's) is kExitPosted whether or not its report reached
// standard output: a report that could not be written whole (the reader went
// away, the disk is full) is said on standard error where that can be
// written, and an error that comes after the commit (rows the set cannot
// bind) is written there too. A failure code would have a scheduler retry or
// alarm over a posting that is done and must not be done again. A failure
// before the commit gives the code of its kind; a catch-up run that posted
// some days ends with the code of what stopped it, and its closing line says
// which days were posted. A stop request or the deadline ends the program
// with the same rules (app/run_end.h).

// What a run came to, for the run log.
struct RunOutcome {
    int exitCode = kExitFailed;
    std::map<std::string, int> estados;  // rows posted, by ESTADO (blanks at the end trimmed)
    std::string error;                   // the first line of the error that stopped it
    bool dryRun = false;                 // the postings were rolled back on purpose
    // The error's first line, the rows by ESTADO ("3 CONTABILIZADO, 1 ERROR"),
    // or that there was nothing to post; after "dry run: nothing was posted; "
    // for a dry run.
    std::string summary() const;
};

// The run without a window. arguments: the program's arguments 1.., the
// fifth not empty; with options.from set, the connection step once, then
// each day of the range posted on its own, oldest first, its rows under its
// date; the first day that fails ends the run (the days before it stay
// posted), which succeeds only when every day was posted.
RunOutcome runWithoutWindow(const std::vector<std::string>& arguments, const RunOptions& options, Console& console);

// The whole unattended run from the program's start: the options checked
// (refused before anything connects, in the error box too where there is a
// display), the deadline armed, the run log opened, the password taken from
// outside when it is "-", then the run in the window or on the console, and
// its line in the run log. Returns the exit code.
int runUnattended(int argc, char** argv, const std::vector<std::string>& arguments);
