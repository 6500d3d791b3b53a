#include "app/unattended.h"

#include "app/console.h"
#include "app/display.h"
#include "app/event_log.h"
#include "app/messages.h"
#include "app/metrics.h"
#include "app/password.h"
#include "app/run_end.h"
#include "app/run_log.h"
#include "app/window_loader.h"
#include "config/install_dir.h"
#include "config/registry.h"
#include "config/server_list.h"
#include "posting/messages.h"
#include "posting/receipt_posting.h"
#include "text/ansi_text.h"
#include "text/error.h"
#include "text/error_text.h"
#include "text/format.h"

#ifdef _WIN32
#include "config/windows_api.h"
#endif

#include <algorithm>
#include <ctime>
#include <exception>
#include <map>
#include <memory>
#include <optional>

namespace {

std::string argument(const std::vector<std::string>& arguments, std::size_t n)
{
    return n >= 1 && n <= arguments.size() ? arguments[n - 1] : std::string();
}

// What the window reads while it is built: the installation directory and
// the server list from it. The list itself offers nothing to a run that names
// its server, but its notices and errors are part of what the run reports,
// and a failure here does not stop the run, as it does not stop the window.
void readSettings(Console& console)
{
    try {
        const std::unique_ptr<Registry> registry = systemRegistry();
        const std::string directory =
            lookupInstallDir(*registry, [&console](const std::string& text) { console.information(text); });
        readServerList(serverListPath(directory));
    } catch (const std::exception& e) {
        console.error(errorBoxText(e.what()));
    }
}

// A report that did not reach standard output is said on standard error,
// with what the run did.
void sayReportLost(Console& console, std::string_view outcome)
{
    if (console.reportLost())
        console.warning(formatText(msg::kReportLost, {console.reportLostReason(), outcome}));
}

// The console's part in the steps: the report of each day, under the day's
// heading in a catch-up run; and the rows counted by ESTADO for the run log.
class ConsoleFront final : public PostingFront {
public:
    ConsoleFront(Console& console, std::map<std::string, int>& estados, bool headed)
        : m_console(console), m_estados(estados), m_headed(headed)
    {
    }
    void dayBegun(const CivilDate& day) override { m_day = day; }
    void posted(const ClientDataSet& rows) override
    {
        heading();
        m_console.rows(rows);
        if (const Field* estado = rows.findField("ESTADO")) {
            for (std::size_t r = 0; r < rows.recordCount(); ++r) {
                std::string text = rows.displayText(r, *estado);
                text.erase(text.find_last_not_of(' ') + 1);
                ++m_estados[text];
            }
        }
    }
    void nothingToPost() override
    {
        heading();
        m_console.information(msg::kNoReceipts);
    }

private:
    void heading()
    {
        if (m_headed)
            m_console.information(formatText(msg::kDayHeading, {isoText(m_day)}));
    }

    Console& m_console;
    std::map<std::string, int>& m_estados;
    bool m_headed;  // a catch-up run: each day under its date
    CivilDate m_day;
};

#ifdef _WIN32
void setEnvironment(const char* name, const std::string& value)
{
    SetEnvironmentVariableW(ansiToWide(name).c_str(), ansiToWide(value).c_str());
}
#else
void setEnvironment(const char* name, const std::string& value) { ::setenv(name, value.c_str(), 1); }
#endif

// The end of a run with five arguments that came to its end by itself: its
// line in the run log it asked for, and its exit code.
class UnattendedRun {
public:
    UnattendedRun(const std::vector<std::string>& arguments, const ParsedRunOptions& parsed)
        : m_start(std::time(nullptr)), m_arguments(arguments)
    {
        if (!parsed.ignored.empty()) {
            const std::string words = ignoredWordsText(parsed.ignored);
            m_console.warning(formatText(msg::kIgnoredWords, {words}));
            m_note = formatText(msg::kIgnoredWordsNote, {words});
        }
    }

    // Opens the run log, for a run without a window that asks for one, before
    // anything that a stop or the deadline could interrupt needs it.
    void openLog(const std::string& path)
    {
        m_log = std::make_unique<RunLog>(path);
        if (!m_log->isOpen()) {
            m_console.warning(m_log->failure());
            m_log.reset();
            return;
        }
        prepareEndLog(m_log->file(), head(), ansiToUtf8(m_note));
    }

