// The installation directory lookup: over registry export files held in
// memory, over an injected registry where the export cannot fail the way the
// system's registry can, and over export files on disk.

#include "cases/install_dir_cases.h"
#include "config/install_dir.h"
#include "config/reg_file_registry.h"
#include "printable.h"
#include "text/error.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <optional>
#include <stdexcept>

namespace {

struct Outcome {
    std::string directory;
    std::vector<std::string> messages;
    std::optional<std::string> error;
};

Outcome lookup(Registry& registry)
{
    Outcome outcome;
    try {
        outcome.directory =
            lookupInstallDir(registry, [&](const std::string& text) { outcome.messages.push_back(text); });
    } catch (const ProgramError& e) {
        // Every failure here is the installation's: a caller is to have it mended.
        outcome.error = std::string(e.kind() == ErrorKind::Configuration ? "" : "(not a configuration error) ") + e.what();
    }
    return outcome;
}

// What the injected registry was asked and whether its key was closed.
struct Trace {
    std::vector<std::string> openedKeys;
    std::vector<std::string> sizeQueries;
    std::vector<std::pair<std::string, std::uint32_t>> reads;
    int openKeys = 0;
};

struct FakeSetup {
    bool opens = true;
    std::optional<std::uint32_t> size;
    std::optional<RegistryValue> read;
};

class FakeKey final : public RegistryKey {
public:
    FakeKey(const FakeSetup& setup, Trace& trace) : m_setup(setup), m_trace(trace) { ++m_trace.openKeys; }
    ~FakeKey() override { --m_trace.openKeys; }

    std::optional<std::uint32_t> valueSize(const std::string& name) override
    {
        m_trace.sizeQueries.push_back(name);
        return m_setup.size;
    }
    std::optional<RegistryValue> readValue(const std::string& name, std::uint32_t size) override
    {
        m_trace.reads.emplace_back(name, size);
        return m_setup.read;
    }

private:
    FakeSetup m_setup;
    Trace& m_trace;
};

class FakeRegistry final : public Registry {
public:
    FakeRegistry(FakeSetup setup, Trace& trace) : m_setup(std::move(setup)), m_trace(trace) {}
    std::unique_ptr<RegistryKey> openLocalMachine(const std::string& subKey) override
    {
        m_trace.openedKeys.push_back(subKey);
        if (!m_setup.opens)
            return nullptr;
        return std::make_unique<FakeKey>(m_setup, m_trace);
    }

private:
    FakeSetup m_setup;
    Trace& m_trace;
};

// The export fed to the parser `pieceSize` bytes at a time, keeping every key
// or only the ERP's, then the lookup over it.
Outcome lookupInPieces(const std::string& bytes, std::size_t pieceSize, bool onlyTheErpKey)
{
    Outcome outcome;
    try {
        std::optional<std::string> onlyKey;
        if (onlyTheErpKey)
            onlyKey = std::string(kInstallKeyPath.substr(1));
        RegFileParser parser("fixture.reg", onlyKey);
        for (std::size_t at = 0; at < bytes.size(); at += pieceSize)
            parser.feed(std::string_view(bytes).substr(at, pieceSize));
        RegFileRegistry registry = std::move(parser).finish();
        outcome = lookup(registry);
    } catch (const std::runtime_error& e) {
        outcome.error = e.what();
    }
    return outcome;
}

void writeFile(const QString& path, const std::string& bytes)
{
    std::ofstream out(path.toStdString(), std::ios::binary);
    out << bytes;
    QVERIFY(out.good());
}

} // namespace

class TestInstallDir : public QObject {
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

