// The program: with a display, the window; without one, and with the five
// arguments of the unattended run, the same run written to the console. The
// window is a module of its own, loaded only here (app/window_loader.h).

#include "app/console.h"
#include "app/display.h"
#include "app/messages.h"
#include "app/password.h"
#include "app/run_log.h"
#include "app/run_options.h"
#include "app/unattended.h"
#include "app/window_loader.h"
#include "config/command_line.h"
#include "posting/client_shutdown.h"
#include "posting/civil_date.h"
#include "text/client_text.h"

#ifdef _WIN32
#include "config/windows_api.h"
#include "text/ansi_text.h"
#endif

#include <chrono>
#include <cstdio>
#include <ctime>
#include <cstdlib>
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

// The run log's line of a run with five arguments, appended unless --log -
// turned it off; a log that cannot be written is said, and changes nothing else.
void logRun(const std::vector<std::string>& arguments, const RunOptions& options, std::time_t start,
            std::chrono::steady_clock::time_point started, const std::string& outcome, int exitCode)
{
    const std::string path = options.logFile.value_or(defaultRunLogPath());
    if (path == "-")
        return;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const std::string failure =
        appendRunLog(path, runLogLine({start, arguments[0], arguments[3], arguments[4] == "S", outcome, exitCode,
                                       seconds}));
    if (!failure.empty())
        Console().error(failure);
}

void useConsole()
{
#ifdef _WIN32
    useStartingConsole();
#endif
}

} // namespace

int main(int argc, char** argv)
{
    useLocaleCharacters();
    endOnStopRequest();
    const std::time_t start = std::time(nullptr);
    const auto started = std::chrono::steady_clock::now();
    const std::vector<std::string> arguments = programArguments(argc, argv);
    if (const StandAlone request = standAloneRequest(arguments); request != StandAlone::None) {
        useConsole();
        Console().information(request == StandAlone::Help ? helpText() : versionText());
        return 0;
    }
    const bool unattended = arguments.size() >= 5 && !arguments[4].empty();
    RunOptions options;
    if (unattended) {
        // The password is in this process's memory from here on.
        keepSecretsInProcess();
        const ParsedRunOptions parsed = parseRunOptions(arguments, today());
        if (!parsed.error.empty()) {
            useConsole();
            Console().error(parsed.error);
            return 1;
        }
        options = parsed.options;
        if (arguments[2] == "-") {
            // Not on the command line: the client takes it from ISC_PASSWORD,
            // where a line read from standard input goes too.
            const PasswordSource source = passwordFromOutside(stdin, stderr);
            if (!source.found) {
                useConsole();
                Console().error(msg::kNoPasswordOnInput);
                return 1;
            }
            if (!source.fromEnvironment)
                setEnvironment("ISC_PASSWORD", source.password);
        }
        if (options.timeoutSeconds)
            endAtDeadline(*options.timeoutSeconds, [&](const std::string& line, int exitCode) {
                Console().error(line);
                logRun(arguments, options, start, started, line.substr(line.find(' ') + 1), exitCode);
            });
    }
    // A catch-up run is the console's: the window posts one date.
    if (!options.from && prepareDisplay()) {
        const int exitCode = runWindow(argc, argv);
        // What the window showed is the user's to see; the log tells the run took place.
        if (unattended)
            logRun(arguments, options, start, started, std::string(msg::kOutcomeInWindow), exitCode);
        return exitCode;
    }
    useConsole();
    if (!unattended) {
#ifdef _WIN32
        Console().error(msg::kNoVisibleDesktop);
#else
        Console().error(msg::kNoDisplay);
#endif
        return 1;
    }
    Console console;
    const RunOutcome outcome = runWithoutWindow(arguments, options, today, console);
    logRun(arguments, options, start, started, outcome.summary(), outcome.exitCode);
    return outcome.exitCode;
}
