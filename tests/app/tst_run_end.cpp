// How a run ends: the line a stop request or the deadline writes for what
// had been posted, who owns the end when the run's own end and the deadline
// meet, standard error that nobody reads, the run log's line of a stopped
// run, the terminal left as it was found, and standard descriptors that are
// closed at start. Each end runs in a child process of its own, since it ends
// that process; the moment each end comes is chosen by the test, never raced.

#include "app/run_end.h"
#include "posting/posting_state.h"

#include <QDate>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <thread>

namespace {

constexpr char kHead[] = "2026-12-11T23:00:00+00:00\tsrv\t01\tplain\t";

// The days of a catch-up range of `count` days from 2026-12-01.
std::vector<CivilDate> range(int count)
{
    std::vector<CivilDate> days;
    for (int d = 0; d < count; ++d)
        days.push_back({2026, 12, 1 + d});
    return days;
}

// Where the posting stands: no posting yet, out, committed, failed; after
// `committed` earlier postings of the same run came back committed.
void note(const QString& stage, int committed)
{
    for (int i = 0; i < committed; ++i) {
        notePostingStarted();
        notePostingCommitted();
    }
    if (stage == "none") {
        if (committed > 0)
            notePostingFailed();  // between two days: nothing out
        return;
    }
    notePostingStarted();
    if (stage == "committed")
        notePostingCommitted();
    else if (stage == "failed")
        notePostingFailed();
}

struct Ended {
    bool exited = false;
    int exitCode = -1;
    QByteArray err;
    QByteArray log;
};

// Fills the pipe that standard error writes into, so that the next write waits.
void stallStandardError()
{
    const int flags = ::fcntl(STDERR_FILENO, F_GETFL);
    ::fcntl(STDERR_FILENO, F_SETFL, flags | O_NONBLOCK);
    char block[4096];
    std::memset(block, '#', sizeof block);
    while (::write(STDERR_FILENO, block, sizeof block) > 0) {
    }
    ::fcntl(STDERR_FILENO, F_SETFL, flags);
}

// Runs `body` in a child process with standard error a pipe to this one
// (read only once the child has ended when `stalled`) and a run log in
// `dir`, prepared as the program prepares it; returns how the child ended.
Ended runChild(const QTemporaryDir& dir, bool stalled, const std::function<void(int logFd)>& body)
{
    const QByteArray logPath = QFile::encodeName(dir.filePath("run.log"));
    QFile::remove(dir.filePath("run.log"));
    int err[2];
    if (::pipe(err) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(err[1], STDERR_FILENO);
        ::close(err[0]);
        ::close(err[1]);
        const int log = ::open(logPath.constData(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        body(log);
        ::_exit(99);
    }
    ::close(err[1]);
    Ended ended;
    int status = 0;
    // A child that never ends fails the test; 20 s is far beyond any of them.
    for (int i = 0; i < 2000; ++i) {
        if (!stalled) {
            pollfd readable{err[0], POLLIN, 0};
            if (::poll(&readable, 1, 10) > 0) {
                char buffer[4096];
                const ssize_t n = ::read(err[0], buffer, sizeof buffer);
                if (n > 0)
                    ended.err.append(buffer, n);
            }
        } else {
            QTest::qSleep(10);
        }
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            ended.exited = WIFEXITED(status);
            ended.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
            break;
        }
    }
    if (ended.exitCode == -1) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
    }
    const int flags = ::fcntl(err[0], F_GETFL);
    ::fcntl(err[0], F_SETFL, flags | O_NONBLOCK);
    char buffer[65536];
    for (ssize_t n; (n = ::read(err[0], buffer, sizeof buffer)) > 0;)
        ended.err.append(buffer, n);
    ::close(err[0]);
    QFile log(dir.filePath("run.log"));
    if (log.open(QIODevice::ReadOnly))
        ended.log = log.readAll();
    return ended;
}

// The log's line without its seconds, which the clock decides.
QByteArray withoutSeconds(const QByteArray& line)
{
    const qsizetype tab = line.lastIndexOf('\t');
    return tab < 0 ? line : line.left(tab + 1);
}

} // namespace