    // Registers the run's event source, for a run that asks for its entry.
    void openEventLog()
    {
        const std::string subject = eventSubject(m_arguments[0], m_arguments[3], m_arguments[4] == "S");
        if (const std::string failure = ::openEventLog(subject); !failure.empty()) {
            m_console.warning(failure);
            return;
        }
        m_eventLog = true;
        prepareEndEventLog();
    }

    // Reads the earlier metrics file, for a run that writes one.
    void openMetrics(const std::string& path, bool dryRun)
    {
        m_metrics = path;
        m_dryRun = dryRun;
        prepareEndMetrics(path, m_arguments[3], m_arguments[4] == "S", dryRun);
        prepareEndMetricsFile();
    }

    Console& console() { return m_console; }

    int end(const std::string& outcome, int exitCode, const std::map<std::string, int>& receipts = {})
    {
        claimOwnEnd(exitCode);
        if (m_metrics) {
            MetricsRecord record{m_arguments[3], m_arguments[4] == "S", static_cast<long long>(std::time(nullptr)),
                                 secondsSinceStart(), exitCode, m_dryRun, receipts};
            const std::string text = metricsText(record, exitCode == 0 ? record.endedAt : preparedLastSuccess());
            if (const std::string failure = writeMetrics(*m_metrics, text); !failure.empty())
                m_console.warning(failure);
        }
        if (m_log) {
            const std::string failure = m_log->append(head() + runLogTail(outcome + m_note, exitCode, secondsSinceStart()));
            if (!failure.empty())
                m_console.warning(failure);
        }
        if (m_eventLog) {
            if (const std::string failure = reportRunEvent(exitCode, m_console.reportLost(), outcome + m_note);
                !failure.empty())
                m_console.warning(failure);
        }
        return exitCode;
    }

private:
    std::string head() const
    {
        return runLogHead(m_start, m_arguments[0], m_arguments[3], m_arguments[4] == "S");
    }

    std::time_t m_start;
    const std::vector<std::string>& m_arguments;
    Console m_console;
    std::string m_note;
    std::unique_ptr<RunLog> m_log;
    bool m_eventLog = false;
    std::optional<std::string> m_metrics;
    bool m_dryRun = false;
};

// The password given as "-": from ISC_PASSWORD, where a line read from
// standard input goes too. An empty string when it is there; otherwise the
// line that says why not.
std::string takePasswordFromOutside()
{
    const PasswordSource source = passwordFromOutside(stdin, stderr);
    switch (source.found) {
    case PasswordFound::InEnvironment:
        return {};
    case PasswordFound::Read:
        setEnvironment("ISC_PASSWORD", source.password);
        return {};
    case PasswordFound::NoLine:
        return std::string(msg::kNoPasswordOnInput);
    case PasswordFound::EmptyLine:
        return std::string(msg::kPasswordLineEmpty);
    case PasswordFound::TooLong:
        return std::string(msg::kPasswordLineTooLong);
    }
    return {};
}

} // namespace

