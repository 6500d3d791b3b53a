#include "ui/messages.h"

#include "ui/title.h"

#include "text/qt_text.h"
#include "text/error_text.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#ifdef _WIN32
#include <windows.h>
#endif

QString applicationTitle()
{
    return ansiToQString(msg::kApplicationTitle);
}

namespace {

class WindowMessenger final : public Messenger {
public:
    void information(const std::string& text) override { show(QMessageBox::NoIcon, text); }

    void error(const std::string& text) override
    {
#ifdef _WIN32
        // Wide, so that the text reads the same on a Windows whose ANSI code
        // page is not the program's.
        QWidget* active = QApplication::activeWindow();
        MessageBoxW(active ? reinterpret_cast<HWND>(active->winId()) : nullptr, ansiToWide(text).c_str(),
                    applicationTitle().toStdWString().c_str(), MB_OK | MB_ICONERROR);
#else
        show(QMessageBox::Critical, text);
#endif
    }

private:
    // The title, the text and one OK, which Enter and Esc both press.
    static void show(QMessageBox::Icon icon, const std::string& text)
    {
        QMessageBox box(icon, applicationTitle(), ansiToQString(text), QMessageBox::NoButton,
                        QApplication::activeWindow());
        QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        box.setDefaultButton(ok);
        box.setEscapeButton(ok);
        box.exec();
    }
};

WindowMessenger& windowMessenger()
{
    static WindowMessenger instance;
    return instance;
}

Messenger* g_messenger = nullptr;

} // namespace

Messenger& messenger()
{
    return g_messenger ? *g_messenger : windowMessenger();
}

Messenger* setMessenger(Messenger* m)
{
    Messenger* previous = g_messenger;
    g_messenger = m;
    return previous;
}

void reportError(const std::string& message)
{
    messenger().error(errorBoxText(message));
}
