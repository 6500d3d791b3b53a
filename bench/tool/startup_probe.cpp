// The tool's interactive start-up, as its entry point runs it, ending as soon
// as the window has been shown and its first activation (FormActivate) has
// been handled. Timed from outside, process start to exit.

#include "app/application.h"
#include "config/command_line.h"
#include "ui/main_window.h"

#include <QEvent>
#include <QMetaObject>

#include <cstdio>
#include <exception>

namespace {

// Sees the activation before the window does; the queued quit then runs
// after the window's own handling of it, FormActivate included.
class QuitAfterActivation : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::WindowActivate)
            QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        return QObject::eventFilter(watched, event);
    }
};

}  // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments = programArguments(argc, argv);
    ContardcApplication app(argc, argv);
    try {
        Tfcontardc window(arguments);
        QuitAfterActivation probe;
        window.installEventFilter(&probe);
        window.centreOnDesktop();
        window.show();
        if (window.closed())
            return 1;
        return app.exec();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "startup_probe: %s\n", e.what());
        return 1;
    }
}
