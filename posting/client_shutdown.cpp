#include "posting/client_shutdown.h"

#include "posting/messages.h"
#include "text/format.h"

#include <chrono>
#include <cstdlib>
#include <thread>

#include <csignal>

#ifndef _WIN32
#include <initializer_list>
#include <unistd.h>
#endif

namespace {

// Written by the program's one thread, read by the stop handler.
volatile std::sig_atomic_t g_posting = 0;   // a posting statement is out, not yet come back
volatile std::sig_atomic_t g_committed = 0; // a posting came back committed

// Appends `text` to the line being built; async-signal-safe.
void append(char* buffer, int size, int& length, const char* text)
{
    for (; *text && length < size - 1; ++text)
        buffer[length++] = *text;
    buffer[length] = '\0';
}

#ifndef _WIN32
extern "C" void onStopSignal(int signal)
{
    char line[160];
    const int length = stopLine(signal, line, static_cast<int>(sizeof line));
    // Nothing more can be done when standard error is gone.
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line, static_cast<std::size_t>(length));
    ::_exit(stopExitCode());
}
#endif

} // namespace

void notePostingStarted()
{
    // Each posting is its own: one committed before (an earlier day of a
    // catch-up) says nothing of this one.
    g_committed = 0;
    g_posting = 1;
}

void notePostingCommitted()
{
    g_committed = 1;
    g_posting = 0;
}

void notePostingFailed() { g_posting = 0; }

const char* stopOutcome()
{
    if (g_committed)
        return msg::kStopAfterCommit.data();
    if (g_posting)
        return msg::kStopDuringPosting.data();
    return msg::kStopNothingPosted.data();
}

int stopLine(int signal, char* buffer, int size)
{
    int length = 0;
    if (size <= 0)
        return 0;
    buffer[0] = '\0';
    // The texts are literals, so each view ends in a NUL.
    append(buffer, size, length, msg::kStoppedBy.data());
    append(buffer, size, length, signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "a signal");
    append(buffer, size, length, stopOutcome());
    append(buffer, size, length, "\n");
    return length;
}

int stopExitCode() { return g_committed ? kPostedExitCode : kStopExitCode; }

void endAtDeadline(int seconds, std::function<void(const std::string& line, int exitCode)> finish)
{
    std::thread([seconds, finish = std::move(finish)] {
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        const int code = stopExitCode();
        finish(formatText(msg::kTimedOut, {std::to_string(seconds)}) + stopOutcome(), code);
        std::_Exit(code);
    }).detach();
}

void endOnStopRequest()
{
#ifndef _WIN32
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM})
        ::sigaction(signal, &action, nullptr);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, nullptr);
#endif
}
