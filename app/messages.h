#pragma once
// Every text the program's own start and its run without a window write, in
// one place (the loader keeps its own, which it writes before any of this
// is loaded, next to it). They are the program's (English, for the operator's logs, as the
// client's and the toolkit's own texts are), in its single-byte text; the
// texts the window shows are in ui/ and posting/. Patterns are filled in by
// formatText (text/format.h).

#include <string_view>

namespace msg {

// No display for the window, and not the five arguments of the run without
// one. On Windows the desktop is there, but nobody sees it.
#ifdef _WIN32
inline constexpr std::string_view kNoWindowHere =
    "contardc: no visible desktop to show the window on; to post unattended give five "
    "arguments: server user password company S|N";
#else
inline constexpr std::string_view kNoWindowHere =
    "contardc: no display to show the window on; to post unattended give five arguments: "
    "server user password company S|N";
#endif

// The loader's own (app/window_loader.h), which it shows before the window
// and its texts exist: on Windows in a box, where paths are named in UTF-16.
#ifdef _WIN32
inline constexpr std::wstring_view kCannotLoadWindow = L"Cannot load the window from %s: %s.";
inline constexpr std::wstring_view kFolderUnknown =
    L"Cannot load the window: the program's own folder is unknown (%s), and the window module is loaded from "
    L"that folder only.";
inline constexpr std::wstring_view kProgramNamed = L"the system names the program \"%s\"";
#else
inline constexpr std::string_view kCannotLoadWindow = "contardc: cannot load the window from %s: %s";
inline constexpr std::string_view kFolderUnknown =
    "contardc: cannot load the window: the program's own folder is unknown (%s), and the window module is "
    "loaded from that folder only";
inline constexpr std::string_view kProgramNamed = "the system names the program \"%s\"";
#endif

// An error that escaped a handler without a text of its own.
inline constexpr std::string_view kUnknownError = "Unknown error";
// An error while the window itself is built: %s the exception's type, %s its text.
inline constexpr std::string_view kStartUpError = "Exception %s in module contardc at start-up.\n%s";
inline constexpr std::string_view kStartUpErrorCaption = "Application Error";

// A report that did not reach standard output: %s why, %s the run's outcome.
inline constexpr std::string_view kReportLost =
    "contardc: the report could not be written to standard output (%s); %s";
// The outcomes it names.
inline constexpr std::string_view kOutcomePosted = "the receipts were posted";
inline constexpr std::string_view kOutcomeNothingPosted = "nothing was posted";
inline constexpr std::string_view kOutcomeNoReceipts = "there were no receipts to post";
// The run log's outcome of a run that found nothing to post.
inline constexpr std::string_view kOutcomeNothingToPost = "nothing to post";
// An error after the posting's commit (rows the set cannot bind).
inline constexpr std::string_view kPostedBeforeError =
    "contardc: the receipts were posted before this error; their rows are not shown";

// The options after the five arguments (app/run_options.h).
// Words after the five arguments that the run does not know: %s the words,
// each in quotes. In the run log, after the outcome.
inline constexpr std::string_view kIgnoredWords =
    "contardc: warning: ignored after the five arguments: %s (see contardc --help)";
inline constexpr std::string_view kIgnoredWordsNote = " (ignored: %s)";
inline constexpr std::string_view kOptionWithoutValue = "contardc: %s needs a value; nothing was posted";
inline constexpr std::string_view kBadTimeout =
    "contardc: --timeout takes a whole number of seconds from 1 up, not \"%s\"; nothing was posted";
inline constexpr std::string_view kBadDate =
    "contardc: %s takes a date as YYYY-MM-DD, not \"%s\"; nothing was posted";
inline constexpr std::string_view kToWithoutFrom = "contardc: --to goes with --from; nothing was posted";
inline constexpr std::string_view kDateInFuture = "contardc: %s is in the future; nothing was posted";
inline constexpr std::string_view kRangeBackwards = "contardc: %s comes after %s; nothing was posted";
inline constexpr std::string_view kRangeTooLong =
    "contardc: %s to %s is more than 366 days; post a longer gap in parts; nothing was posted";
// Which days of a catch-up run were posted (app/run_end.h), in pieces.
inline constexpr std::string_view kDaysPosted = "posted: ";
inline constexpr std::string_view kDaysNotPosted = "; not posted: ";
inline constexpr std::string_view kDaysTo = " to ";
inline constexpr std::string_view kNoDay = "none";
// A catch-up run that stopped at an error, or whose report was lost.
inline constexpr std::string_view kCatchUpStopped = "contardc: %s";

// The line a stop request or the deadline writes (app/run_end.h), in pieces:
// the start, the signal's name or the deadline, then what had become of the
// posting, and for a catch-up run the days posted.
inline constexpr std::string_view kStoppedBy = "contardc: stopped by ";
inline constexpr std::string_view kTimedOut = "contardc: timed out after %s s";
inline constexpr std::string_view kStopAfterCommit = " after the posting was committed";
inline constexpr std::string_view kStopDuringPosting =
    " during the posting; the database rolls it back, unless its commit was already on its way";
inline constexpr std::string_view kStopDuringDay = " during the posting of ";
inline constexpr std::string_view kStopRollsBack =
    "; the database rolls it back, unless its commit was already on its way";
inline constexpr std::string_view kStopNothingPosted = "; nothing was posted";

// The run log (app/run_log.h) that cannot be written: "contardc: the run log
// PATH could not be written: WHY".
inline constexpr std::string_view kRunLog = "contardc: the run log";
inline constexpr std::string_view kRunLogCouldNotWrite = " could not be written: ";
inline constexpr std::string_view kRunLogIsALink = "it is a symbolic link, which the run log never follows";
inline constexpr std::string_view kRunLogNotAFile = "it is not a regular file";
inline constexpr std::string_view kRunLogShortWrite = "only %d of %d bytes were written";
inline constexpr std::string_view kOutOfMemory = "out of memory";

// The first line of a dry run's report, and what its log line begins with.
inline constexpr std::string_view kDryRun = "dry run: nothing was posted";

// The metrics file (app/metrics.h) that cannot be written: %s its path, %s why.
inline constexpr std::string_view kMetricsFailed = "contardc: the metrics file %s could not be written: %s";

// The run's entry in the Windows event log (app/event_log.h) that cannot be
// written: %s why. Like the run log's, it changes nothing else.
inline constexpr std::string_view kEventLogNotWritten =
    "contardc: the run's entry in the Windows event log could not be written: %s";

// The heading of each day of a catch-up run in the report.
inline constexpr std::string_view kDayHeading = "%s:";

// The password given as "-" (not on the command line).
inline constexpr std::string_view kPasswordPrompt = "Password: ";
inline constexpr std::string_view kNoPasswordOnInput =
    "contardc: the password is \"-\" and ISC_PASSWORD is not set, but standard input gave no line to take it "
    "from; nothing was posted";
inline constexpr std::string_view kPasswordLineEmpty =
    "contardc: the password is \"-\" and ISC_PASSWORD is not set, but the line read from standard input is "
    "empty; nothing was posted";
inline constexpr std::string_view kPasswordLineTooLong =
    "contardc: the password line read from standard input is longer than 4096 bytes; nothing was posted";

inline constexpr std::string_view kVersion = "contardc %s";
inline constexpr std::string_view kHelp =
    "Usage: contardc [SERVER USER PASSWORD COMPANY S|N [OPTIONS]]\n"
    "\n"
    "Without arguments, opens the window that posts the unposted cash receipts of\n"
    "one date. With five, posts today's receipts of the company unattended: in the\n"
    "window when there is a display, else writing to the console.\n"
    "\n"
    "  SERVER    the folder or host:folder holding datos/COMPANY/ledgara.fdb\n"
    "  USER      the database user\n"
    "  PASSWORD  its password; \"-\" keeps it off the command line: taken from\n"
    "            the systemd credential \"password\" when the service has one,\n"
    "            else from ISC_PASSWORD when set, else from the first line of\n"
    "            standard input (at most 4096 bytes); so a password that is\n"
    "            exactly \"-\" cannot be given on the command line\n"
    "  COMPANY   the company code (a folder under datos)\n"
    "  S|N       S posts through the IFRS (NIIF) procedure, anything else the plain one\n"
    "\n"
    "An empty argument (\"\") is dropped and the words after it move up one place,\n"
    "an option among them included.\n"
    "\n"
    "Options (after the five arguments; any other word there is ignored, with a\n"
    "warning on standard error):\n"
    "  --metrics FILE      write the run's figures to FILE for monitoring, in the\n"
    "                      Prometheus text format (a file for each company and\n"
    "                      ledger), replacing it whole\n"
    "  --log FILE          append one line for the run to FILE, a regular file\n"
    "                      (\"-\": no log); without it no file is written\n"
    "  --event-log         on Windows, an entry for the run in the Application event\n"
    "                      log, source contardc; elsewhere nothing is written\n"
    "  --timeout SECONDS   end the run at that deadline, counted from its start, as\n"
    "                      a stop request does: nothing committed, exit code 75\n"
    "  --from YYYY-MM-DD   post each day from that date to --to, oldest first,\n"
    "  --to YYYY-MM-DD     each on its own (default: today; at most 366 days);\n"
    "                      always without the window\n"
    "  --dry-run           post as usual and show the rows, then roll the postings\n"
    "                      back: nothing is posted. What the database does outside\n"
    "                      the transaction stays done (a sequence's next value, an\n"
    "                      autonomous transaction, an external table); always\n"
    "                      without the window\n"
    "  --help, --version   alone: print this or the version and exit\n"
    "\n"
    "Environment: CREDENTIALS_DIRECTORY and ISC_PASSWORD (with PASSWORD \"-\"),\n"
    "LEDGARA_FBCLIENT (the Firebird client library), LEDGARA_HKLM (off Windows:\n"
    "the registry export to read), CONTARDC_NO_WINDOW=1 (on Windows: never show\n"
    "the window; elsewhere QT_QPA_PLATFORM=offscreen does that).\n"
    "\n"
    "Exit codes without a window (what happened; what a scheduler should do):\n";

}  // namespace msg