    void fromExport_data()
    {
        QTest::addColumn<int>("index");
        for (std::size_t i = 0; i < cases::kInstallDirCases.size(); ++i)
            QTest::newRow(cases::kInstallDirCases[i].name) << int(i);
    }
    void fromExport()
    {
        QFETCH(int, index);
        const cases::InstallDirCase& c = cases::kInstallDirCases[std::size_t(index)];
        const std::string bytes = c.utf16 ? cases::toUtf16File(c.regFile) : c.regFile;
        RegFileRegistry registry = RegFileRegistry::fromBytes(bytes, "fixture.reg");

        const Outcome outcome = lookup(registry);

        if (c.informed)
            QCOMPARE(printable(outcome.messages), printable(std::vector<std::string>{cases::kKeyNotFoundNotice}));
        else
            QVERIFY(outcome.messages.empty());
        QCOMPARE(printable(outcome.error.value_or("")), printable(c.error));
        QCOMPARE(printable(outcome.directory), printable(c.directory));
    }

    void malformedExport_data()
    {
        QTest::addColumn<int>("index");
        for (std::size_t i = 0; i < cases::kRegFileErrorCases.size(); ++i)
            QTest::newRow(cases::kRegFileErrorCases[i].name) << int(i);
    }
    void malformedExport()
    {
        QFETCH(int, index);
        const cases::RegFileErrorCase& c = cases::kRegFileErrorCases[std::size_t(index)];
        const std::string bytes = c.utf16 ? cases::toUtf16File(c.regFile) : c.regFile;
        try {
            RegFileRegistry::fromBytes(bytes, "fixture.reg");
            QFAIL("accepted a file that is not a registry export");
        } catch (const std::runtime_error& e) {
            QCOMPARE(printable(e.what()), printable(cases::regFileError(c.line, c.reason)));
        }
    }

    // Every export of the tables, its bytes arriving in pieces of any size
    // (lines, CR LF pairs, UTF-8 sequences, UTF-16 units and surrogate pairs
    // cut between two pieces), and read keeping only the key looked up, as
    // the file on disk is read: the same directory, message or error.
    void exportInPieces_data()
    {
        QTest::addColumn<int>("pieceSize");
        QTest::addColumn<bool>("onlyTheErpKey");
        for (int size : {1, 2, 3, 5, 64 * 1024}) {
            for (bool only : {false, true}) {
                const QByteArray name =
                    "pieces of " + QByteArray::number(size) + (only ? ", only the ERP's key" : ", every key");
                QTest::newRow(name.constData()) << size << only;
            }
        }
    }
    void exportInPieces()
    {
        QFETCH(int, pieceSize);
        QFETCH(bool, onlyTheErpKey);
        for (const cases::InstallDirCase& c : cases::kInstallDirCases) {
            const std::string bytes = c.utf16 ? cases::toUtf16File(c.regFile) : c.regFile;
            const Outcome outcome = lookupInPieces(bytes, std::size_t(pieceSize), onlyTheErpKey);
            const QByteArray got = printable(outcome.directory) + " | " + printable(outcome.error.value_or(""))
                                   + " | " + QByteArray::number(qsizetype(outcome.messages.size()));
            const QByteArray wanted = printable(c.directory) + " | " + printable(c.error) + " | "
                                      + QByteArray::number(c.informed ? 1 : 0);
            QVERIFY2(got == wanted, c.name + QByteArray(": ") + got + " instead of " + wanted);
        }
        for (const cases::RegFileErrorCase& c : cases::kRegFileErrorCases) {
            const std::string bytes = c.utf16 ? cases::toUtf16File(c.regFile) : c.regFile;
            const Outcome outcome = lookupInPieces(bytes, std::size_t(pieceSize), onlyTheErpKey);
            const QByteArray got = printable(outcome.error.value_or("accepted"));
            const QByteArray wanted = printable(cases::regFileError(c.line, c.reason));
            QVERIFY2(got == wanted, c.name + QByteArray(": ") + got + " instead of " + wanted);
        }
    }

