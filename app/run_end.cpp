#include "app/run_end.h"

#include "app/console.h"
#include "app/event_log.h"
#include "app/exit_codes.h"
#include "app/messages.h"
#include "app/metrics.h"
#include "posting/posting_state.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <ctime>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <semaphore.h>
#include <signal.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace {

// Who owns the end of the run.
enum Owner : int { kRunning, kOwnEnd, kEnding };
std::atomic<int> g_owner{kRunning};
std::atomic<int> g_ownCode{0};   // the run's own exit code, once it owns the end
std::atomic<int> g_endCode{kExitTemporary};  // the exit code of a stop or the deadline
static_assert(std::atomic<int>::is_always_lock_free);

// How long what the end writes may take before the process ends regardless.
constexpr auto kWriteBound = std::chrono::seconds(1);

// What the end writes, prepared by the program's one thread before anything
// can end it, and only read afterwards.
char g_deadlineText[64];                 // "contardc: timed out after N s"
std::atomic<LogFile> g_logFile{kNoLogFile};
char* g_logBuffer = nullptr;             // the head, then room for the rest
int g_logHead = 0;
int g_logSize = 0;
const char* g_logNote = "";              // UTF-8, NUL-terminated
char g_days[kMaxCatchUpDays][11];        // ISO dates, NUL-terminated
std::atomic<int> g_dayCount{0};          // 0: not a catch-up run
std::atomic<int> g_committedBefore{0};   // postings committed before the catch-up began
std::atomic<bool> g_window{false};       // the run is the window's, whose codes are the system's
std::atomic<bool> g_eventLog{false};     // the run writes its entry in the Windows event log
bool g_errorIsJournal = false;           // standard error is the journal's: lines take a priority
std::atomic<bool> g_metrics{false};      // the run writes its metrics file

#ifndef _WIN32
std::atomic<int> g_quietTerminal{-1};
termios g_terminalSettings{};
#endif

// Appends text to the line being built, never past its end; async-signal-safe.
struct Line {
    char* buffer;
    int size;
    int length = 0;
    void add(const char* text)
    {
        for (; *text && length < size - 1; ++text)
            buffer[length++] = *text;
        if (size > 0)
            buffer[length] = '\0';
    }
    void add(std::string_view text)
    {
        for (char c : text) {
            if (length >= size - 1)
                break;
            buffer[length++] = c;
        }
        if (size > 0)
            buffer[length] = '\0';
    }
    void add(long long n)
    {
        char digits[24];
        int count = 0;
        const bool negative = n < 0;
        unsigned long long u = negative ? 0ull - static_cast<unsigned long long>(n) : static_cast<unsigned long long>(n);
        do {
            digits[count++] = static_cast<char>('0' + u % 10);
            u /= 10;
        } while (u > 0);
        if (negative)
            add("-");
        char one[2] = {0, 0};
        while (count > 0) {
            one[0] = digits[--count];
            add(one);
        }
    }
};

// "A", "A to B", for the days first..last of the catch-up.
void addDays(Line& line, int first, int last)
{
    line.add(g_days[first]);
    if (last > first) {
        line.add(msg::kDaysTo);
        line.add(g_days[last]);
    }
}

void addDaysPosted(Line& line, int posted, int count)
{
    line.add(msg::kDaysPosted);
    if (posted == 0)
        line.add(msg::kNoDay);
    else
        addDays(line, 0, posted - 1);
    if (posted < count) {
        line.add(msg::kDaysNotPosted);
        addDays(line, posted, count - 1);
    }
}

int daysPosted(int count)
{
    const int posted = postingsCommitted() - g_committedBefore.load();
    return posted < 0 ? 0 : posted > count ? count : posted;
}

#ifdef _WIN32
using Clock = std::chrono::steady_clock;
const Clock::time_point g_started = Clock::now();

// The end's own bound: an event the guard thread waits on.
HANDLE g_wake = nullptr;
void wakeGuard()
{
    if (g_wake)
        SetEvent(g_wake);
}

// To standard error as Windows gives it to the process: a console (the
// lines are ASCII, which every code page writes alike) or a redirection.
void writeError(const char* text, int length)
{
    const HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
    if (!handle || handle == INVALID_HANDLE_VALUE)
        return;
    DWORD mode = 0;
    DWORD written = 0;
    const DWORD size = static_cast<DWORD>(length);
    if (GetConsoleMode(handle, &mode))
        WriteConsoleA(handle, text, size, &written, nullptr);
    else
        WriteFile(handle, text, size, &written, nullptr);
}

void writeLog(const char* text, int length)
{
    const LogFile file = g_logFile.load();
    DWORD written = 0;
    if (file != kNoLogFile)
        WriteFile(static_cast<HANDLE>(file), text, static_cast<DWORD>(length), &written, nullptr);
}

void restoreTerminal() {}

[[noreturn]] void endProcess(int code) { TerminateProcess(GetCurrentProcess(), static_cast<UINT>(code)); for (;;) Sleep(INFINITE); }

constexpr const char* kLineEnd = "\r\n";
#else
timespec g_started{};

