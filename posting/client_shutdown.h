#pragma once
// The program's signal handling.
//
// A stop request (SIGINT, SIGTERM: a logout, kill, a service manager) ends
// the program at once, with one line on standard error that says which
// signal it was and what had been posted. Once connected, the Firebird client
// library installs its own handlers for these signals; on a stop it shuts
// every connection down but leaves the process running, with the window open
// or an embedded posting finishing as if nothing had been asked. A handler
// that is in place before the first connection is kept by the library and
// called after its own, so the program ends either way.
//
// Ending at once leaves nothing half-posted: a posting commits only after its
// last row has been read, and the server or the engine rolls back a
// transaction whose client has gone. A stop that comes while the commit
// itself is on its way cannot take it back.
//
// A reader that goes away (SIGPIPE: `contardc ... | head`) does not end the
// program: the write that finds it gone fails, and the run says so
// (app/console.h).

#include <functional>
#include <string>

// The exit code of a program ended by a stop request before any posting of
// its was committed. After the commit it ends with kPostedExitCode: the exit
// code tells what became of the posting, and a rerun would find nothing to
// post.
inline constexpr int kStopExitCode = 1;
inline constexpr int kPostedExitCode = 0;

// Installs the handlers; call it before anything connects. Does nothing on
// systems without those signals.
void endOnStopRequest();

// Where the posting stands, for the line a stop request writes: the posting
// statement is about to be sent; it came back with its work committed; it
// failed, and its transaction was rolled back. Safe to call at any time.
void notePostingStarted();
void notePostingCommitted();
void notePostingFailed();

// What had become of the posting, for a line that ends the program: "; nothing
// was posted", " during the posting; ...", " after the posting was committed".
// Async-signal-safe.
const char* stopOutcome();
// The exit code of a program ended now: kPostedExitCode once a posting came
// back committed, else kStopExitCode.
int stopExitCode();

// Ends the program `seconds` from now, from a thread of its own, as a stop
// request does: whatever the program is waiting for (a lock a user's
// transaction holds, a server that stopped answering), nothing uncommitted is
// kept. `finish` is called first with the line to write ("contardc: timed
// out after N s" and stopOutcome()) and the exit code.
void endAtDeadline(int seconds, std::function<void(const std::string& line, int exitCode)> finish);

// The line a stop request by `signal` writes, given what was noted: at most
// `size` - 1 bytes and a terminating NUL into `buffer`; returns its length.
// Async-signal-safe.
int stopLine(int signal, char* buffer, int size);