class TestRunEnd : public QObject {
    Q_OBJECT
private slots:
    void line_data();
    void line();
    void stopOrDeadline_data();
    void stopOrDeadline();
    void ownEndFirst();
    void deadlineFirst();
    void standardErrorNobodyReads();
    void terminalRestored();
    void closedStandardStreams_data();
    void closedStandardStreams();
};

// The line for what had been posted, cut to the buffer it is given, never
// past it; and the exit code it ends with.
void TestRunEnd::line_data()
{
    QTest::addColumn<int>("cause");
    QTest::addColumn<QString>("stage");
    QTest::addColumn<int>("days");       // 0: one date, else a catch-up of that many days
    QTest::addColumn<int>("committed");  // days committed before the stage
    QTest::addColumn<int>("size");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("exitCode");

    const auto term = int(EndCause::Terminate);
    const QByteArray rollsBack = "; the database rolls it back, unless its commit was already on its way";
    QTest::newRow("before posting") << term << "none" << 0 << 0 << 512
                                    << QByteArray("contardc: stopped by SIGTERM; nothing was posted\n") << 75;
    QTest::newRow("interrupt from the terminal")
        << int(EndCause::Interrupt) << "none" << 0 << 0 << 512
        << QByteArray("contardc: stopped by SIGINT; nothing was posted\n") << 75;
    QTest::newRow("the terminal closed") << int(EndCause::HangUp) << "none" << 0 << 0 << 512
                                         << QByteArray("contardc: stopped by SIGHUP; nothing was posted\n") << 75;
    QTest::newRow("while the procedure works")
        << term << "out" << 0 << 0 << 512 << "contardc: stopped by SIGTERM during the posting" + rollsBack + "\n" << 75;
    QTest::newRow("after a failed posting") << term << "failed" << 0 << 0 << 512
                                            << QByteArray("contardc: stopped by SIGTERM; nothing was posted\n") << 75;
    QTest::newRow("after the commit") << term << "committed" << 0 << 0 << 512
                                      << QByteArray("contardc: stopped by SIGTERM after the posting was committed\n")
                                      << 0;
    QTest::newRow("the deadline while the procedure works")
        << int(EndCause::Deadline) << "out" << 0 << 0 << 512
        << "contardc: timed out after 9 s during the posting" + rollsBack + "\n" << 75;
    QTest::newRow("catch-up, before its first day")
        << term << "none" << 5 << 0 << 512 << QByteArray("contardc: stopped by SIGTERM; nothing was posted\n") << 75;
    QTest::newRow("catch-up, its first day at work")
        << term << "out" << 5 << 0 << 512
        << "contardc: stopped by SIGTERM during the posting of 2026-12-01" + rollsBack +
               "; posted: none; not posted: 2026-12-01 to 2026-12-05\n"
        << 75;
    QTest::newRow("catch-up, between two days")
        << term << "none" << 5 << 2 << 512
        << QByteArray("contardc: stopped by SIGTERM; posted: 2026-12-01 to 2026-12-02; not posted: 2026-12-03 to "
                      "2026-12-05\n")
        << 75;
    QTest::newRow("catch-up, the deadline during its third day")
        << int(EndCause::Deadline) << "out" << 5 << 2 << 512
        << "contardc: timed out after 9 s during the posting of 2026-12-03" + rollsBack +
               "; posted: 2026-12-01 to 2026-12-02; not posted: 2026-12-03 to 2026-12-05\n"
        << 75;
    QTest::newRow("catch-up, its last day left")
        << term << "none" << 5 << 4 << 512
        << QByteArray("contardc: stopped by SIGTERM; posted: 2026-12-01 to 2026-12-04; not posted: 2026-12-05\n")
        << 75;
    QTest::newRow("catch-up, every day posted")
        << term << "committed" << 5 << 4 << 512
        << QByteArray("contardc: stopped by SIGTERM after the posting was committed; posted: 2026-12-01 to "
                      "2026-12-05\n")
        << 0;
    QTest::newRow("catch-up of one day, posted")
        << term << "committed" << 1 << 0 << 512
        << QByteArray("contardc: stopped by SIGTERM after the posting was committed; posted: 2026-12-01\n") << 0;
    QTest::newRow("a short buffer") << term << "none" << 0 << 0 << 12 << QByteArray("contardc: s") << 75;
    QTest::newRow("no room at all") << term << "none" << 0 << 0 << 0 << QByteArray() << 75;
}

