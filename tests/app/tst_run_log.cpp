// The run log: the line a run leaves, where the log lives, its rotation, runs
// that log at the same time, and a log that cannot be written.

#include "app/run_log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
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

const QByteArray kUnset = "(unset)";

void setVariable(const char* name, const QByteArray& value)
{
    if (value == kUnset)
        qunsetenv(name);
    else
        qputenv(name, value);
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
    NoPlace,          // the path is empty: no state folder is known
    FolderIsAFile,    // the log's folder is a regular file
    AboveIsAFile,     // a folder above it is a regular file
    LogIsAFolder,
    FullDevice,       // /dev/full: the write itself fails
    RotatedIsAFolder, // a full log whose ".1" is a folder with something in it
    ReadOnlyFolder,
    ReadOnlyLog,
    FullLogInReadOnlyFolder,
};

} // namespace

Q_DECLARE_METATYPE(Unwritable)

class TestRunLog : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void line_data();
    void line();
    void defaultPath_data();
    void defaultPath();
    void rotation_data();
    void rotation();
    void makesItsFolders();
    void runsAtOnceWriteWholeLines();
    void unwritable_data();
    void unwritable();
    void shortWrite();

private:
    std::optional<QByteArray> m_tz, m_stateHome, m_home;
};

void TestRunLog::initTestCase()
{
    m_tz = savedVariable("TZ");
    m_stateHome = savedVariable("XDG_STATE_HOME");
    m_home = savedVariable("HOME");
}

void TestRunLog::cleanup()
{
    restoreVariable("TZ", m_tz);
    tzset();
    restoreVariable("XDG_STATE_HOME", m_stateHome);
    restoreVariable("HOME", m_home);
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
    QTest::newRow("the program's bytes as they are")
        << QByteArray("UTC0") << december << QByteArray("servidor-contabilidad") << QByteArray("Compa\xF1\xED" "a")
        << false << QByteArray("Conexi\xF3n rechazada \x80") << 1 << 0.04
        << QByteArray("2026-12-11T01:31:07+00:00\tservidor-contabilidad\tCompa\xF1\xED" "a\tplain\t"
                      "Conexi\xF3n rechazada \x80\t1\t0.0\n");
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

void TestRunLog::defaultPath_data()
{
    QTest::addColumn<QByteArray>("stateHome");
    QTest::addColumn<QByteArray>("home");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("XDG_STATE_HOME") << QByteArray("/var/state") << QByteArray("/home/ana")
                                    << QByteArray("/var/state/contardc/contardc.log");
    QTest::newRow("XDG_STATE_HOME with a trailing slash")
        << QByteArray("/var/state//") << QByteArray("/home/ana") << QByteArray("/var/state/contardc/contardc.log");
    QTest::newRow("XDG_STATE_HOME the root") << QByteArray("/") << kUnset << QByteArray("/contardc/contardc.log");
    QTest::newRow("XDG_STATE_HOME unset") << kUnset << QByteArray("/home/ana")
                                          << QByteArray("/home/ana/.local/state/contardc/contardc.log");
    QTest::newRow("XDG_STATE_HOME empty") << QByteArray() << QByteArray("/home/ana")
                                          << QByteArray("/home/ana/.local/state/contardc/contardc.log");
    QTest::newRow("XDG_STATE_HOME relative") << QByteArray("state") << QByteArray("/home/ana")
                                             << QByteArray("/home/ana/.local/state/contardc/contardc.log");
    QTest::newRow("HOME with a trailing slash") << kUnset << QByteArray("/home/ana/")
                                                << QByteArray("/home/ana/.local/state/contardc/contardc.log");
    QTest::newRow("HOME the root") << kUnset << QByteArray("/") << QByteArray("/.local/state/contardc/contardc.log");
    QTest::newRow("a name in UTF-8") << kUnset << QByteArray("/home/Jos\xC3\xA9")
                                     << QByteArray("/home/Jos\xC3\xA9/.local/state/contardc/contardc.log");
    QTest::newRow("both unset") << kUnset << kUnset << QByteArray();
    QTest::newRow("HOME empty") << kUnset << QByteArray() << QByteArray();
    QTest::newRow("HOME relative") << QByteArray() << QByteArray("home/ana") << QByteArray();
    QTest::newRow("XDG_STATE_HOME relative, HOME unset") << QByteArray("state") << kUnset << QByteArray();
}

void TestRunLog::defaultPath()
{
    QFETCH(QByteArray, stateHome);
    QFETCH(QByteArray, home);
    QFETCH(QByteArray, expected);

    setVariable("XDG_STATE_HOME", stateHome);
    setVariable("HOME", home);
    QCOMPARE(QByteArray::fromStdString(defaultRunLogPath()), expected);
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

    QTest::newRow("no state folder known")
        << Unwritable::NoPlace << QByteArray("no folder for it is known (neither XDG_STATE_HOME nor HOME names one)");
    QTest::newRow("its folder is a file") << Unwritable::FolderIsAFile << QByteArray(std::strerror(ENOTDIR));
    QTest::newRow("a folder above is a file") << Unwritable::AboveIsAFile << QByteArray(std::strerror(ENOTDIR));
    QTest::newRow("the log is a folder") << Unwritable::LogIsAFolder << QByteArray(std::strerror(EISDIR));
    QTest::newRow("a full device") << Unwritable::FullDevice << QByteArray(std::strerror(ENOSPC));
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

    const bool permissions = place == Unwritable::ReadOnlyFolder || place == Unwritable::ReadOnlyLog ||
                             place == Unwritable::FullLogInReadOnlyFolder;
    if (permissions && ::geteuid() == 0)
        QSKIP("the superuser writes whatever the permissions say");

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray kept = "an earlier run\n";
    const QByteArray full(qsizetype(kRunLogBound), 'x');
    // The file that must come out as it went in, and what it holds.
    QString watched;
    QByteArray content;
    QString log = dir.filePath("contardc.log");
    switch (place) {
    case Unwritable::NoPlace:
        log.clear();
        break;
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
    case Unwritable::FullDevice:
        log = "/dev/full";
        if (!QFile::exists(log))
            QSKIP("no /dev/full here");
        break;
    case Unwritable::RotatedIsAFolder:
        watched = log;
        content = full;
        QVERIFY(QDir(dir.path()).mkpath("contardc.log.1/kept"));
        break;
    case Unwritable::ReadOnlyFolder:
        QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
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
    if (place == Unwritable::ReadOnlyLog)
        QVERIFY(QFile::setPermissions(log, QFile::ReadOwner));
    if (place == Unwritable::FullLogInReadOnlyFolder)
        QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));

    std::string result;
    try {
        result = appendRunLog(local(log), runLogLine(kRecord));
    } catch (...) {
        QFAIL("appendRunLog threw");
    }
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    const QByteArray expected = log.isEmpty() ? "contardc: the run log could not be written: " + why
                                              : reason(local(log), why.constData());
    QCOMPARE(QByteArray::fromStdString(result), expected);
    QVERIFY(!result.empty() && result.find('\n') == std::string::npos);
    if (!watched.isEmpty())
        QCOMPARE(readAll(watched), content);
    if (place == Unwritable::ReadOnlyFolder)
        QVERIFY(!QFile::exists(log));
    if (place == Unwritable::RotatedIsAFolder || place == Unwritable::FullLogInReadOnlyFolder)
        QVERIFY(!QFileInfo(log + ".1").isFile());
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
