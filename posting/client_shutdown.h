#pragma once
// Once connected, the Firebird client library takes SIGINT and SIGTERM for
// itself: on either it shuts every connection down (the running statement is
// cancelled, its transaction rolled back) but leaves the process running. A
// program that must end on a stop request asks the library to tell it when
// such a shutdown has happened.

// Registers with the loaded client library, once per process, for the notice
// of a shutdown caused by a stop signal. Does nothing before the library is
// loaded, and on systems without those signals.
void watchClientStopSignal();

// True once a stop signal has shut the connections down.
bool stopRequested();

// A descriptor that becomes readable when stopRequested() turns true, for an
// event loop to watch; -1 where there is none.
int stopNotifier();