sem_t g_wake;
bool g_guarded = false;
void wakeGuard()
{
    if (g_guarded)
        sem_post(&g_wake);
}

void writeAll(int fd, const char* text, int length)
{
    while (length > 0) {
        const ssize_t n = ::write(fd, text, static_cast<std::size_t>(length));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        text += n;
        length -= static_cast<int>(n);
    }
}

void writeError(const char* text, int length) { writeAll(STDERR_FILENO, text, length); }

void writeLog(const char* text, int length)
{
    const LogFile file = g_logFile.load();
    if (file != kNoLogFile)
        writeAll(file, text, length);
}

void restoreTerminal()
{
    const int fd = g_quietTerminal.exchange(-1);
    if (fd >= 0) {
        ::tcsetattr(fd, TCSANOW, &g_terminalSettings);
        // The prompt's line was left open.
        writeError("\n", 1);
    }
}

[[noreturn]] void endProcess(int code) { ::_exit(code); }

constexpr const char* kLineEnd = "\n";
#endif

// Waits until an end is under way, then gives what it writes a moment and
// ends the process with the owner's code. Started before anything can end
// the run, with every signal blocked, so that no stop handler runs on it.
void guard()
{
#ifdef _WIN32
    WaitForSingleObject(g_wake, INFINITE);
#else
    while (sem_wait(&g_wake) != 0 && errno == EINTR) {
    }
#endif
    std::this_thread::sleep_for(kWriteBound);
    endProcess(g_owner.load() == kOwnEnd ? g_ownCode.load() : g_endCode.load());
}

void startGuard()
{
#ifdef _WIN32
    if (g_wake)
        return;
    g_wake = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!g_wake)
        return;
    std::thread(guard).detach();
#else
    if (g_guarded || sem_init(&g_wake, 0, 0) != 0)
        return;
    sigset_t all, before;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &before);
    std::thread(guard).detach();
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    g_guarded = true;
#endif
}

#ifndef _WIN32
extern "C" void onStopSignal(int signal)
{
    endNow(signal == SIGINT ? EndCause::Interrupt : signal == SIGHUP ? EndCause::HangUp : EndCause::Terminate);
}
#endif

} // namespace

void openClosedStandardStreams()
{
#ifndef _WIN32
    if (g_started.tv_sec == 0 && g_started.tv_nsec == 0)
        ::clock_gettime(CLOCK_MONOTONIC, &g_started);
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // The lowest free descriptor: this one.
        const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd)
            ::close(opened);
    }
#endif
}

void endOnStopRequest()
{
#ifndef _WIN32
    if (g_started.tv_sec == 0 && g_started.tv_nsec == 0)
        ::clock_gettime(CLOCK_MONOTONIC, &g_started);
    g_errorIsJournal = isJournalStream(STDERR_FILENO);
    startGuard();
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&action.sa_mask, signal);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, nullptr);
#endif
}

void endAtDeadline(int seconds)
{
    Line text{g_deadlineText, static_cast<int>(sizeof g_deadlineText)};
    const std::string_view pattern = msg::kTimedOut;
    const std::size_t at = pattern.find("%s");
    text.add(pattern.substr(0, at));
    text.add(static_cast<long long>(seconds));
    text.add(pattern.substr(at + 2));
    startGuard();
    const auto due = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
#ifndef _WIN32
    sigset_t all, before;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &before);
#endif
    std::thread([due] {
        std::this_thread::sleep_until(due);
        endNow(EndCause::Deadline);
    }).detach();
#ifndef _WIN32
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
#endif
}

double secondsSinceStart()
{
#ifdef _WIN32
    return std::chrono::duration<double>(Clock::now() - g_started).count();
#else
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec - g_started.tv_sec) +
           static_cast<double>(now.tv_nsec - g_started.tv_nsec) / 1e9;
#endif
}

void prepareEndLog(LogFile file, const std::string& head, const std::string& outcomeNote)
{
    // Never freed: the end may write them while main() is being left, when
    // the program's own objects are being destroyed.
    char* note = new char[outcomeNote.size() + 1];
    std::memcpy(note, outcomeNote.c_str(), outcomeNote.size() + 1);
    g_logNote = note;
    g_logHead = static_cast<int>(head.size());
    g_logSize = g_logHead + static_cast<int>(outcomeNote.size()) + 512;
    g_logBuffer = new char[static_cast<std::size_t>(g_logSize)];
    std::memcpy(g_logBuffer, head.data(), head.size());
    g_logFile.store(file);
}

void prepareEndEventLog() { g_eventLog.store(true); }

void prepareEndMetricsFile() { g_metrics.store(true); }

void prepareCatchUp(const std::vector<CivilDate>& days)
{
    const int count = static_cast<int>(days.size() < kMaxCatchUpDays ? days.size() : kMaxCatchUpDays);
    for (int i = 0; i < count; ++i) {
        const std::string iso = isoText(days[static_cast<std::size_t>(i)]);
        std::strncpy(g_days[i], iso.c_str(), sizeof g_days[i] - 1);
        g_days[i][sizeof g_days[i] - 1] = '\0';
    }
    g_committedBefore.store(postingsCommitted());
    g_dayCount.store(count);
}

