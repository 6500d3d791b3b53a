#pragma once
// The two forms in which every notice and every failure reaches the user:
// the information message and the error message. Both go through one
// Messenger so that a run without a display, or a test, can take them.

#include <QString>
#include <memory>
#include <string>

class Messenger {
public:
    virtual ~Messenger() = default;
    // A notice; returns when the user has dismissed it.
    virtual void information(const std::string& text) = 0;
    // A failure, already worded for the user (see errorBoxText).
    virtual void error(const std::string& text) = 0;
};

// The messenger in force; a window-based one unless another was installed.
Messenger& messenger();
// Installs a messenger and returns the previous one (nullptr restores the window-based one).
Messenger* setMessenger(Messenger* m);

// Shows an error that escaped a handler, with the full-stop rule applied.
void reportError(const std::string& message);

// The application title: caption of every message window and the taskbar name.
QString applicationTitle();
