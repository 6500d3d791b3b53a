#pragma once
// What an operator may add after the five arguments of the unattended run,
// each opt-in, and the two requests that stand alone (--help, --version).
//
//   --log FILE        the run log's place; "-" turns it off (app/run_log.h)
//   --metrics FILE    the run's figures for monitoring (app/metrics.h)
//   --event-log       the run's entry in the Windows event log (app/event_log.h)
//   --timeout SECONDS ends the run at that deadline as a stop request does
//   --from YYYY-MM-DD posts each day from that one to --to (default today),
//   --to YYYY-MM-DD   oldest first, each committed on its own
//   --dry-run         posts and shows the rows, then rolls the posting back
//
// Any other word after the fifth is ignored, as words after the fifth always
// were; the run names it in a warning, so that a misspelt option is seen.

#include "posting/civil_date.h"

#include <optional>
#include <string>
#include <vector>

struct RunOptions {
    std::optional<std::string> logFile;   // as given; "-" is off
    std::optional<std::string> metricsFile;
    bool eventLog = false;
    bool dryRun = false;
    std::optional<int> timeoutSeconds;
    std::optional<CivilDate> from;
    std::optional<CivilDate> to;
};

// The options, or the one line that says what is wrong with them; and the
// words it ignored, as given.
struct ParsedRunOptions {
    RunOptions options;
    std::string error;
    std::vector<std::string> ignored;
};

// arguments: the program's arguments 1.. (the five first among them); today:
// the date a range ends on by default and may not pass.
ParsedRunOptions parseRunOptions(const std::vector<std::string>& arguments, const CivilDate& today);

// The ignored words as the program's text, each in double quotes, separated
// by commas.
std::string ignoredWordsText(const std::vector<std::string>& words);

// The days of a catch-up range, oldest first.
std::vector<CivilDate> daysFromTo(const CivilDate& from, const CivilDate& to);

// What the program's only argument asks for, when it is one of these.
enum class StandAlone { None, Help, Version };
StandAlone standAloneRequest(const std::vector<std::string>& arguments);

// The texts they print.
std::string helpText();
std::string versionText();