int catchUpDaysPosted() { return daysPosted(g_dayCount.load()); }

bool catchUpDone() { return catchUpDaysPosted() == g_dayCount.load(); }

std::string catchUpDaysText()
{
    char buffer[128];
    Line line{buffer, static_cast<int>(sizeof buffer)};
    const int count = g_dayCount.load();
    addDaysPosted(line, daysPosted(count), count);
    return std::string(buffer, static_cast<std::size_t>(line.length));
}

#ifndef _WIN32
void noteQuietTerminal(int fd, const termios& saved)
{
    g_terminalSettings = saved;
    g_quietTerminal.store(fd);
}

void noteTerminalRestored() { g_quietTerminal.store(-1); }
#endif

int endExitCode()
{
    // Ended from outside before the posting was done: a rerun posts what is
    // left. The window's own codes are 0 and 1.
    const int notDone = g_window.load() ? kExitFailed : kExitTemporary;
    const int count = g_dayCount.load();
    if (count > 0)
        return daysPosted(count) == count ? kExitPosted : notDone;
    return postingState() == PostingState::Committed ? kExitPosted : notDone;
}

int endLine(EndCause cause, char* buffer, int size)
{
    Line line{buffer, size};
    if (size <= 0)
        return 0;
    buffer[0] = '\0';
    if (cause == EndCause::Deadline) {
        line.add(g_deadlineText);
    } else {
        line.add(msg::kStoppedBy);
        line.add(cause == EndCause::Interrupt ? "SIGINT" : cause == EndCause::HangUp ? "SIGHUP" : "SIGTERM");
    }
    const int count = g_dayCount.load();
    const int posted = daysPosted(count);
    const PostingState state = postingState();
    if (count == 0) {
        line.add(state == PostingState::Committed ? msg::kStopAfterCommit
                 : state == PostingState::Out     ? msg::kStopDuringPosting
                                                  : msg::kStopNothingPosted);
    } else if (posted == count) {
        line.add(msg::kStopAfterCommit);
        line.add("; ");
        addDaysPosted(line, posted, count);
    } else if (state == PostingState::Out) {
        line.add(msg::kStopDuringDay);
        line.add(g_days[posted]);
        line.add(msg::kStopRollsBack);
        line.add("; ");
        addDaysPosted(line, posted, count);
    } else if (posted == 0) {
        line.add(msg::kStopNothingPosted);
    } else {
        line.add("; ");
        addDaysPosted(line, posted, count);
    }
    line.add(kLineEnd);
    return line.length;
}

void endNow(EndCause cause)
{
    int expected = kRunning;
    if (!g_owner.compare_exchange_strong(expected, kEnding)) {
        // The run's own end came first: it decides, and is only hurried.
        if (expected == kOwnEnd)
            wakeGuard();
        return;
    }
    const int code = endExitCode();
    g_endCode.store(code);
    // From here on the process ends within the bound, whatever the writes below do.
    wakeGuard();
    restoreTerminal();
    char text[512];
    const int length = endLine(cause, text, static_cast<int>(sizeof text));
    // The log first: a regular file takes its line at once, where standard
    // error may be a pipe that nobody reads.
    if (g_logFile.load() != kNoLogFile && g_logBuffer) {
        // The outcome is the line without its "contardc: " and its line end.
        const std::size_t skip = std::strlen("contardc: ");
        const int ending = static_cast<int>(std::strlen(kLineEnd));
        Line log{g_logBuffer, g_logSize, g_logHead};
        log.add(std::string_view(text + skip, static_cast<std::size_t>(length - ending) - skip));
        log.add(g_logNote);
        log.add("\t");
        log.add(static_cast<long long>(code));
        log.add("\t");
        const double seconds = secondsSinceStart();
        const long long tenths = static_cast<long long>(seconds * 10 + 0.5);
        log.add(tenths / 10);
        log.add(".");
        log.add(tenths % 10);
        log.add("\n");
        writeLog(g_logBuffer, log.length);
    }
    if (g_metrics.load())
        writeEndMetrics(code, static_cast<long long>(std::time(nullptr)), secondsSinceStart());
    if (g_eventLog.load()) {
        const int skip = static_cast<int>(std::strlen("contardc: "));
        reportRunEventNow(code, text + skip, length - skip - static_cast<int>(std::strlen(kLineEnd)));
    }
    if (g_errorIsJournal)
        writeError(code == kExitPosted ? "<4>" : "<3>", 3);
    writeError(text, length);
    endProcess(code);
}

void noteWindowRun() { g_window.store(true); }

void claimOwnEnd(int exitCode)
{
    g_ownCode.store(exitCode);
    int expected = kRunning;
    if (g_owner.compare_exchange_strong(expected, kOwnEnd))
        return;
    // A stop or the deadline is ending the process: nothing of the run's may
    // be written or destroyed meanwhile.
    for (;;) {
#ifdef _WIN32
        Sleep(INFINITE);
#else
        ::pause();
#endif
    }
}
