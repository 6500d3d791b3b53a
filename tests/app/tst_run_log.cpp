// The run log: the line a run leaves, its rotation, runs that log at the same
// time, and a log that cannot be written or is no regular file.

#include "app/run_log.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    QCOMPARE(file.write(bytes), bytes.size());
}

std::string local(const QString& path) { return QFile::encodeName(path).toStdString(); }

QByteArray reason(const std::string& path, const char* why)
{
    return QByteArray("contardc: the run log ") + path.c_str() + " could not be written: " + why;
}

void restoreVariable(const char* name, const std::optional<QByteArray>& value)
{
    if (value)
        qputenv(name, *value);
    else
        qunsetenv(name);
}

std::optional<QByteArray> savedVariable(const char* name)
{
    return qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt;
}

const RunRecord kRecord{1796952667, "srv", "01", false, "nothing to post", 0, 1.5};

// Places a log cannot be written to.
enum class Unwritable {
    FolderIsAFile,    // the log's folder is a regular file
    AboveIsAFile,     // a folder above it is a regular file
    LogIsAFolder,
    Device,           // /dev/full in the log's place
    Fifo,             // a FIFO that nobody reads
    FifoBeingRead,    // a FIFO with a reader
    PlantedLink,      // a symbolic link in the log's place, to another file
    RotatedIsAFolder, // a full log whose ".1" is a folder with something in it
    ReadOnlyFolder,
    ReadOnlyLog,
    FullLogInReadOnlyFolder,
};

// The user the permission cases run as when the test runs as root, whom
// permissions do not stop.
constexpr uid_t kNobody = 65534;

// Appends the line to the log as the user that owns `dir`: a child process
// that takes that user on when this one is root.
std::string appendAsOwnerOf(const QString& dir, const std::string& path, const std::string& line)
{
    if (::geteuid() != 0)
        return appendRunLog(path, line);
    int result[2];
    if (::pipe(result) != 0)
        return "pipe failed";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(result[0]);
        struct stat owner {};
        const bool became = ::stat(QFile::encodeName(dir).constData(), &owner) == 0 &&
                            ::setgroups(0, nullptr) == 0 && ::setgid(owner.st_gid) == 0 && ::setuid(owner.st_uid) == 0;
        const std::string text = became ? appendRunLog(path, line) : std::string("could not become the owner");
        [[maybe_unused]] const ssize_t n = ::write(result[1], text.data(), text.size());
        ::_exit(0);
    }
    ::close(result[1]);
    std::string text;
    char buffer[1024];
    for (ssize_t n; (n = ::read(result[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(n));
    ::close(result[0]);
    ::waitpid(pid, nullptr, 0);
    return text;
}

// Gives everything under dir to the user the permission cases run as.
void giveToNobody(const QString& dir)
{
    QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    QStringList paths{dir};
    while (it.hasNext())
        paths << it.next();
    for (const QString& path : paths)
        QVERIFY(::lchown(QFile::encodeName(path).constData(), kNobody, kNobody) == 0);
}

} // namespace

Q_DECLARE_METATYPE(Unwritable)

class TestRunLog : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void line_data();
    void line();
    void rotation_data();
    void rotation();
    void makesItsFolders();
    void runsAtOnceWriteWholeLines();
    void unwritable_data();
    void unwritable();
    void shortWrite();

private:
    std::optional<QByteArray> m_tz;
};

void TestRunLog::initTestCase()
{
    m_tz = savedVariable("TZ");
}

void TestRunLog::cleanup()
{
    restoreVariable("TZ", m_tz);
    tzset();
}

