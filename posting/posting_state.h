#pragma once
// Where the posting stands, for whatever ends the program at any moment (a
// stop request, the deadline: app/run_end.h). A posting commits only after
// its last row has been read, and the server or the engine rolls back a
// transaction whose client has gone; so a program ended before the commit
// leaves nothing half-posted, and one ended after it has posted. A stop that
// comes while the commit itself is on its way cannot take it back.

enum class PostingState {
    None,       // no posting statement is out, and the last one did not commit
    Out,        // the posting statement is out and has not come back
    Committed,  // the last posting statement came back with its work committed
};

// Noted by the program's one thread: the posting statement is about to be
// sent; it came back with its work committed; it failed, and its transaction
// was rolled back.
void notePostingStarted();
void notePostingCommitted();
void notePostingFailed();

// Async-signal-safe; callable from any thread.
PostingState postingState();
// How many postings came back committed since the program started.
int postingsCommitted();
