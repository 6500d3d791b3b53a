#include "posting/posting_state.h"

#include <atomic>

namespace {

// Lock-free, so that a signal handler may read them.
std::atomic<int> g_state{static_cast<int>(PostingState::None)};
std::atomic<int> g_committed{0};
static_assert(std::atomic<int>::is_always_lock_free);

} // namespace

// Each posting is its own: one committed before (an earlier day of a
// catch-up) says nothing of this one.
void notePostingStarted() { g_state.store(static_cast<int>(PostingState::Out)); }

void notePostingCommitted()
{
    // Counted first: whoever sees the state committed sees the count too.
    g_committed.fetch_add(1);
    g_state.store(static_cast<int>(PostingState::Committed));
}

void notePostingFailed() { g_state.store(static_cast<int>(PostingState::None)); }

PostingState postingState() { return static_cast<PostingState>(g_state.load()); }

int postingsCommitted() { return g_committed.load(); }
