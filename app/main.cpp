// The program: with a display, the window; without one, and with the five
// arguments of the unattended run, the same run written to the console. The
// window is a module of its own, loaded only here (app/window_loader.h).

#include "app/console.h"
#include "app/display.h"
#include "app/messages.h"
#include "app/run_end.h"
#include "app/run_options.h"
#include "app/unattended.h"
#include "app/window_loader.h"
#include "config/command_line.h"
#include "text/client_text.h"

int main(int argc, char** argv)
{
    openClosedStandardStreams();
    endOnStopRequest();
    useLocaleCharacters();
    const std::vector<std::string> arguments = programArguments(argc, argv);
    if (const StandAlone request = standAloneRequest(arguments); request != StandAlone::None) {
        useStartingConsole();
        Console().information(request == StandAlone::Help ? helpText() : versionText());
        return 0;
    }
    if (arguments.size() >= 5 && !arguments[4].empty())
        return runUnattended(argc, argv, arguments);
    if (prepareDisplay()) {
        noteWindowRun();
        const int exitCode = runWindow(argc, argv);
        claimOwnEnd(exitCode);
        return exitCode;
    }
    // Without a display and without the five arguments there is nothing to do.
    useStartingConsole();
    Console().error(msg::kNoWindowHere);
    return 1;
}
