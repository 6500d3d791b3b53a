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
int applicationError(const char* type, const char* text)
{
    const std::string message = formatText(msg::kStartUpError, {type, text});
    QMessageBox::critical(nullptr, ansiToQString(msg::kStartUpErrorCaption), ansiToQString(message));
    return 1;
}

// The toolkit is given the program's name and nothing else: the command line
// is the program's, and a password "-platform" or a company "-style" is the
// user's, not an option for the toolkit to act on (and abort on). Its
// settings come from its environment variables.
struct ToolkitArguments {
    explicit ToolkitArguments(char** given) : argv{given && given[0] ? given[0] : name, nullptr} {}
    char name[9] = "contardc";
    char* argv[2];
    int argc = 1;
};

} // namespace

// Nothing may cross back into the program as an exception: the two sides
// need not share a C++ runtime's idea of one.
int contardcWindowMain(int argc, char** argv)
{
    try {
        const std::vector<std::string> arguments = programArguments(argc, argv);
        ToolkitArguments toolkit(argv);
        ContardcApplication app(toolkit.argc, toolkit.argv);
        try {
            Tfcontardc window(arguments);
            window.centreOnDesktop();
            window.show();
            if (window.closed())
                return 0;
            return app.exec();
        } catch (const std::exception& e) {
            return applicationError(typeid(e).name(), e.what());
        } catch (...) {
            return applicationError("unknown", msg::kUnknownError.data());
        }
    } catch (...) {
        return 1;
    }
}

int contardcShowError(const char* text)
{
    try {
        char* argv[] = {nullptr};
        ToolkitArguments toolkit(argv);
        ContardcApplication app(toolkit.argc, toolkit.argv);
        messenger().error(text);
    } catch (...) {
    }
    return 1;
}
