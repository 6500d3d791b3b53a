#pragma once
// The unattended run without a window, for a scheduled job on a machine with
// no display: the same steps as the window's unattended run (the installation
// directory and the server list read as at start-up, then connect, read the
// points of sale, post today's receipts), with its notices, rows and errors
// written to the console instead of shown in boxes. No part of the window
// toolkit is started.

#include "posting/client_shutdown.h"

#include <functional>
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
//   kExitFailed  an error stopped the run and nothing was posted.
// A stop request ends the program with kStopExitCode before the commit and
// kPostedExitCode after it (posting/client_shutdown.h).
inline constexpr int kExitPosted = kPostedExitCode;
inline constexpr int kExitFailed = kStopExitCode;
int runWithoutWindow(const std::vector<std::string>& arguments, const std::function<CivilDate()>& today,
                     Console& console);
