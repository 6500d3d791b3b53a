#pragma once
// The one exception of the program: a failure whose text is already worded
// for the user, who sees it in the error message (or on standard error), and
// its kind, which tells a caller what to do about it (try again later, have
// somebody mend the settings, ...) without reading the text. When the
// failure is the database's, what the database said comes with it.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

enum class ErrorKind {
    Usage,          // what was asked cannot be taken: a company code that leaves its folder, a login too long
    Configuration,  // the installation folder, the server list, the client library, or a company database that
                    // is missing or not the ERP's (its procedure or a column missing)
    LoginRefused,   // the server refused the user name or the password
    Unreachable,    // the server could not be reached, or the connection to it was lost
    Busy,           // a lock (a receipt a user's transaction holds) or the deadline ended the work
    Stopped,        // a stop request
    Procedure,      // the posting procedure's own error
    Other,          // anything else
};

// What the database reported with its failure: the driver's code (as the
// driver's texts show it, "[0x0015]"), the SQLCODE, every GDS code of the
// status in order, and every line the client library interprets from it.
struct DatabaseReport {
    int driverCode = 0;
    std::int32_t sqlCode = 0;
    std::vector<std::int64_t> gdsCodes;
    std::vector<std::string> serverLines;
};

class ProgramError : public std::runtime_error {
public:
    explicit ProgramError(const std::string& text, ErrorKind kind = ErrorKind::Other, DatabaseReport report = {})
        : std::runtime_error(text), m_kind(kind), m_report(std::move(report))
    {
    }
    ErrorKind kind() const { return m_kind; }
    const DatabaseReport& database() const { return m_report; }

private:
    ErrorKind m_kind;
    DatabaseReport m_report;
};