void TestRunEnd::line()
{
    QFETCH(int, cause);
    QFETCH(QString, stage);
    QFETCH(int, days);
    QFETCH(int, committed);
    QFETCH(int, size);
    QFETCH(QByteArray, line);
    QFETCH(int, exitCode);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const Ended ended = runChild(dir, false, [&](int) {
        endAtDeadline(9);
        prepareCatchUp(range(days));
        note(stage, committed);
        char buffer[600];
        std::memset(buffer, 'x', sizeof buffer);
        const int length = endLine(EndCause(cause), buffer, size);
        // Never past the buffer, and its text ends in a NUL.
        const bool bounded = (size == 0 || buffer[length] == '\0') && buffer[std::max(size, 1)] == 'x';
        [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, buffer, static_cast<std::size_t>(length));
        ::_exit(bounded ? endExitCode() : 98);
    });
    QVERIFY(ended.exited);
    QCOMPARE(ended.err, line);
    QCOMPARE(ended.exitCode, exitCode);
}

// A stop request or the deadline ends the process with its line on standard
// error, the same in the run log, and its exit code.
void TestRunEnd::stopOrDeadline_data()
{
    QTest::addColumn<int>("signal");  // 0: the deadline
    QTest::addColumn<QString>("stage");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("SIGTERM before posting") << int(SIGTERM) << "none"
                                            << QByteArray("contardc: stopped by SIGTERM; nothing was posted\n") << 75;
    QTest::newRow("SIGHUP during the posting")
        << int(SIGHUP) << "out"
        << QByteArray("contardc: stopped by SIGHUP during the posting; the database rolls it back, unless its "
                      "commit was already on its way\n")
        << 75;
    QTest::newRow("SIGINT after the commit")
        << int(SIGINT) << "committed" << QByteArray("contardc: stopped by SIGINT after the posting was committed\n")
        << 0;
    QTest::newRow("the deadline before posting")
        << 0 << "none" << QByteArray("contardc: timed out after 9 s; nothing was posted\n") << 75;
}

void TestRunEnd::stopOrDeadline()
{
    QFETCH(int, signal);
    QFETCH(QString, stage);
    QFETCH(QByteArray, line);
    QFETCH(int, exitCode);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const Ended ended = runChild(dir, false, [&](int log) {
        endOnStopRequest();
        endAtDeadline(9);
        prepareEndLog(log, kHead, " (ignored: \"-x\")");
        note(stage, 0);
        if (signal != 0)
            ::raise(signal);
        else
            endNow(EndCause::Deadline);
    });
    QVERIFY2(ended.exited, "the process did not end");
    QCOMPARE(ended.exitCode, exitCode);
    QCOMPARE(ended.err, line);
    const QByteArray outcome = line.mid(int(std::strlen("contardc: ")), line.size() - 11);
    QCOMPARE(withoutSeconds(ended.log), kHead + outcome + " (ignored: \"-x\")\t" + QByteArray::number(exitCode) + "\t");
    QVERIFY2(ended.log.endsWith("\n") && ended.log.count('\n') == 1, ended.log.constData());
}

// The run came to its end by itself: a deadline that comes after that writes
// nothing and changes nothing.
void TestRunEnd::ownEndFirst()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const Ended ended = runChild(dir, false, [](int log) {
        endOnStopRequest();
        endAtDeadline(9);
        prepareEndLog(log, kHead, "");
        note("committed", 0);
        claimOwnEnd(5);
        endNow(EndCause::Deadline);
        [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, "went on\n", 8);
        ::_exit(5);
    });
    QVERIFY2(ended.exited, "the process did not end");
    QCOMPARE(ended.exitCode, 5);
    QCOMPARE(ended.err, QByteArray("went on\n"));
    QCOMPARE(ended.log, QByteArray());
}

