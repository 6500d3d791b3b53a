#pragma once
// The unattended run without a window, for a scheduled job on a machine with
// no display: the same steps as the window's unattended run (the installation
// directory and the server list read as at start-up, then connect, read the
// points of sale, post today's receipts), with its notices, rows and errors
// written to the console instead of shown in boxes. No part of the window
// toolkit is started.

#include <functional>
#include <string>
#include <vector>

class Console;
struct CivilDate;

// arguments: the program's arguments 1.. ; the fifth is not empty.
// today: the clock, read once the connection step is done (as the window
// sets its date picker), so that a run started just before midnight posts
// the day it connected on, not the day it started on.
// Returns the exit code: 0 after a posting run, 1 when an error stopped it.
int runWithoutWindow(const std::vector<std::string>& arguments, const std::function<CivilDate()>& today,
                     Console& console);
