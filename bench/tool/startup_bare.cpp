// The smallest Qt Widgets program to compare the tool's start-up with: one
// empty window, shown, ending once its first activation has been handled.

#include <QApplication>
#include <QEvent>
#include <QMetaObject>
#include <QWidget>

namespace {

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
    QApplication app(argc, argv);
    QWidget window;
    QuitAfterActivation probe;
    window.installEventFilter(&probe);
    window.show();
    return app.exec();
}
