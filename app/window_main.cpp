#include "app/window_main.h"

#include "app/application.h"
#include "grid/ansi_text.h"
#include "ui/main_window.h"
#include "ui/messages.h"

#include <QMessageBox>

#include <typeinfo>

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

int contardcWindowMain(int argc, char** argv, const std::vector<std::string>* arguments)
{
    ContardcApplication app(argc, argv);
    try {
        Tfcontardc window(*arguments);
        window.centreOnDesktop();
        window.show();
        if (window.closed())
            return 0;
        return app.exec();
    } catch (const std::exception& e) {
        return applicationError(e);
    }
}
