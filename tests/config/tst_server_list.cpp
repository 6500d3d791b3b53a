// The server list file: its bytes, reading it without sharing, and the load
// from the registry export to the list of entries.

#include "cases/install_dir_cases.h"
#include "cases/server_list_cases.h"
#include "config/install_dir.h"
#include "config/registry.h"
#include "config/server_list.h"
#include "printable.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <optional>
#include <stdexcept>

namespace {

struct Read {
    std::vector<std::string> entries;
    std::optional<std::string> error;
};

template <typename Reader>
Read attempt(Reader reader)
{
    Read read;
    try {
        read.entries = reader();
    } catch (const std::runtime_error& e) {
        read.error = e.what();
    }
    return read;
}

void writeFile(const QString& path, const std::string& bytes)
{
    std::ofstream out(QFile::encodeName(path).toStdString(), std::ios::binary);
    out << bytes;
    QVERIFY(out.good());
}

// True when this process can take the file's lock right now, which it cannot
// while a descriptor that holds the lock is still open.
bool lockIsFree(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free;
}

void addCaseRows()
{
    QTest::addColumn<int>("index");
    for (std::size_t i = 0; i < cases::kServerListCases.size(); ++i)
        QTest::newRow(cases::kServerListCases[i].name) << int(i);
}

void checkCase(const cases::ServerListCase& c, const Read& read)
{
    if (c.rangeError) {
        QCOMPARE(printable(read.error.value_or("")), QByteArray("Range check error"));
        return;
    }
    QCOMPARE(printable(read.error.value_or("")), QByteArray());
    QCOMPARE(printable(read.entries), printable(c.entries));
}

} // namespace

