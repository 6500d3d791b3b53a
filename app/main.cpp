// The program: with a display, the window; without one, and with the five
// arguments of the unattended run, the same run written to the console. The
// window is a module of its own, loaded only here (app/window_loader.h).

#include "app/console.h"
#include "app/display.h"
#include "app/messages.h"
#include "app/password.h"
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

#include <cstdio>
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
            endAtDeadline(*options.timeoutSeconds, [](const std::string& line, int) { Console().error(line); });
    }
    // A catch-up run is the console's: the window posts one date.
    if (!options.from && prepareDisplay())
        return runWindow(argc, argv);
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
    return runWithoutWindow(arguments, options, today, console).exitCode;
}