// The deadline came first and is writing its line (to a standard error that
// nobody reads): the run's own end that comes meanwhile must neither return
// nor change the exit code.
void TestRunEnd::deadlineFirst()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString logPath = dir.filePath("run.log");
    const Ended ended = runChild(dir, true, [logPath](int log) {
        endOnStopRequest();
        endAtDeadline(9);
        prepareEndLog(log, kHead, "");
        note("out", 0);
        stallStandardError();
        std::thread([] { endNow(EndCause::Deadline); }).detach();
        // The deadline owns the end once its log line is there.
        QFile written(logPath);
        while (written.size() == 0)
            ::usleep(1000);
        claimOwnEnd(0);
        ::_exit(42);  // the run's own end must never get here
    });
    QVERIFY2(ended.exited, "the process did not end");
    QCOMPARE(ended.exitCode, 75);
    QVERIFY2(ended.log.startsWith(QByteArray(kHead) + "timed out after 9 s during the posting"), ended.log.constData());
}

// What the deadline writes cannot hold the process: standard error full and
// never read, it still ends, with the deadline's code, its log line written.
void TestRunEnd::standardErrorNobodyReads()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const Ended ended = runChild(dir, true, [](int log) {
        endOnStopRequest();
        endAtDeadline(9);
        prepareEndLog(log, kHead, "");
        stallStandardError();
        endNow(EndCause::Deadline);
    });
    QVERIFY2(ended.exited, "the process did not end");
    QCOMPARE(ended.exitCode, 75);
    QCOMPARE(withoutSeconds(ended.log), QByteArray(kHead) + "timed out after 9 s; nothing was posted\t75\t");
}

// Ctrl-C at the password prompt, its echo off: the terminal gets its echo back.
void TestRunEnd::terminalRestored()
{
    int master = -1;
    int terminal = -1;
    QVERIFY(::openpty(&master, &terminal, nullptr, nullptr, nullptr) == 0);
    termios before{};
    QCOMPARE(::tcgetattr(terminal, &before), 0);
    QVERIFY(before.c_lflag & ECHO);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const Ended ended = runChild(dir, false, [terminal](int) {
        endOnStopRequest();
        termios saved{};
        ::tcgetattr(terminal, &saved);
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        noteQuietTerminal(terminal, saved);
        ::tcsetattr(terminal, TCSANOW, &quiet);
        ::raise(SIGINT);
    });
    QVERIFY2(ended.exited, "the process did not end");
    QCOMPARE(ended.exitCode, 75);
    QCOMPARE(ended.err, QByteArray("\ncontardc: stopped by SIGINT; nothing was posted\n"));
    termios after{};
    QCOMPARE(::tcgetattr(terminal, &after), 0);
    QVERIFY(after.c_lflag & ECHO);
    ::close(master);
    ::close(terminal);
}

// Descriptors 0-2 closed at start (`contardc ... >&-`) are opened on
// /dev/null, so that the next file opened takes none of their places.
void TestRunEnd::closedStandardStreams_data()
{
    QTest::addColumn<QList<int>>("closed");
    QTest::newRow("standard input") << QList<int>{0};
    QTest::newRow("standard output") << QList<int>{1};
    QTest::newRow("standard error") << QList<int>{2};
    QTest::newRow("output and error") << QList<int>{1, 2};
    QTest::newRow("all three") << QList<int>{0, 1, 2};
}

void TestRunEnd::closedStandardStreams()
{
    QFETCH(QList<int>, closed);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray file = QFile::encodeName(dir.filePath("opened"));
    const pid_t pid = ::fork();
    if (pid == 0) {
        for (int fd : closed)
            ::close(fd);
        openClosedStandardStreams();
        const int opened = ::open(file.constData(), O_WRONLY | O_CREAT, 0600);
        bool good = opened > 2;
        for (int fd = 0; fd <= 2; ++fd) {
            struct stat info {};
            good = good && ::fstat(fd, &info) == 0 && (!closed.contains(fd) || S_ISCHR(info.st_mode));
        }
        ::_exit(good ? 0 : 1);
    }
    int status = 0;
    QCOMPARE(::waitpid(pid, &status, 0), pid);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
}

QTEST_GUILESS_MAIN(TestRunEnd)
#include "tst_run_end.moc"