class TestServerList : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { m_savedHklm = qgetenv("LEDGARA_HKLM"); m_hadHklm = qEnvironmentVariableIsSet("LEDGARA_HKLM"); }
    void cleanup()
    {
        if (m_hadHklm)
            qputenv("LEDGARA_HKLM", m_savedHklm);
        else
            qunsetenv("LEDGARA_HKLM");
    }

    void parse_data() { addCaseRows(); }
    void parse()
    {
        QFETCH(int, index);
        const cases::ServerListCase& c = cases::kServerListCases[std::size_t(index)];
        checkCase(c, attempt([&] { return parseServerList(c.bytes); }));
    }

    // The same bytes from a file; afterwards the file must be closed again,
    // which shows as its lock being free, also after the range error.
    void readFile_data() { addCaseRows(); }
    void readFile()
    {
        QFETCH(int, index);
        const cases::ServerListCase& c = cases::kServerListCases[std::size_t(index)];
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath("SERVIDORES.cfg");
        writeFile(path, c.bytes);

        checkCase(c, attempt([&] { return readServerList(QFile::encodeName(path).toStdString()); }));
        QVERIFY(lockIsFree(path));
    }

    void manyLinesInOneFile()
    {
        std::string bytes;
        std::vector<std::string> expected;
        for (int i = 0; i < 500; ++i) {
            expected.push_back("servidor-" + std::to_string(i) + std::string(std::size_t(i % 200), '.'));
            bytes += expected.back() + (i % 3 == 0 ? "\r" : i % 3 == 1 ? "\n" : "\r\n");
        }
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath("SERVIDORES.cfg");
        writeFile(path, bytes);
        QCOMPARE(printable(readServerList(QFile::encodeName(path).toStdString())), printable(expected));
    }

    void cannotOpen_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("no such file") << QString("missing");
        QTest::newRow("a directory of that name") << QString("directory");
        QTest::newRow("a FIFO of that name") << QString("fifo");
        QTest::newRow("directory part missing") << QString("missing-dir");
    }
    void cannotOpen()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QString path = dir.filePath("SERVIDORES.cfg");
        if (kind == "directory")
            QVERIFY(QDir(dir.path()).mkdir("SERVIDORES.cfg"));
        else if (kind == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (kind == "missing-dir")
            path = dir.filePath("nowhere/SERVIDORES.cfg");

        QCOMPARE(printable(readServerList(QFile::encodeName(path).toStdString())), QByteArray("[]"));
    }

    // Another open file description holding the lock, as another process of
    // the same kind does while it reads or writes the file. Even a reader's
    // shared lock refuses the reading, as a second open without sharing fails.
    void heldByAnotherDescription_data()
    {
        QTest::addColumn<int>("lock");
        QTest::newRow("exclusive lock") << LOCK_EX;
        QTest::newRow("shared lock") << LOCK_SH;
    }
    void heldByAnotherDescription()
    {
        QFETCH(int, lock);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath("SERVIDORES.cfg");
        writeFile(path, "srv1\r\nsrv2\r\n");
        const std::string name = QFile::encodeName(path).toStdString();

        const int holder = ::open(name.c_str(), O_RDWR | O_CLOEXEC);
        QVERIFY(holder >= 0);
        QCOMPARE(::flock(holder, lock | LOCK_NB), 0);
        const std::vector<std::string> whileHeld = readServerList(name);
        ::close(holder);

        QCOMPARE(printable(whileHeld), QByteArray("[]"));
        QCOMPARE(printable(readServerList(name)), QByteArray("[\"srv1\"|\"srv2\"]"));
    }

    void heldByAnotherProcess()
    {
        const QString flock = QStandardPaths::findExecutable("flock");
        if (flock.isEmpty())
            QSKIP("the flock command of util-linux is not installed");
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath("SERVIDORES.cfg");
        writeFile(path, "srv1\r\n");
        const std::string name = QFile::encodeName(path).toStdString();

        // The other process holds the lock until its standard input closes.
        QProcess other;
        other.start(flock, {"--exclusive", path, "sh", "-c", "echo held; read line"});
        QVERIFY(other.waitForStarted());
        QVERIFY(other.waitForReadyRead());
        QCOMPARE(other.readLine().trimmed(), QByteArray("held"));

        const std::vector<std::string> whileHeld = readServerList(name);
        other.closeWriteChannel();
        QVERIFY(other.waitForFinished());

        QCOMPARE(printable(whileHeld), QByteArray("[]"));
        QCOMPARE(printable(readServerList(name)), QByteArray("[\"srv1\"]"));
    }

    void path_data()
    {
        QTest::addColumn<QByteArray>("installDir");
        QTest::addColumn<QByteArray>("path");
        const std::string sep = cases::kSeparator;
        QTest::newRow("directory") << QByteArray("/opt/ledgara")
                                   << QByteArray::fromStdString("/opt/ledgara" + sep + "SERVIDORES.cfg");
        QTest::newRow("directory with a trailing separator gets another")
            << QByteArray::fromStdString("/opt/ledgara" + sep)
            << QByteArray::fromStdString("/opt/ledgara" + sep + sep + "SERVIDORES.cfg");
        QTest::newRow("empty directory: the root folder") << QByteArray()
                                                          << QByteArray::fromStdString(sep + "SERVIDORES.cfg");
    }
    void path()
    {
        QFETCH(QByteArray, installDir);
        QFETCH(QByteArray, path);
        QCOMPARE(printable(serverListPath(installDir.toStdString())), path);
    }

    // From the registry export that LEDGARA_HKLM names to the entries of the
    // server list file in the directory it records.
    void loadThroughTheRegistry()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString erp = dir.filePath("Ledgara ERP");
        QVERIFY(QDir(dir.path()).mkdir("Ledgara ERP"));
        writeFile(erp + "/SERVIDORES.cfg", "127.0.0.1:3050\r\nserver2/3051:/srv/fb\r\n");
        std::string escaped;
        for (char c : QFile::encodeName(erp).toStdString()) {
            if (c == '\\' || c == '"')
                escaped += '\\';
            escaped += c;
        }
        writeFile(dir.filePath("hklm.reg"),
                  cases::kV5 + cases::kErpKey + "\"Directorio\"=\"" + escaped + "\"\r\n");
        qputenv("LEDGARA_HKLM", QFile::encodeName(dir.filePath("hklm.reg")));

        std::vector<std::string> messages;
        const std::unique_ptr<Registry> registry = systemRegistry();
        const std::string installDir =
            lookupInstallDir(*registry, [&](const std::string& text) { messages.push_back(text); });
        const std::vector<std::string> entries = readServerList(serverListPath(installDir));

        QCOMPARE(printable(messages), QByteArray("[]"));
        QCOMPARE(printable(installDir), QFile::encodeName(erp));
        QCOMPARE(printable(entries), QByteArray("[\"127.0.0.1:3050\"|\"server2/3051:/srv/fb\"]"));
    }

private:
    QByteArray m_savedHklm;
    bool m_hadHklm = false;
};

QTEST_GUILESS_MAIN(TestServerList)
#include "tst_server_list.moc"
