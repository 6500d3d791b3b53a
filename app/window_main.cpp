#include "app/window_main.h"

#include "app/application.h"
#include "config/command_line.h"
#include "grid/ansi_text.h"
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
    const QString text = QStringLiteral("Exception %1 in module contardc at start-up.\n%2")
                             .arg(QString::fromLatin1(typeid(e).name()), ansiToQString(e.what()));
    QMessageBox::critical(nullptr, QStringLiteral("Application Error"), text);
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