void TestRunLog::line_data()
{
    QTest::addColumn<QByteArray>("tz");
    QTest::addColumn<qint64>("start");
    QTest::addColumn<QByteArray>("server");
    QTest::addColumn<QByteArray>("company");
    QTest::addColumn<bool>("niif");
    QTest::addColumn<QByteArray>("outcome");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray cet = "CET-1CEST,M3.5.0,M10.5.0/3";
    const qint64 december = 1796952667;  // 2026-12-11 01:31:07 UTC

    QTest::newRow("universal time is +00:00, not Z")
        << QByteArray("UTC0") << december << QByteArray("erp.local") << QByteArray("01") << false
        << QByteArray("posted: 3 A, 1 R") << 0 << 12.34
        << QByteArray("2026-12-11T01:31:07+00:00\terp.local\t01\tplain\tposted: 3 A, 1 R\t0\t12.3\n");
    QTest::newRow("five hours behind, the day before")
        << QByteArray("<-05>5") << december << QByteArray("10.0.0.5") << QByteArray("02") << true
        << QByteArray("nothing to post") << 0 << 0.96
        << QByteArray("2026-12-10T20:31:07-05:00\t10.0.0.5\t02\tNIIF\tnothing to post\t0\t1.0\n");
    QTest::newRow("half an hour ahead")
        << QByteArray("<+0530>-5:30") << december << QByteArray("srv") << QByteArray("01") << false
        << QByteArray("nothing to post") << 0 << 0.0
        << QByteArray("2026-12-11T07:01:07+05:30\tsrv\t01\tplain\tnothing to post\t0\t0.0\n");
    QTest::newRow("half an hour behind")
        << QByteArray("<-0330>3:30") << december << QByteArray("srv") << QByteArray("01") << false
        << QByteArray("nothing to post") << 0 << 3600.04
        << QByteArray("2026-12-10T22:01:07-03:30\tsrv\t01\tplain\tnothing to post\t0\t3600.0\n");
    QTest::newRow("winter time")
        << cet << december << QByteArray("srv") << QByteArray("01") << false
        << QByteArray("nothing to post") << 0 << 2.0
        << QByteArray("2026-12-11T02:31:07+01:00\tsrv\t01\tplain\tnothing to post\t0\t2.0\n");
    QTest::newRow("summer time")
        << cet << qint64(1782900000) << QByteArray("srv") << QByteArray("01") << false
        << QByteArray("nothing to post") << 0 << 2.0
        << QByteArray("2026-07-01T12:00:00+02:00\tsrv\t01\tplain\tnothing to post\t0\t2.0\n");
    QTest::newRow("the last second before the clocks go forward")
        << cet << qint64(1774745999) << QByteArray("srv") << QByteArray("01") << false
        << QByteArray("nothing to post") << 0 << 2.0
        << QByteArray("2026-03-29T01:59:59+01:00\tsrv\t01\tplain\tnothing to post\t0\t2.0\n");
    QTest::newRow("the first second after")
        << cet << qint64(1774746000) << QByteArray("srv") << QByteArray("01") << false
        << QByteArray("nothing to post") << 0 << 2.0
        << QByteArray("2026-03-29T03:00:00+02:00\tsrv\t01\tplain\tnothing to post\t0\t2.0\n");
    QTest::newRow("before 1970")
        << QByteArray("UTC0") << qint64(-1) << QByteArray("srv") << QByteArray("01") << false
        << QByteArray("nothing to post") << 0 << 2.0
        << QByteArray("1969-12-31T23:59:59+00:00\tsrv\t01\tplain\tnothing to post\t0\t2.0\n");

    QTest::newRow("tabs, CR and LF in the fields become blanks")
        << QByteArray("UTC0") << december << QByteArray("srv\tone") << QByteArray("0\r\n1") << false
        << QByteArray("335 Lock time-out on wait transaction\ndeadlock\r\n") << 1 << 30.26
        << QByteArray("2026-12-11T01:31:07+00:00\tsrv one\t0  1\tplain\t"
                      "335 Lock time-out on wait transaction deadlock  \t1\t30.3\n");
    // The log is UTF-8 whole: the command line's words are the system's
    // (UTF-8 here), the outcome the program's own text (Windows-1252).
    QTest::newRow("UTF-8 whole")
        << QByteArray("UTC0") << december << QByteArray("servidor-contabilidad") << QByteArray("\xC3\xB1/x")
        << false << QByteArray("El c\xF3" "digo de empresa no es v\xE1" "lido \x80") << 1 << 0.04
        << QByteArray("2026-12-11T01:31:07+00:00\tservidor-contabilidad\t\xC3\xB1/x\tplain\t"
                      "El c\xC3\xB3" "digo de empresa no es v\xC3\xA1" "lido \xE2\x82\xAC\t1\t0.0\n");
    QTest::newRow("a word's byte that is no text")
        << QByteArray("UTC0") << december << QByteArray("srv") << QByteArray("Compa\xF1\xED" "a") << false
        << QByteArray("nothing to post") << 0 << 0.0
        << QByteArray("2026-12-11T01:31:07+00:00\tsrv\tCompa\xEF\xBF\xBD\xEF\xBF\xBD" "a\tplain\tnothing to post\t0\t0.0\n");
    QTest::newRow("empty fields keep their place")
        << QByteArray("UTC0") << december << QByteArray() << QByteArray() << true << QByteArray() << 2 << 1.0
        << QByteArray("2026-12-11T01:31:07+00:00\t\t\tNIIF\t\t2\t1.0\n");
}