    // The system's registry can fail between the size and the data query, and
    // can hold anything; the key must be closed on every way out.
    void injectedRegistry_data()
    {
        QTest::addColumn<bool>("opens");
        QTest::addColumn<int>("size"); // -1: the size query fails
        QTest::addColumn<bool>("readOk");
        QTest::addColumn<uint>("type");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<bool>("informed");
        QTest::addColumn<bool>("readAsked");
        QTest::addColumn<QByteArray>("directory");
        QTest::addColumn<QByteArray>("error");

        const QByteArray failed = "Failed to get data for 'Directorio'";
        const QByteArray invalid = "Invalid data type for 'Directorio'";
        QTest::newRow("key cannot be opened") << false << 0 << false << 0u << QByteArray() << true << false
                                              << QByteArray() << QByteArray();
        QTest::newRow("size query fails") << true << -1 << true << 1u << QByteArray("C:\\ERP") << false << false
                                          << QByteArray() << QByteArray();
        QTest::newRow("size 0 of a number type") << true << 0 << true << 4u << QByteArray() << false << false
                                                 << QByteArray() << QByteArray();
        QTest::newRow("read fails after the size") << true << 7 << false << 0u << QByteArray() << false << true
                                                   << QByteArray() << failed;
        QTest::newRow("REG_SZ with terminator") << true << 7 << true << 1u << QByteArray("C:\\ERP\0", 7) << false
                                                << true << QByteArray("C:\\ERP") << QByteArray();
        QTest::newRow("REG_SZ without terminator") << true << 6 << true << 1u << QByteArray("C:\\ERP") << false
                                                   << true << QByteArray("C:\\ERP") << QByteArray();
        QTest::newRow("REG_SZ bytes after the terminator dropped")
            << true << 12 << true << 1u << QByteArray("C:\\ERP\0junk\0", 12) << false << true
            << QByteArray("C:\\ERP") << QByteArray();
        QTest::newRow("REG_EXPAND_SZ unexpanded") << true << 19 << true << 2u
                                                  << QByteArray("%ProgramFiles%\\ERP\0", 19) << false << true
                                                  << QByteArray("%ProgramFiles%\\ERP") << QByteArray();
        QTest::newRow("REG_DWORD") << true << 4 << true << 4u << QByteArray("\1\0\0\0", 4) << false << true
                                   << QByteArray() << invalid;
        QTest::newRow("REG_BINARY with data") << true << 2 << true << 3u << QByteArray("C:") << false << true
                                              << QByteArray() << invalid;
        QTest::newRow("REG_MULTI_SZ") << true << 3 << true << 7u << QByteArray("C\0\0", 3) << false << true
                                      << QByteArray() << invalid;
        QTest::newRow("type number unknown") << true << 2 << true << 0x80000001u << QByteArray("C:") << false
                                             << true << QByteArray() << invalid;
    }
    void injectedRegistry()
    {
        QFETCH(bool, opens);
        QFETCH(int, size);
        QFETCH(bool, readOk);
        QFETCH(uint, type);
        QFETCH(QByteArray, data);
        QFETCH(bool, informed);
        QFETCH(bool, readAsked);
        QFETCH(QByteArray, directory);
        QFETCH(QByteArray, error);

        FakeSetup setup;
        setup.opens = opens;
        if (size >= 0)
            setup.size = std::uint32_t(size);
        if (readOk)
            setup.read = RegistryValue{RegistryType(type), data.toStdString()};
        Trace trace;
        FakeRegistry registry(setup, trace);

        const Outcome outcome = lookup(registry);

        QCOMPARE(printable(outcome.directory), directory);
        QCOMPARE(printable(outcome.error.value_or("")), error);
        QCOMPARE(outcome.messages.size(), informed ? 1u : 0u);
        // The path from the hive's root, without the leading "\" that the
        // registry call would refuse.
        QCOMPARE(printable(trace.openedKeys), printable(std::vector<std::string>{"Software\\Vantel\\LedgaraERP2026"}));
        QCOMPARE(printable(trace.sizeQueries), printable(opens ? std::vector<std::string>{"Directorio"} : std::vector<std::string>{}));
        if (readAsked) {
            QCOMPARE(trace.reads.size(), 1u);
            QCOMPARE(printable(trace.reads[0].first), QByteArray("Directorio"));
            QCOMPARE(trace.reads[0].second, std::uint32_t(size));
        } else {
            QVERIFY(trace.reads.empty());
        }
        QCOMPARE(trace.openKeys, 0);
    }

