#pragma once
// The program's side of the window module (app/window_main.h): where the
// module is, loading it, and calling its one entry.
//
// Only argc and argv pass through the entry, but the program and the module
// are one process, and more than that crosses between them:
//   - the environment, as main() leaves it: when prepareDisplay() found a
//     usable display that the toolkit was not told of, it has put the
//     platform's name in QT_QPA_PLATFORM for the toolkit to read;
//   - the locale: main() has called useLocaleCharacters() before, so LC_CTYPE
//     is the user's (UTF-8 where none is set), and the module's C and C++
//     runtimes are the program's, so that the database client and the window
//     read file names in it;
//   - the signal handling: main() has installed endOnStopRequest() before, so
//     its handlers are in place before the window's first connection, which
//     the Firebird client needs to keep them (posting/client_shutdown.h);
//   - the process's standard input, output and error, as the program was
//     started with them: the window's run writes nothing to them itself, but
//     the toolkit's warnings go to standard error;
//   - the module's lifetime: it is never unloaded; it stays loaded to the end
//     of the process, since objects it made (the toolkit's among them) may
//     still be destroyed at exit.

#include <string>

#ifdef _WIN32
// Paths, and the texts that name them, as the system takes them: UTF-16 on
// Windows, whose ANSI code page need not hold a folder's name.
using SystemText = std::wstring;
#else
using SystemText = std::string;
#endif

// The running program's own path, as the system names it; when the system
// cannot tell it, `path` is empty and `failure` says why.
struct ProgramPath {
    SystemText path;
    SystemText failure;
};
ProgramPath programPath();

// Where the window module is: in `folder` (kWindowModuleFolder: empty for
// the program's own folder, relative to the program's folder, or absolute).
// When the program's folder is not known (the system could not tell the path, or gave one that is not
// absolute), `module` is empty and `refusal` is the message that says so:
// the module is never looked for by its bare name, which would have the
// system search the current folder, PATH or LD_LIBRARY_PATH for a library
// that carries the name.
struct WindowModuleLocation {
    SystemText module;
    SystemText refusal;
};
WindowModuleLocation windowModuleLocation(const ProgramPath& program, const SystemText& folder);

// Loads the module from its folder and runs the window; returns its
// exit code. A module that cannot be found, loaded or entered, or a program
// whose folder is not known, is said on standard error (on Windows, where a
// windowed program started from Explorer has nowhere else to say it, in a
// message box) and gives exit code 1.
int runWindow(int argc, char** argv);

// Shows the error box for a run refused before it began (contardcShowError):
// a box that waits for the user, so only where a display is there. Returns
// 1, also when the module cannot be loaded (which is said as above).
int showErrorInWindow(const std::string& text);