void TestRunLog::line()
{
    QFETCH(QByteArray, tz);
    QFETCH(qint64, start);
    QFETCH(QByteArray, server);
    QFETCH(QByteArray, company);
    QFETCH(bool, niif);
    QFETCH(QByteArray, outcome);
    QFETCH(int, exitCode);
    QFETCH(double, seconds);
    QFETCH(QByteArray, expected);

    qputenv("TZ", tz);
    tzset();
    const RunRecord record{static_cast<std::time_t>(start), server.toStdString(), company.toStdString(), niif,
                           outcome.toStdString(), exitCode, seconds};
    QCOMPARE(QByteArray::fromStdString(runLogLine(record)), expected);
}

void TestRunLog::rotation_data()
{
    QTest::addColumn<qint64>("size");  // of the log before the run; -1: no log yet
    QTest::addColumn<bool>("olderRotated");
    QTest::addColumn<bool>("rotates");

    const qint64 bound = qint64(kRunLogBound);
    QTest::newRow("no log yet") << qint64(-1) << false << false;
    QTest::newRow("an empty log") << qint64(0) << false << false;
    QTest::newRow("one byte short of 1 MB") << bound - 1 << false << false;
    QTest::newRow("one byte short, an older .1 kept") << bound - 1 << true << false;
    QTest::newRow("exactly 1 MB") << bound << false << true;
    QTest::newRow("past 1 MB") << bound + 4096 << false << true;
    QTest::newRow("exactly 1 MB, an older .1 replaced") << bound << true << true;
}

void TestRunLog::rotation()
{
    QFETCH(qint64, size);
    QFETCH(bool, olderRotated);
    QFETCH(bool, rotates);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString log = dir.filePath("contardc.log");
    const QString rotated = log + ".1";
    const QByteArray before(size < 0 ? 0 : size, 'x');
    if (size >= 0)
        writeFile(log, before);
    const QByteArray older = "an older run\n";
    if (olderRotated)
        writeFile(rotated, older);
    const std::string line = runLogLine(kRecord);

    QCOMPARE(QByteArray::fromStdString(appendRunLog(local(log), line)), QByteArray());

    const QByteArray added = QByteArray::fromStdString(line);
    QCOMPARE(readAll(log), rotates ? added : before + added);
    if (rotates)
        QCOMPARE(readAll(rotated), before);
    else if (olderRotated)
        QCOMPARE(readAll(rotated), older);
    else
        QVERIFY(!QFile::exists(rotated));
}

void TestRunLog::makesItsFolders()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString log = dir.filePath("state/contardc/contardc.log");
    const mode_t mask = ::umask(022);

    const std::string result = appendRunLog(local(log), runLogLine(kRecord));
    ::umask(mask);

    QCOMPARE(QByteArray::fromStdString(result), QByteArray());
    QCOMPARE(readAll(log), QByteArray::fromStdString(runLogLine(kRecord)));
    // The log says which servers and companies are posted and when: the
    // user's own, as the rest of the state folder.
    for (const auto& [path, mode] : {std::pair{dir.filePath("state"), 0700}, {dir.filePath("state/contardc"), 0700},
                                     {log, 0600}}) {
        struct stat info {};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), 0);
        QCOMPARE(int(info.st_mode & 07777), mode);
    }
}

