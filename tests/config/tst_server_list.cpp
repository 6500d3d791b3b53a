// The server list file: its bytes, reading it without sharing, and the load
// from the registry export to the list of entries.

#include "cases/install_dir_cases.h"
#include "cases/server_list_cases.h"
#include "config/install_dir.h"
#include "config/registry.h"
#include "config/server_list.h"
#include "open_files.h"
#include "printable.h"
#include "text/error.h"

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
    } catch (const ProgramError& e) {
        // Every failure here is the installation's: a caller is to have it mended.
        read.error = std::string(e.kind() == ErrorKind::Configuration ? "" : "(not a configuration error) ") + e.what();
    }
    return read;
}

void writeFile(const QString& path, const std::string& bytes)
{
    std::ofstream out(QFile::encodeName(path).toStdString(), std::ios::binary);
    out << bytes;
    QVERIFY(out.good());
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

    // The bytes arriving in pieces, as a file is read: a line, a CR LF pair
    // or a CR alone and the byte after it may be split anywhere.
    void pieces_data() { addCaseRows(); }
    void pieces()
    {
        QFETCH(int, index);
        const cases::ServerListCase& c = cases::kServerListCases[std::size_t(index)];
        const auto inPieces = [&](std::size_t size) {
            return attempt([&] {
                ServerListParser parser;
                for (std::size_t at = 0; at < c.bytes.size(); at += size)
                    parser.feed(std::string_view(c.bytes).substr(at, size));
                return std::move(parser).finish();
            });
        };
        checkCase(c, inPieces(1));
        if (QTest::currentTestFailed())
            QFAIL("fed one byte at a time");
        checkCase(c, inPieces(kServerListReadSize));
        if (QTest::currentTestFailed())
            QFAIL("fed in pieces of the reading's size");
        // Two pieces split at every place; the long cases only near their start.
        for (std::size_t split = 0; split <= std::min<std::size_t>(c.bytes.size(), 600); ++split) {
            checkCase(c, attempt([&] {
                ServerListParser parser;
                parser.feed(std::string_view(c.bytes).substr(0, split));
                parser.feed(std::string_view(c.bytes).substr(split));
                return std::move(parser).finish();
            }));
            if (QTest::currentTestFailed())
                QFAIL(qPrintable(QString("split at byte %1").arg(split)));
        }
    }

    // The same bytes from a file; afterwards no descriptor of this process
    // may point at the file, also after the range error.
    void readFile_data() { addCaseRows(); }
    void readFile()
    {
        QFETCH(int, index);
        const cases::ServerListCase& c = cases::kServerListCases[std::size_t(index)];
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath("SERVIDORES.cfg");
        writeFile(path, c.bytes);
        const std::string name = QFile::encodeName(path).toStdString();
        // The check sees a descriptor that is open.
        const int control = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
        QVERIFY(control >= 0);
        QCOMPARE(descriptorsOpenOn(name), 1);
        ::close(control);

        checkCase(c, attempt([&] { return readServerList(name); }));
        QCOMPARE(descriptorsOpenOn(name), 0);
    }

    // A file of several pieces, with a line end whose first byte is the last
    // byte of a piece: a CR there takes an LF that starts the next piece with
    // it, and leaves any other first byte to the next line.
    void acrossReadPieces_data()
    {
        QTest::addColumn<QByteArray>("seamEnd"); // the line end whose first byte ends the piece
        QTest::newRow("CR LF split") << QByteArray("\r\n");
        QTest::newRow("CR alone, the next line's first byte starts the piece") << QByteArray("\r");
        QTest::newRow("CR alone, an empty line's CR starts the piece") << QByteArray("\r\r");
        QTest::newRow("LF") << QByteArray("\n");
    }
    void acrossReadPieces()
    {
        QFETCH(QByteArray, seamEnd);
        std::string bytes;
        std::vector<std::string> expected;
        for (std::size_t i = 0; bytes.size() < 3 * kServerListReadSize; ++i) {
            const std::size_t seam = (bytes.size() / kServerListReadSize + 1) * kServerListReadSize;
            const std::string entry = "servidor-" + std::to_string(i) + std::string(i % 50, '.');
            // The next line would run over the seam: end a line on it instead.
            if (bytes.size() + entry.size() + 2 + 1 >= seam - 1) {
                const std::string fill(seam - 1 - bytes.size(), 'f');
                bytes += fill + seamEnd.toStdString();
                expected.push_back(fill);
                if (seamEnd == "\r\r")
                    expected.emplace_back();
                QCOMPARE(bytes[seam - 1], seamEnd[0]);
                continue;
            }
            bytes += entry + (i % 3 == 0 ? "\r" : i % 3 == 1 ? "\n" : "\r\n");
            expected.push_back(entry);
        }
        QVERIFY(expected.size() < kServerListMaxEntries);
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
        // util-linux is part of every Debian system: without it the machine is broken.
        const QString flock = QStandardPaths::findExecutable("flock");
        QVERIFY2(!flock.isEmpty(), "the flock command of util-linux is not installed");
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
    // server list file in the directory it records, a folder whose name is
    // not ASCII, in each encoding the export can have.
    void loadThroughTheRegistry_data()
    {
        QTest::addColumn<QString>("encoding");
        QTest::addColumn<QString>("folder");
        QTest::newRow("8-bit export, ASCII folder") << "8-bit" << "Ledgara ERP";
        QTest::newRow("8-bit export holding UTF-8, accented folder") << "8-bit" << QString::fromUtf8("Aplicación €");
        QTest::newRow("UTF-16 export, accented folder") << "UTF-16" << QString::fromUtf8("Aplicación €");
        QTest::newRow("UTF-16 export, folder beyond the BMP") << "UTF-16" << QString::fromUtf8("ERP \U0001F5C4");
        QTest::newRow("UTF-8 export with its mark, accented folder") << "UTF-8" << QString::fromUtf8("Aplicación €");
    }
    void loadThroughTheRegistry()
    {
        QFETCH(QString, encoding);
        QFETCH(QString, folder);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString erp = dir.filePath(folder);
        QVERIFY(QDir(dir.path()).mkdir(folder));
        writeFile(erp + "/SERVIDORES.cfg", "127.0.0.1:3050\r\nserver2/3051:/srv/fb\r\n");
        QString escaped = erp;
        escaped.replace("\\", "\\\\").replace("\"", "\\\"");
        const QString text = QString::fromStdString(cases::kV5 + cases::kErpKey) + "\"Directorio\"=\"" + escaped
                             + "\"\r\n";
        QByteArray bytes;
        if (encoding == "UTF-16") {
            bytes = "\xFF\xFE";
            for (const QChar unit : text) {
                bytes += char(unit.unicode() & 0xFF);
                bytes += char(unit.unicode() >> 8);
            }
        } else {
            bytes = (encoding == "UTF-8" ? QByteArray("\xEF\xBB\xBF") : QByteArray()) + text.toUtf8();
        }
        writeFile(dir.filePath("hklm.reg"), bytes.toStdString());
        qputenv("LEDGARA_HKLM", QFile::encodeName(dir.filePath("hklm.reg")));

        std::vector<std::string> messages;
        const std::unique_ptr<Registry> registry = systemRegistry();
        const std::string installDir =
            lookupInstallDir(*registry, [&](const std::string& message) { messages.push_back(message); });
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
