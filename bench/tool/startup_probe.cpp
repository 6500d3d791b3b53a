// Preloaded into a Qt program (LD_PRELOAD) to end it once its first window
// activation has been handled, so that the time from process start to that
// point can be taken from outside. It lets the real contardc be measured as
// it ships, module loading and display check included, and the bare window
// it is compared with ends by the very same means.
//
// The filter sits on the application object, so it sees the activation before
// the window does; the queued quit then runs after the window's own handling
// of it (FormActivate in the tool).

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>

namespace {

class QuitAfterActivation : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!m_seen && event->type() == QEvent::WindowActivate && watched->isWidgetType()) {
            m_seen = true;
            QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_seen = false;
};

void watchActivation()
{
    qApp->installEventFilter(new QuitAfterActivation(qApp));
}

}  // namespace

// Runs as the application object is constructed, whoever constructs it.
Q_COREAPP_STARTUP_FUNCTION(watchActivation)