RunOutcome runWithoutWindow(const std::vector<std::string>& arguments, const RunOptions& options, Console& console)
{
    RunOutcome outcome;
    outcome.dryRun = options.dryRun;
    if (options.dryRun)
        console.information(msg::kDryRun);
    readSettings(console);
    ReceiptPosting posting;
    PostingRequest request;
    request.connection.server = argument(arguments, 1);
    request.connection.user = argument(arguments, 2);
    request.connection.password = argument(arguments, 3);
    request.connection.company = argument(arguments, 4);
    request.connection.passwordFromEnvironment = request.connection.password == "-";
    request.niif = argument(arguments, 5) == "S";
    // A receipt that another user holds is refused by the server a little
    // before the deadline, so that the run ends with the server's own error,
    // its work rolled back by the client, before the deadline has to end it.
    if (options.timeoutSeconds)
        request.lockTimeoutSeconds = std::max(1, *options.timeoutSeconds - std::max(1, *options.timeoutSeconds / 20));
    request.dryRun = options.dryRun;
    const bool catchUp = options.from.has_value();
    if (catchUp) {
        request.days = daysFromTo(*options.from, *options.to);
        prepareCatchUp(request.days);
    }
    ConsoleFront front(console, outcome.estados, catchUp);
    try {
        posting.run(request, front);
    } catch (const std::exception& e) {
        const auto* failure = dynamic_cast<const ProgramError*>(&e);
        const int stoppedBy = exitCodeFor(failure ? failure->kind() : ErrorKind::Other);
        console.error(errorBoxText(e.what()));
        // A result the set cannot bind fails only after the procedure's work
        // was committed: posted, but without its rows to report.
        const bool committed = posting.committed();
        if (committed && !console.reportLost())
            console.error(msg::kPostedBeforeError);
        const std::string text = e.what();
        outcome.error = text.substr(0, text.find('\n'));
        if (catchUp) {
            // The days before this one stay posted; the line says which.
            const std::string days = catchUpDaysText();
            if (console.reportLost())
                sayReportLost(console, days);
            else
                console.error(formatText(msg::kCatchUpStopped, {days}));
            outcome.error += "; " + days;
            outcome.exitCode = catchUpDone() ? kExitPosted : stoppedBy;
        } else {
            sayReportLost(console, committed ? msg::kOutcomePosted : msg::kOutcomeNothingPosted);
            outcome.exitCode = committed ? kExitPosted : stoppedBy;
        }
        return outcome;
    }
    if (options.dryRun)
        sayReportLost(console, msg::kDryRun);
    else if (catchUp)
        sayReportLost(console, catchUpDaysText());
    else
        sayReportLost(console, outcome.estados.empty() ? msg::kOutcomeNoReceipts : msg::kOutcomePosted);
    outcome.exitCode = kExitPosted;
    return outcome;
}

std::string RunOutcome::summary() const
{
    std::string text = dryRun ? std::string(msg::kDryRun) + "; " : std::string();
    if (!error.empty())
        return text + error;
    if (estados.empty())
        return text + std::string(msg::kOutcomeNothingToPost);
    std::string rows;
    for (const auto& [estado, count] : estados)
        rows += (rows.empty() ? "" : ", ") + std::to_string(count) + " " + estado;
    return text + rows;
}

int runUnattended(int argc, char** argv, const std::vector<std::string>& arguments)
{
    // The password is in this process's memory from here on.
    keepSecretsInProcess();
    const ParsedRunOptions parsed = parseRunOptions(arguments, today());
    if (!parsed.error.empty()) {
        // Refused before anything connects; where a person may be watching,
        // in the error box too, since nobody reads a shortcut's standard error.
        useStartingConsole();
        Console().error(parsed.error);
        if (prepareDisplay())
            showErrorInWindow(errorBoxText(parsed.error));
        return kExitUsage;
    }
    const RunOptions& options = parsed.options;
    if (options.timeoutSeconds)
        endAtDeadline(*options.timeoutSeconds);
    // A catch-up run and a dry run are the console's: the window posts one date.
    const bool window = !options.from && !options.dryRun && prepareDisplay();
    if (!window)
        useStartingConsole();
    UnattendedRun run(arguments, parsed);
    if (!window && options.logFile)
        run.openLog(*options.logFile);
    if (!window && options.eventLog)
        run.openEventLog();
    if (!window && options.metricsFile)
        run.openMetrics(*options.metricsFile, options.dryRun);
    if (arguments[2] == "-") {
        if (const std::string refusal = takePasswordFromOutside(); !refusal.empty()) {
            useStartingConsole();
            run.console().error(refusal);
            return run.end(refusal.substr(refusal.find(' ') + 1), kExitConfiguration);
        }
    }
    if (window) {
        noteWindowRun();
        const int exitCode = runWindow(argc, argv);
        claimOwnEnd(exitCode);
        return exitCode;
    }
    const RunOutcome outcome = runWithoutWindow(arguments, options, run.console());
    return run.end(outcome.summary(), outcome.exitCode, outcome.estados);
}