    void exportFile_data()
    {
        QTest::addColumn<QByteArray>("contents"); // null: no file at all
        QTest::addColumn<QByteArray>("inItsPlace"); // "directory", "FIFO", "device" or ""
        QTest::addColumn<bool>("informed");
        QTest::addColumn<QByteArray>("directory");

        QTest::newRow("no file") << QByteArray() << QByteArray() << true << QByteArray();
        QTest::newRow("a directory in its place") << QByteArray() << QByteArray("directory") << true << QByteArray();
        // Neither may hold the start-up: a FIFO without a writer would wait
        // for one, /dev/zero would never end.
        QTest::newRow("a FIFO in its place") << QByteArray() << QByteArray("FIFO") << true << QByteArray();
        QTest::newRow("/dev/zero in its place") << QByteArray() << QByteArray("device") << true << QByteArray();
        QTest::newRow("file with the value")
            << QByteArray((cases::kV5 + cases::kErpKey + "\"Directorio\"=\"/opt/ledgara\"\r\n").c_str()) << QByteArray()
            << false << QByteArray("/opt/ledgara");
        QTest::newRow("UTF-16 file with the value")
            << QByteArray::fromStdString(
                   cases::toUtf16File(cases::kV5 + cases::kErpKey + "\"Directorio\"=\"/opt/Aplicaci\xF3n\"\r\n"))
            << QByteArray() << false << QByteArray("/opt/Aplicaci\xC3\xB3n");
    }
    // The file the system registry stands on, found through LEDGARA_HKLM.
    void exportFile()
    {
        QFETCH(QByteArray, contents);
        QFETCH(QByteArray, inItsPlace);
        QFETCH(bool, informed);
        QFETCH(QByteArray, directory);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QString path = dir.filePath("hklm.reg");
        if (inItsPlace == "directory")
            QVERIFY(QDir(dir.path()).mkdir("hklm.reg"));
        else if (inItsPlace == "FIFO")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (inItsPlace == "device")
            path = "/dev/zero";
        else if (!contents.isNull())
            writeFile(path, contents.toStdString());
        qputenv("LEDGARA_HKLM", QFile::encodeName(path));

        const std::unique_ptr<Registry> registry = systemRegistry();
        const Outcome outcome = lookup(*registry);

        QCOMPARE(outcome.messages.size(), informed ? 1u : 0u);
        QVERIFY(!outcome.error);
        QCOMPARE(printable(outcome.directory), directory);
    }

    // A mistyped file must not pass for a missing key: its error reaches the
    // caller of the lookup, naming the file and the line.
    void malformedExportFileReachesTheCaller()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath("hklm.reg");
        writeFile(path, cases::kV5 + cases::kErpKey + "\"Directorio\"=\"C:\\ERP\"\r\n");

        const std::unique_ptr<Registry> registry = regFileRegistry(path.toStdString());
        const Outcome outcome = lookup(*registry);

        QVERIFY(outcome.messages.empty());
        QCOMPARE(printable(outcome.error.value_or("")),
                 printable("Error en el archivo de registro " + path.toStdString() + ", l\xEDnea 4: texto no v\xE1lido"));
    }

    void exportPath_data()
    {
        QTest::addColumn<bool>("set");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QByteArray>("path");
        QTest::newRow("not set") << false << QByteArray() << QByteArray("/etc/ledgara/hklm.reg");
        QTest::newRow("set empty") << true << QByteArray("") << QByteArray("/etc/ledgara/hklm.reg");
        QTest::newRow("set") << true << QByteArray("/srv/demo/hklm.reg") << QByteArray("/srv/demo/hklm.reg");
    }
    void exportPath()
    {
        QFETCH(bool, set);
        QFETCH(QByteArray, value);
        QFETCH(QByteArray, path);
        if (set)
            qputenv("LEDGARA_HKLM", value);
        else
            qunsetenv("LEDGARA_HKLM");
        QCOMPARE(printable(localMachineExportPath()), path);
    }

private:
    QByteArray m_savedHklm;
    bool m_hadHklm = false;
};

QTEST_GUILESS_MAIN(TestInstallDir)
#include "tst_install_dir.moc"
