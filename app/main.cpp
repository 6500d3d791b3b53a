// The program: with a display, the window; without one, and with the five
// arguments of the unattended run, the same run written to the console. The
// window is a module of its own, loaded only here (app/window_loader.h).

#include "app/console.h"
#include "app/display.h"
#include "app/messages.h"
#include "app/unattended.h"
#include "app/window_loader.h"
#include "config/command_line.h"
#include "posting/client_shutdown.h"
#include "posting/civil_date.h"
#include "text/client_text.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    useLocaleCharacters();
    endOnStopRequest();
    if (prepareDisplay())
        return runWindow(argc, argv);
    const std::vector<std::string> arguments = programArguments(argc, argv);
    const bool unattended = arguments.size() >= 5 && !arguments[4].empty();
#ifdef _WIN32
    useStartingConsole();
#endif
    if (!unattended) {
#ifdef _WIN32
        Console().error(msg::kNoVisibleDesktop);
#else
        Console().error(msg::kNoDisplay);
#endif
        return 1;
    }
    Console console;
    return runWithoutWindow(arguments, today, console);
}
