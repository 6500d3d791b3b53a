#include "app/application.h"
#include "app/console_messenger.h"
#include "config/command_line.h"
#include "ui/main_window.h"

#include <QMessageBox>

#include <cstdio>
#include <cstdlib>
#include <typeinfo>

namespace {

bool displayAvailable()
{
#ifdef _WIN32
    return true;
#else
    return qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
           qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
#endif
}

// An error outside the window's handlers, while the window itself is built:
// the program cannot go on.
int applicationError(const std::exception& e, bool headless)
{
    const QString text = QStringLiteral("Exception %1 in module contardc at start-up.\n%2")
                             .arg(QString::fromLatin1(typeid(e).name()), QString::fromLatin1(e.what()));
    if (headless)
        std::fprintf(stderr, "Application Error: %s\n", text.toLatin1().constData());
    else
        QMessageBox::critical(nullptr, QStringLiteral("Application Error"), text);
    return 1;
}

// Without a display the program's output is its table and its messages;
// the toolkit's own diagnostics would only get in the way of a scheduled job.
void quietMessages(QtMsgType, const QMessageLogContext&, const QString&) {}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments = programArguments(argc, argv);
    const bool unattended = arguments.size() >= 5 && !arguments[4].empty();
    const bool headless = !displayAvailable();
    if (headless && !unattended) {
        std::fprintf(stderr, "contardc needs a display to show its window, "
                             "or five arguments (server user password company S|N) to post unattended\n");
        return 1;
    }
    if (headless) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qInstallMessageHandler(quietMessages);
    }

    ContardcApplication app(argc, argv);
    ConsoleMessenger console;
    if (headless)
        setMessenger(&console);

    try {
        Tfcontardc window(arguments);
        if (headless) {
            // The same unattended run, with no window to show: the run ends
            // with the window closed, or an error left it open.
            try {
                window.FormActivate(&window);
            } catch (const std::exception& e) {
                reportError(e.what());
            }
            return window.closed() ? 0 : 1;
        }
        window.centreOnDesktop();
        window.show();
        if (window.closed())
            return 0;
        return app.exec();
    } catch (const std::exception& e) {
        return applicationError(e, headless);
    }
}
