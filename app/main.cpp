// The program: with a display, the window; without one, and with the five
// arguments of the unattended run, the same run written to the console. The
// window is a module of its own, loaded only here (app/window_loader.h).

#include "app/console.h"
#include "app/display.h"
#include "app/messages.h"
#include "app/password.h"
#include "app/run_end.h"
#include "app/run_log.h"
#include "app/run_options.h"
#include "app/unattended.h"
#include "app/window_loader.h"
#include "config/command_line.h"
#include "posting/civil_date.h"
#include "text/ansi_text.h"
#include "text/client_text.h"
#include "text/error_text.h"
#include "text/format.h"

#ifdef _WIN32
#include "config/windows_api.h"
#endif

#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace {

#ifdef _WIN32
void setEnvironment(const char* name, const std::string& value)
{
    SetEnvironmentVariableW(ansiToWide(name).c_str(), ansiToWide(value).c_str());
}
#else
void setEnvironment(const char* name, const std::string& value) { ::setenv(name, value.c_str(), 1); }
#endif

void useConsole()
{
#ifdef _WIN32
    useStartingConsole();
#endif
}

// The end of a run with five arguments that came to its end by itself: its
// line in the run log it asked for, and its exit code.
class UnattendedRun {
public:
    UnattendedRun(const std::vector<std::string>& arguments, const ParsedRunOptions& parsed)
        : m_start(std::time(nullptr)), m_arguments(arguments)
    {
        if (!parsed.ignored.empty()) {
            const std::string words = ignoredWordsText(parsed.ignored);
            m_console.error(formatText(msg::kIgnoredWords, {words}));
            m_note = formatText(msg::kIgnoredWordsNote, {words});
        }
    }

    // Opens the run log, for a run without a window that asks for one, before
    // anything that a stop or the deadline could interrupt needs it.
    void openLog(const std::string& path)
    {
        m_log = std::make_unique<RunLog>(path);
        if (!m_log->isOpen()) {
            m_console.error(m_log->failure());
            m_log.reset();
            return;
        }
        prepareEndLog(m_log->file(), head(), ansiToUtf8(m_note));
    }

    Console& console() { return m_console; }

    int end(const std::string& outcome, int exitCode)
    {
        claimOwnEnd(exitCode);
        if (m_log) {
            const std::string failure = m_log->append(head() + runLogTail(outcome + m_note, exitCode, secondsSinceStart()));
            if (!failure.empty())
                m_console.error(failure);
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

int withoutArguments(int argc, char** argv)
{
    if (prepareDisplay()) {
        const int exitCode = runWindow(argc, argv);
        claimOwnEnd(exitCode);
        return exitCode;
    }
    useConsole();
#ifdef _WIN32
    Console().error(msg::kNoVisibleDesktop);
#else
    Console().error(msg::kNoDisplay);
#endif
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    openClosedStandardStreams();
    endOnStopRequest();
    useLocaleCharacters();
    const std::vector<std::string> arguments = programArguments(argc, argv);
    if (const StandAlone request = standAloneRequest(arguments); request != StandAlone::None) {
        useConsole();
        Console().information(request == StandAlone::Help ? helpText() : versionText());
        return 0;
    }
    if (arguments.size() < 5 || arguments[4].empty())
        return withoutArguments(argc, argv);

    // The password is in this process's memory from here on.
    keepSecretsInProcess();
    const ParsedRunOptions parsed = parseRunOptions(arguments, today());
    if (!parsed.error.empty()) {
        // Refused before anything connects; where a person may be watching,
        // in the error box too, since nobody reads a shortcut's standard error.
        useConsole();
        Console().error(parsed.error);
        return prepareDisplay() ? showErrorInWindow(errorBoxText(parsed.error)) : 1;
    }
    const RunOptions& options = parsed.options;
    if (options.timeoutSeconds)
        endAtDeadline(*options.timeoutSeconds);
    // A catch-up run is the console's: the window posts one date.
    const bool window = !options.from && prepareDisplay();
    if (!window)
        useConsole();
    UnattendedRun run(arguments, parsed);
    if (!window && options.logFile)
        run.openLog(*options.logFile);
    if (arguments[2] == "-") {
        if (const std::string refusal = takePasswordFromOutside(); !refusal.empty()) {
            useConsole();
            run.console().error(refusal);
            return run.end(refusal.substr(refusal.find(' ') + 1), 1);
        }
    }
    if (window) {
        const int exitCode = runWindow(argc, argv);
        claimOwnEnd(exitCode);
        return exitCode;
    }
    const RunOutcome outcome = runWithoutWindow(arguments, options, today, run.console());
    return run.end(outcome.summary(), outcome.exitCode);
}
