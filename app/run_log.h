#pragma once
// The run log: one line for each run without a window, appended to a file in
// the user's state folder, so that whoever looks after the scheduled job can
// see when it ran, against what, and how it ended, without the scheduler's
// own records. Writing it never changes the run: a log that cannot be written
// is a reason to tell, not an error of the posting.

#include <cstdint>
#include <ctime>
#include <string>

// What one run leaves in the log. There is no field for the password, so it
// cannot reach the file.
struct RunRecord {
    std::time_t start;
    std::string server, company;
    bool niif;             // the NIIF procedure rather than the plain one
    std::string outcome;   // rows by ESTADO, "nothing to post", or the error's first line
    int exitCode;
    double seconds;
};

// Once the log has reached this size it is moved to "<path>.1", replacing
// the one before, and a new file is begun: the log keeps between one and two
// of these, never more.
inline constexpr std::uintmax_t kRunLogBound = 1048576;

// The record as the log's line, "\n" included: start (ISO 8601 in local time
// with its offset, "+00:00" rather than "Z"), server, company, "plain" or
// "NIIF", outcome, exit code, seconds with one decimal; separated by tabs. A
// tab, CR or LF inside a field becomes a blank, so a run is always one line.
// The texts are the program's bytes and are written as they are.
std::string runLogLine(const RunRecord& record);

// Where the log goes: $XDG_STATE_HOME/contardc/contardc.log, or
// $HOME/.local/state/contardc/contardc.log when XDG_STATE_HOME is unset,
// empty or not an absolute path; on Windows
// %LOCALAPPDATA%\contardc\contardc.log. "" when none of these is known.
std::string defaultRunLogPath();

// Appends the line (as runLogLine makes it) to the file at path, making its
// folder (and the folders above it, mode 0700 on Linux) when missing, and
// moving a file of kRunLogBound bytes or more to "<path>.1" first. The line is
// written with one write on a file opened for appending, so runs that log at
// the same time never mix parts of their lines (on Windows they also take
// turns on a lock of the file, which a share's appends may need). Only one of
// the runs that find the file full at the same time moves it. The path is the
// system's bytes on Linux, the program's (Windows-1252) on Windows. Returns
// "" when the line was written whole, otherwise one line saying why it was
// not (the reason in the program's text), beginning
// "contardc: the run log <path> could not be written: ". Never throws.
std::string appendRunLog(const std::string& path, const std::string& line);
