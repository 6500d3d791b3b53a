#pragma once
#include <QApplication>

// The application object. Every event passes notify(), which makes it the one
// place where an error that escaped a handler is caught and shown; the
// program then goes on waiting for input.
class ContardcApplication : public QApplication {
    Q_OBJECT
public:
    ContardcApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};
