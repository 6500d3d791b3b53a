#pragma once
// Once connected, the Firebird client library takes SIGINT and SIGTERM for
// itself: on either it shuts every connection down (the running statement is
// cancelled, its transaction rolled back) but leaves the process running. A
// program that must end on a stop request asks the library to tell it when
// such a shutdown has happened.

// The exit code of a program ended by a stop request.
inline constexpr int kStopExitCode = 1;

// Registers with the loaded client library, once per process, for the notice
// of a shutdown caused by a stop signal: the process then ends at once with
// kStopExitCode, before the library waits on a running statement (whose
// transaction, never committed, the server or the engine rolls back). Does
// nothing before the library is loaded, and on systems without those signals.
void watchClientStopSignal();

// True once a stop signal has shut the connections down.
bool stopRequested();

// A descriptor that becomes readable when stopRequested() turns true, for an
// event loop to watch; -1 where there is none.
int stopNotifier();
