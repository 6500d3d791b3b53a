#pragma once
// The run log: one line for each run without a window that asks for it
// (--log FILE), so that whoever looks after the scheduled job can see when it
// ran, against what, and how it ended, without the scheduler's own records.
// Writing it never changes the run: a log that cannot be written is a reason
// to tell, not an error of the posting.
//
// The file is opened once, at the start of the run, and must be a regular
// file: a FIFO would hold the run (and its deadline) until somebody reads it,
// a device is no log, and a symbolic link in the log's place may be another
// user's, planted where the run's user can write what it names. The end of a
// run writes its line to the file opened then, whatever has happened to the
// name since (app/run_end.h).

#include <cstdint>
#include <ctime>
#include <string>

// What one run leaves in the log. There is no field for the password, so it
// cannot reach the file.
struct RunRecord {
    std::time_t start;
    std::string server, company;  // as the system gave them (the command line's bytes)
    bool niif;                    // the NIIF procedure rather than the plain one
    std::string outcome;          // the program's text: rows by ESTADO, "nothing to post", or the error's first line
    int exitCode;
    double seconds;
};

// Once the log has reached this size it is moved to "<path>.1", replacing
// the one before, and a new file is begun: the log keeps between one and two
// of these, never more.
inline constexpr std::uintmax_t kRunLogBound = 1048576;

// The fields before the outcome, each followed by a tab: start (ISO 8601 in
// local time with its offset, "+00:00" rather than "Z"), server, company,
// "plain" or "NIIF".
std::string runLogHead(std::time_t start, const std::string& server, const std::string& company, bool niif);
// The fields from the outcome on, "\n" included: outcome, exit code, seconds
// with one decimal.
std::string runLogTail(const std::string& outcome, int exitCode, double seconds);
// The record as the log's line: head and tail. A tab, CR or LF inside a field
// becomes a blank, so a run is always one line; the line is UTF-8 whole,
// whatever the encodings of the texts it was made of.
std::string runLogLine(const RunRecord& record);

#ifdef _WIN32
using LogFile = void*;  // a HANDLE
inline const LogFile kNoLogFile = reinterpret_cast<void*>(-1);
#else
using LogFile = int;
inline constexpr LogFile kNoLogFile = -1;
#endif

// The log of one run. The path is the system's bytes on Linux, the
// program's (Windows-1252) on Windows.
class RunLog {
public:
    // Opens the file for appending, without following a symbolic link in its
    // place and without waiting for a reader, making its folder (and the
    // folders above it, mode 0700 on Linux) when missing, and moving a file of
    // kRunLogBound bytes or more to "<path>.1" first. Only one of the runs
    // that find the file full at the same time moves it. Never throws.
    explicit RunLog(const std::string& path);
    ~RunLog();
    RunLog(const RunLog&) = delete;
    RunLog& operator=(const RunLog&) = delete;

    bool isOpen() const { return m_file != kNoLogFile; }
    // When it could not be opened: one line saying why (the reason in the
    // program's text), beginning "contardc: the run log <path> could not be
    // written: ".
    const std::string& failure() const { return m_failure; }
    LogFile file() const { return m_file; }

    // Appends the line with one write, so that runs that log at the same
    // time never mix parts of their lines (on Windows they also take turns on
    // a lock of the file, which a share's appends may need). Returns "" when
    // it was written whole, otherwise the line that says why not. Never throws.
    std::string append(const std::string& line);

private:
    std::string m_path;
    std::string m_failure;
    LogFile m_file = kNoLogFile;
};

// Opens the log at path and appends the line: what a run does, in one call.
std::string appendRunLog(const std::string& path, const std::string& line);
