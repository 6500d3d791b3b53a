#pragma once
// The output of a run without a window: notices and the posted rows go to
// standard output, errors to standard error. The program's text is in the
// ERP's single-byte code page; here it is written in the encoding of the
// user's locale, so that a terminal or a log shows it as it reads.

#include <cstdio>
#include <string>
#include <string_view>

class ClientDataSet;

// On Windows the program is a windowed one, which Windows starts without a
// console: standard output and error that the starter did not redirect are
// joined to the console of the process that started it, when it has one. A
// line written to a console goes there as Unicode; to a file or a pipe, as
// the program's own bytes (Windows-1252). Elsewhere the streams are the
// process's own, and nothing is done.
void useStartingConsole();

// Whether the descriptor is the journal's stream: JOURNAL_STREAM names its
// device and inode ("DEV:INO"), as systemd sets it for a service whose
// output it takes. Never a terminal or a file, whatever the variable says.
bool isJournalStream(int fd);

// Every write is checked. The notices and rows are the run's report: when
// one cannot be written (the reader went away, the disk is full) the run goes
// on, and at its end says so on standard error (see reportLost()). A stream
// that is the journal gets each line with the journal's priority prefix
// ("<6>" information, "<4>" a warning, "<3>" an error), so that
// `journalctl -p err` finds the runs that failed.
class Console {
public:
    Console(std::FILE* out = stdout, std::FILE* err = stderr);

    void information(std::string_view text);
    // Something the run goes on after, on standard error.
    void warning(std::string_view text);
    // A failure, already worded for the user (the full stop added).
    void error(std::string_view text);
    // The rows of the result set as a table of the grid's three columns,
    // PREF, NUMERO and ESTADO, each as wide as its field; nothing when empty.
    void rows(const ClientDataSet& rows);

    // True once a notice or a row could not be written whole.
    bool reportLost() const { return m_outError != 0; }
    // Why, in the program's text (the system's own words for the first failure).
    std::string reportLostReason() const;

private:
    // False when the line did not reach the stream. prefix: the journal's
    // priority, or "" when the stream is not the journal.
    bool line(std::FILE* stream, std::string_view text, std::string_view prefix = {});
    // Flushes the report's stream and notes a failure of it or of an earlier write.
    void endReport(bool written);

    std::FILE* m_out;
    std::FILE* m_err;
    bool m_outJournal = false;
    bool m_errJournal = false;
    int m_outError = 0;  // errno of the report's first failed write
};
