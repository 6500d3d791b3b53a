#include "app/application.h"

#include "app/messages.h"
#include "ui/messages.h"

#include <string>

ContardcApplication::ContardcApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    // The title names the program in the taskbar and captions every message
    // window. It is the application name, not its display name, so that the
    // toolkit does not append it to the main window's own caption.
    setApplicationName(applicationTitle());
}

bool ContardcApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        reportError(e.what());
    } catch (...) {
        reportError(std::string(msg::kUnknownError));
    }
    return false;
}
