#pragma once
// A stop request (SIGINT, SIGTERM: a logout, kill, a service manager) ends
// the program at once. Once connected, the Firebird client library installs
// its own handlers for these signals; on a stop it shuts every connection
// down but leaves the process running, with the window open or an embedded
// posting finishing as if nothing had been asked. A handler that is in place
// before the first connection is kept by the library and called after its
// own, so the program ends either way.
//
// Ending at once leaves nothing half-posted: a posting commits only after its
// last row has been read, and the server or the engine rolls back a
// transaction whose client has gone.

// The exit code of a program ended by a stop request.
inline constexpr int kStopExitCode = 1;

// Installs the handler; call it before anything connects. Does nothing on
// systems without those signals.
void endOnStopRequest();
