// The program's window as the program shows it, for the accessibility test,
// with one seam: the close that ends a posting run that brought back rows is
// held, so that the rows stand in the grid for as long as the test reads them
// through the accessibility bus (the program itself closes at once, with no
// event handled in between). Any later close (Esc, the cancel button, the
// window frame) goes through as usual, and the exit code is the program's.

#include "app/application.h"
#include "posting/receipt_posting.h"
#include "ui/main_window.h"

#include <QEvent>

#include <cstdio>

namespace {

class CloseWithRowsHeld final : public QObject {
public:
    explicit CloseWithRowsHeld(Tfcontardc& window) : m_window(window) { window.installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == &m_window && event->type() == QEvent::Close && !m_held) {
            const ClientDataSet& rows = *m_window.posting().receipts().dataSet();
            if (rows.active() && !rows.isEmpty()) {
                m_held = true;
                std::fputs("accessible_window_probe: the close after the posting is held\n", stdout);
                std::fflush(stdout);
                event->ignore();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    Tfcontardc& m_window;
    bool m_held = false;
};

} // namespace

int main(int argc, char** argv)
{
    ContardcApplication app(argc, argv);
    Tfcontardc window;
    CloseWithRowsHeld hold(window);
    window.centreOnDesktop();
    window.show();
    return app.exec();
}
