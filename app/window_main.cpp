#include "app/window_main.h"

#include "app/application.h"
#include "app/messages.h"
#include "config/command_line.h"
#include "text/format.h"
#include "text/qt_text.h"
#include "ui/main_window.h"
#include "ui/messages.h"

#include <QMessageBox>

#include <string>
#include <typeinfo>
#include <vector>

namespace {

// An error outside the window's handlers, while the window itself is built:
// the program cannot go on.
int applicationError(const std::exception& e)
{
    const std::string text = formatText(msg::kStartUpError, {typeid(e).name(), e.what()});
    QMessageBox::critical(nullptr, ansiToQString(msg::kStartUpErrorCaption), ansiToQString(text));
    return 1;
}

} // namespace

int contardcWindowMain(int argc, char** argv)
{
    const std::vector<std::string> arguments = programArguments(argc, argv);
    // The command line is the program's: a password "-platform" or a company
    // "-style" is the user's, not an option for the toolkit to act on (and
    // abort on). The toolkit is given the program's name and nothing else;
    // its settings come from its environment variables.
    char fallbackName[] = "contardc";
    char* toolkitArgv[] = {argc > 0 && argv[0] ? argv[0] : fallbackName, nullptr};
    int toolkitArgc = 1;
    ContardcApplication app(toolkitArgc, toolkitArgv);
    try {
        Tfcontardc window(arguments);
        window.centreOnDesktop();
        window.show();
        if (window.closed())
            return 0;
        return app.exec();
    } catch (const std::exception& e) {
        return applicationError(e);
    }
}