void TestRunLog::runsAtOnceWriteWholeLines()
{
    constexpr int kThreads = 8;
    constexpr int kLines = 200;

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString log = dir.filePath("contardc.log");
    // Close enough to the bound that the file is rotated while the threads
    // write: exactly once, since what they write afterwards is far below it.
    const QByteArray filler = QByteArray(99, '#') + '\n';
    const int fillerLines = int((qsizetype(kRunLogBound) - 5000) / filler.size());
    writeFile(log, filler.repeated(fillerLines));

    std::vector<std::vector<std::string>> reasons(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kLines; ++i) {
                RunRecord record = kRecord;
                record.server = "thread " + std::to_string(t);
                record.outcome = "line " + std::to_string(i);
                record.exitCode = t;
                if (std::string reason = appendRunLog(local(log), runLogLine(record)); !reason.empty())
                    reasons[t].push_back(reason);
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    for (const auto& failures : reasons)
        QVERIFY2(failures.empty(), failures.empty() ? "" : failures.front().c_str());

    const QByteArray older = readAll(log + ".1");
    const QByteArray newer = readAll(log);
    QVERIFY(older.startsWith(filler.repeated(fillerLines)));
    QVERIFY(older.endsWith('\n'));
    QVERIFY(newer.endsWith('\n'));

    int fillersSeen = 0;
    QSet<QByteArray> seen;
    const QList<QByteArray> lines = (older + newer).split('\n');
    for (qsizetype n = 0; n + 1 < lines.size(); ++n) {
        const QByteArray& text = lines[n];
        if (text + '\n' == filler) {
            ++fillersSeen;
            continue;
        }
        const QList<QByteArray> fields = text.split('\t');
        QVERIFY2(fields.size() == 7, text.constData());
        QVERIFY2(fields[1].startsWith("thread ") && fields[4].startsWith("line "), text.constData());
        QCOMPARE(fields[5], fields[1].mid(7));
        const int t = fields[1].mid(7).toInt();
        const int i = fields[4].mid(5).toInt();
        QVERIFY2(t >= 0 && t < kThreads && i >= 0 && i < kLines, text.constData());
        QVERIFY2(!seen.contains(fields[1] + '/' + fields[4]), text.constData());
        seen.insert(fields[1] + '/' + fields[4]);
    }
    QCOMPARE(fillersSeen, fillerLines);
    QCOMPARE(seen.size(), kThreads * kLines);
}

void TestRunLog::unwritable_data()
{
    QTest::addColumn<Unwritable>("place");
    QTest::addColumn<QByteArray>("why");

    const QByteArray notAFile = "it is not a regular file";
    QTest::newRow("its folder is a file") << Unwritable::FolderIsAFile << QByteArray(std::strerror(ENOTDIR));
    QTest::newRow("a folder above is a file") << Unwritable::AboveIsAFile << QByteArray(std::strerror(ENOTDIR));
    QTest::newRow("the log is a folder") << Unwritable::LogIsAFolder << QByteArray(std::strerror(EISDIR));
    QTest::newRow("a device in its place") << Unwritable::Device << notAFile;
    QTest::newRow("a FIFO nobody reads") << Unwritable::Fifo << notAFile;
    QTest::newRow("a FIFO somebody reads") << Unwritable::FifoBeingRead << notAFile;
    QTest::newRow("a symbolic link planted in its place")
        << Unwritable::PlantedLink << QByteArray("it is a symbolic link, which the run log never follows");
    QTest::newRow("a full log whose .1 is a folder")
        << Unwritable::RotatedIsAFolder << QByteArray(std::strerror(EISDIR));
    QTest::newRow("a read-only folder") << Unwritable::ReadOnlyFolder << QByteArray(std::strerror(EACCES));
    QTest::newRow("a read-only log") << Unwritable::ReadOnlyLog << QByteArray(std::strerror(EACCES));
    QTest::newRow("a full log in a read-only folder")
        << Unwritable::FullLogInReadOnlyFolder << QByteArray(std::strerror(EACCES));
}

void TestRunLog::unwritable()
{
    QFETCH(Unwritable, place);
    QFETCH(QByteArray, why);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray kept = "an earlier run\n";
    const QByteArray full(qsizetype(kRunLogBound), 'x');
    // The file that must come out as it went in, and what it holds.
    QString watched;
    QByteArray content;
    QString log = dir.filePath("contardc.log");
    std::unique_ptr<QFile> reader;
    switch (place) {
    case Unwritable::FolderIsAFile:
        watched = dir.filePath("state");
        content = kept;
        log = watched + "/contardc.log";
        break;
    case Unwritable::AboveIsAFile:
        watched = dir.filePath("state");
        content = kept;
        log = watched + "/contardc/contardc.log";
        break;
    case Unwritable::LogIsAFolder:
        QVERIFY(QDir(dir.path()).mkdir("contardc.log"));
        break;
    case Unwritable::Device:
        log = "/dev/full";
        QVERIFY(QFile::exists(log));
        break;
    case Unwritable::Fifo:
    case Unwritable::FifoBeingRead:
        QCOMPARE(::mkfifo(QFile::encodeName(log).constData(), 0600), 0);
        if (place == Unwritable::FifoBeingRead) {
            const int fd = ::open(QFile::encodeName(log).constData(), O_RDONLY | O_NONBLOCK);
            QVERIFY(fd >= 0);
            reader = std::make_unique<QFile>();
            QVERIFY(reader->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
        }
        break;
    case Unwritable::PlantedLink:
        watched = dir.filePath("only-root-writes-here");
        content = kept;
        QVERIFY(QFile::link(watched, log));
        break;
    case Unwritable::RotatedIsAFolder:
        watched = log;
        content = full;
        QVERIFY(QDir(dir.path()).mkpath("contardc.log.1/kept"));
        break;
    case Unwritable::ReadOnlyFolder:
        break;
    case Unwritable::ReadOnlyLog:
        watched = log;
        content = kept;
        break;
    case Unwritable::FullLogInReadOnlyFolder:
        watched = log;
        content = full;
        break;
    }
    if (!watched.isEmpty())
        writeFile(watched, content);
    // Permissions stop every user but root: as root, the cases run as a user
    // of their own.
    const bool permissions = place == Unwritable::ReadOnlyFolder || place == Unwritable::ReadOnlyLog ||
                             place == Unwritable::FullLogInReadOnlyFolder;
    if (permissions && ::geteuid() == 0)
        giveToNobody(dir.path());
    if (place == Unwritable::ReadOnlyLog)
        QVERIFY(QFile::setPermissions(log, QFile::ReadOwner));
    if (place == Unwritable::ReadOnlyFolder || place == Unwritable::FullLogInReadOnlyFolder)
        QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));

    std::string result;
    try {
        result = permissions ? appendAsOwnerOf(dir.path(), local(log), runLogLine(kRecord))
                             : appendRunLog(local(log), runLogLine(kRecord));
    } catch (...) {
        QFAIL("appendRunLog threw");
    }
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QCOMPARE(QByteArray::fromStdString(result), reason(local(log), why.constData()));
    QVERIFY(!result.empty() && result.find('\n') == std::string::npos);
    if (!watched.isEmpty())
        QCOMPARE(readAll(watched), content);
    if (place == Unwritable::ReadOnlyFolder)
        QVERIFY(!QFile::exists(log));
    if (place == Unwritable::RotatedIsAFolder || place == Unwritable::FullLogInReadOnlyFolder)
        QVERIFY(!QFileInfo(log + ".1").isFile());
    if (reader)
        QCOMPARE(reader->readAll(), QByteArray());
}

// A write the system cuts short (a file size limit here; a full disk does the
// same) leaves part of the line: the caller hears of it.
void TestRunLog::shortWrite()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString log = dir.filePath("contardc.log");
    writeFile(log, QByteArray(100, 'x'));
    const std::string line = runLogLine(kRecord);
    QVERIFY(line.size() > 10);

    rlimit limit{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit before = limit;
    limit.rlim_cur = 110;
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    const std::string result = appendRunLog(local(log), line);
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, previous);

    const QByteArray why = "only 10 of " + QByteArray::number(qsizetype(line.size())) + " bytes were written";
    QCOMPARE(QByteArray::fromStdString(result), reason(local(log), why.constData()));
}

QTEST_GUILESS_MAIN(TestRunLog)
#include "tst_run_log.moc"
