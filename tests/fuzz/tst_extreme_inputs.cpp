// Inputs far beyond what an installation holds, but that a broken export, a
// runaway script or a damaged disk can produce: each gives the behaviour the
// tool defines for it, whole and without a crash, and is read from a real file
// where the tool reads one.

#include "config/command_line.h"
#include "config/install_dir.h"
#include "config/reg_file_registry.h"
#include "config/server_list.h"

#include "../config/open_files.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

QByteArray bytesOf(const std::string& s) { return QByteArray(s.data(), qsizetype(s.size())); }
std::string stringOf(const QByteArray& b) { return std::string(b.constData(), std::size_t(b.size())); }

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(file.errorString()));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray repeated(const QByteArray& piece, qsizetype times)
{
    QByteArray out;
    out.reserve(piece.size() * times);
    for (qsizetype i = 0; i < times; ++i)
        out += piece;
    return out;
}

// Every byte value in turn, `cycles` times over.
QByteArray everyByteValue(qsizetype cycles)
{
    QByteArray cycle(256, '\0');
    for (int b = 0; b < 256; ++b)
        cycle[b] = char(b);
    return repeated(cycle, cycles);
}

QByteArray numberedLines(int count, const char* lineEnd)
{
    QByteArray out;
    for (int i = 0; i < count; ++i)
        out += "srv" + QByteArray::number(i).rightJustified(6, '0') + lineEnd;
    return out;
}

constexpr qsizetype kTenMegabytes = 10 * 1024 * 1024;

const QByteArray kV5 = "Windows Registry Editor Version 5.00\r\n\r\n";
const QByteArray kErpKey = "[HKEY_LOCAL_MACHINE\\Software\\Vantel\\LedgaraERP2026]\r\n";

// An export of `keys` keys of a few values each, several megabytes for
// tens of thousands of keys, with the ERP's key among them.
QByteArray bigExport(int keys, const QByteArray& erpKeyLines)
{
    QByteArray out = kV5;
    for (int i = 0; i < keys; ++i) {
        if (i == keys / 2)
            out += erpKeyLines;
        const QByteArray n = QByteArray::number(i);
        out += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor" + n + "\\Product\\Settings]\r\n"
               "\"InstallPath\"=\"C:\\\\Program Files\\\\Vendor" + n + "\"\r\n"
               "\"Version\"=dword:000" + QByteArray::number(i % 10) + "0001\r\n"
               "\"Flags\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10\r\n"
               "\"Path\"=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,00,74,00,\\\r\n"
               "  25,00,00,00\r\n\r\n";
    }
    return out;
}

QByteArray utf16WithMark(const QByteArray& latin1)
{
    QByteArray out = "\xFF\xFE";
    out.reserve(2 + 2 * latin1.size());
    for (char c : latin1) {
        out += c;
        out += '\0';
    }
    return out;
}

} // namespace

class TestExtremeInputs : public QObject {
    Q_OBJECT

private slots:
    void serverList_data();
    void serverList();
    void commandLine_data();
    void commandLine();
    void registryExport_data();
    void registryExport();
};

void TestExtremeInputs::serverList_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<qsizetype>("count"); // -1: "Range check error"
    QTest::addColumn<QList<QByteArray>>("head");
    QTest::addColumn<QByteArray>("last");

    // A drop-down holds the first 10,000 entries; the rest of the file is
    // still read for an overlong line.
    const auto bound = qsizetype(kServerListMaxEntries);
    QTest::newRow("100,000 lines ended by CR LF: the first 10,000 kept")
        << numberedLines(100000, "\r\n") << bound << QList<QByteArray>{"srv000000", "srv000001"}
        << QByteArray("srv009999");
    QTest::newRow("100,000 lines ended by LF, the last one without")
        << numberedLines(100000, "\n").chopped(1) << bound << QList<QByteArray>{"srv000000"}
        << QByteArray("srv009999");
    QTest::newRow("10,001 lines ended by CR alone: each line whole")
        << numberedLines(10001, "\r") << bound << QList<QByteArray>{"srv000000", "srv000001"}
        << QByteArray("srv009999");
    QTest::newRow("9,999 lines: all kept") << numberedLines(9999, "\r\n") << qsizetype(9999)
                                           << QList<QByteArray>{"srv000000"} << QByteArray("srv009998");
    QTest::newRow("100,000 empty lines") << repeated("\r\n", 100000) << bound << QList<QByteArray>{"", ""}
                                         << QByteArray();
    QTest::newRow("100,000 lines of 255 bytes")
        << repeated(QByteArray(255, 's') + "\r\n", 100000) << bound << QList<QByteArray>{QByteArray(255, 's')}
        << QByteArray(255, 's');
    QTest::newRow("a 10 MB line") << QByteArray(kTenMegabytes, 'x') + "\r\n" << qsizetype(-1)
                                  << QList<QByteArray>{} << QByteArray();
    QTest::newRow("a 10 MB line without a line end after good lines")
        << "srv1\r\nsrv2\r\n" + QByteArray(kTenMegabytes, 'x') << qsizetype(-1) << QList<QByteArray>{}
        << QByteArray();
    QTest::newRow("100,000 good lines, then a 10 MB line")
        << numberedLines(100000, "\r\n") + QByteArray(kTenMegabytes, 'x') + "\r\n" << qsizetype(-1)
        << QList<QByteArray>{} << QByteArray();
    QTest::newRow("10 MB of NUL bytes on one line")
        << QByteArray(kTenMegabytes, '\0') + "\r\n" << qsizetype(-1) << QList<QByteArray>{} << QByteArray();
    // 0x0A and 0x0D end the lines; the NUL that follows 0xFF cuts each long
    // line's text there, and 0x0B 0x0C make a line of their own.
    QTest::newRow("1 MB of binary bytes, every value in turn")
        << everyByteValue(4096) << qsizetype(2 * 4096)
        << QList<QByteArray>{"", "\x0B\x0C", everyByteValue(1).mid(0x0E)} << QByteArray("\x0B\x0C");
    QByteArray noLineEnds = everyByteValue(2);
    noLineEnds.removeIf([](char c) { return c == '\r' || c == '\n'; });
    QTest::newRow("binary bytes, 256 of them between two line ends")
        << "srv\r\n" + noLineEnds.left(256) + "\n" << qsizetype(-1) << QList<QByteArray>{} << QByteArray();
    // The 255 bytes run from 0x01 to 0xFF and on to 0x00 0x01: the NUL cuts the entry.
    QTest::newRow("binary bytes, 255 of them between two line ends")
        << "srv\r\n" + noLineEnds.mid(1, 255) + "\n" << qsizetype(2)
        << QList<QByteArray>{"srv", noLineEnds.mid(1, 253)} << noLineEnds.mid(1, 253);
}

void TestExtremeInputs::serverList()
{
    QFETCH(QByteArray, file);
    QFETCH(qsizetype, count);
    QFETCH(QList<QByteArray>, head);
    QFETCH(QByteArray, last);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QString::fromLatin1(kServerListFileName.data(), qsizetype(kServerListFileName.size())));
    writeFile(path, file);

    std::vector<std::string> entries;
    std::optional<std::string> error;
    try {
        entries = readServerList(path.toStdString());
    } catch (const std::runtime_error& e) {
        error = e.what();
    }
    // The file was closed on the way out, also after the error.
    QCOMPARE(descriptorsOpenOn(QFile::encodeName(path).toStdString()), 0);

    if (count < 0) {
        QVERIFY(error.has_value());
        QCOMPARE(QByteArray::fromStdString(*error), QByteArray("Range check error"));
        return;
    }
    QVERIFY2(!error, error ? error->c_str() : "");
    QCOMPARE(qsizetype(entries.size()), count);
    for (qsizetype i = 0; i < head.size(); ++i)
        QCOMPARE(bytesOf(entries[std::size_t(i)]), head[i]);
    QCOMPARE(bytesOf(entries.back()), last);
    for (const std::string& entry : entries) {
        QVERIFY(entry.size() <= kServerLineMax);
        QVERIFY(entry.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos);
    }
}

void TestExtremeInputs::commandLine_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<qsizetype>("words");
    QTest::addColumn<QList<QByteArray>>("arguments"); // arguments 1 to 5

    const QList<QByteArray> five = {"srv", "usr", "pw", "01", "S"};
    const QByteArray program = "C:\\ERP\\contardc.exe";

    QTest::newRow("100,000 bytes of short words")
        << program + " srv usr pw 01 S" + repeated(" x", 50000) << qsizetype(6 + 50000) << five;
    QTest::newRow("a quoted argument of 100,000 bytes")
        << program + " \"" + repeated("x ", 50000) + "\" usr pw 01 S" << qsizetype(6)
        << QList<QByteArray>{repeated("x ", 50000), "usr", "pw", "01", "S"};
    QTest::newRow("100,000 bytes of empty quote pairs before the arguments")
        << program + " " + repeated("\"\"", 50000) + " srv usr pw 01 S" << qsizetype(6) << five;
    QTest::newRow("100,000 bytes of empty quote pairs between blanks")
        << program + " srv usr" + repeated(" \"\"", 33334) + " pw 01 S" << qsizetype(6) << five;
    QTest::newRow("an unclosed quote over 100,000 bytes")
        << program + " srv \"" + repeated("a b\t", 25000) << qsizetype(3)
        << QList<QByteArray>{"srv", repeated("a b\t", 25000), "", "", ""};
    QTest::newRow("100,000 separators") << repeated(" \t\r\n\x01", 20000) << qsizetype(0)
                                        << QList<QByteArray>{"", "", "", "", ""};
    QTest::newRow("100,000 quote characters") << program + " " + QByteArray(100000, '"') << qsizetype(1)
                                              << QList<QByteArray>{"", "", "", "", ""};
    QTest::newRow("100,000 bytes above 0x7F") << program + " " + repeated("\xE9\xFF\x80", 33334) + " usr pw 01 S"
                                               << qsizetype(6)
                                               << QList<QByteArray>{repeated("\xE9\xFF\x80", 33334), "usr", "pw",
                                                                    "01", "S"};
}

void TestExtremeInputs::commandLine()
{
    QFETCH(QByteArray, raw);
    QFETCH(qsizetype, words);
    QFETCH(QList<QByteArray>, arguments);

    const std::vector<std::string> split = splitCommandLine(stringOf(raw));
    QCOMPARE(qsizetype(split.size()), words);
    for (std::size_t n = 1; n <= 5; ++n)
        QCOMPARE(bytesOf(n < split.size() ? split[n] : std::string()), arguments[qsizetype(n) - 1]);
}

void TestExtremeInputs::registryExport_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("directory");
    QTest::addColumn<int>("errorLine"); // 0: no error
    QTest::addColumn<QByteArray>("reason");

    const QByteArray erp = kErpKey + "\"Directorio\"=\"C:\\\\LedgaraERP\"\r\n\r\n";
    const QByteArray big = bigExport(20000, erp);
    QTest::newRow("several megabytes, the key among 20,000 others") << big << QByteArray("C:\\LedgaraERP") << 0
                                                                     << QByteArray();
    QTest::newRow("several megabytes of UTF-16") << utf16WithMark(big) << QByteArray("C:\\LedgaraERP") << 0
                                                 << QByteArray();

    QByteArray deletions;
    for (int i = 0; i < 20000; ++i)
        deletions += "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor" + QByteArray::number(i) + "]\r\n";
    QTest::newRow("20,000 keys deleted again, one by one")
        << big + deletions << QByteArray("C:\\LedgaraERP") << 0 << QByteArray();
    QTest::newRow("the ERP's key deleted after 20,000 others")
        << big + deletions + "[-HKEY_LOCAL_MACHINE\\Software\\Vantel]\r\n" << QByteArray() << 0 << QByteArray();

    QByteArray blob = kErpKey + "\"Blob\"=hex:00";
    for (int i = 0; i < 100000; ++i)
        blob += ",01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f" + QByteArray(i % 4 == 3 ? ",\\\r\n  00" : "");
    blob += "\r\n\"Directorio\"=\"D:\\\\ERP\"\r\n";
    QTest::newRow("a value of 1.5 MB over continuation lines") << kV5 + blob << QByteArray("D:\\ERP") << 0
                                                                 << QByteArray();

    const QByteArray longDirectory(kTenMegabytes, 'd');
    QTest::newRow("a directory of 10 MB") << kV5 + kErpKey + "\"Directorio\"=\"" + longDirectory + "\"\r\n"
                                          << longDirectory << 0 << QByteArray();

    // The bounds of what the reading holds: one line, and the values of the
    // key it reads.
    const auto lineMax = qsizetype(kRegFileLineMax);
    const QByteArray lineTooLong = "l\xED" "nea de m\xE1" "s de 12582912 bytes";
    const QByteArray keyTooBig = "los valores de la clave ocupan m\xE1" "s de 12582912 bytes";
    QTest::newRow("a million comment lines of 3 bytes, the key after them")
        << kV5 + repeated(";x\n", 1000000) + erp << QByteArray("C:\\LedgaraERP") << 0 << QByteArray();
    // A line is counted up to its LF, CR included.
    QTest::newRow("a comment line at the line bound")
        << kV5 + ";" + QByteArray(lineMax - 2, 'c') + "\r\n" + erp << QByteArray("C:\\LedgaraERP") << 0 << QByteArray();
    QTest::newRow("a comment line one byte past the line bound")
        << kV5 + ";" + QByteArray(lineMax - 1, 'c') + "\r\n" + erp << QByteArray() << 3 << lineTooLong;
    QTest::newRow("20 MB without a line end after the key")
        << kV5 + erp + QByteArray(20 * 1024 * 1024, 'x') << QByteArray() << 6 << lineTooLong;
    QTest::newRow("a UTF-16 line past the line bound")
        << utf16WithMark(kV5 + erp + "\"Otro\"=\"" + QByteArray(lineMax, 'o') + "\"\r\n") << QByteArray() << 6
        << lineTooLong;

    const QByteArray sevenMegabytes(7 * 1024 * 1024, 's');
    const QByteArray twoStrings =
        "\"A\"=\"" + sevenMegabytes + "\"\r\n\"B\"=\"" + sevenMegabytes + "\"\r\n";
    QTest::newRow("two strings of 7 MB in the key read") << kV5 + kErpKey + twoStrings << QByteArray() << 5
                                                         << keyTooBig;
    QTest::newRow("two strings of 7 MB in another key: not held")
        << kV5 + "[HKEY_LOCAL_MACHINE\\Software\\Otro]\r\n" + twoStrings + erp << QByteArray("C:\\LedgaraERP") << 0
        << QByteArray();
    QTest::newRow("a string of 7 MB replaced by another: the first no longer counts")
        << kV5 + kErpKey + "\"Directorio\"=\"" + sevenMegabytes + "\"\r\n"
               + "\"Directorio\"=\"D:\\\\" + sevenMegabytes + "\"\r\n"
        << "D:\\" + sevenMegabytes << 0 << QByteArray();
    QTest::newRow("a string of 7 MB in a key deleted and written again")
        << kV5 + kErpKey + "\"A\"=\"" + sevenMegabytes + "\"\r\n[-HKEY_LOCAL_MACHINE\\Software\\Vantel]\r\n" + kErpKey
               + "\"Directorio\"=\"" + sevenMegabytes + "\"\r\n"
        << sevenMegabytes << 0 << QByteArray();
    // Lines of a MiB of data each, after "hex:00,\" on line 4: the twelfth
    // of them, line 16, takes the value past the bound.
    QByteArray megabyteRow = "  " + repeated("01,", 1024 * 1024) + "\\\r\n";
    QTest::newRow("a hex value of 13 MB over continuation lines")
        << kV5 + kErpKey + "\"Blob\"=hex:00,\\\r\n" + repeated(megabyteRow, 13) + "  00\r\n" << QByteArray() << 16
        << keyTooBig;

    const int lines = int(big.count('\n'));
    const QByteArray unrecognisedLine = "l\xED" "nea no reconocida";
    QTest::newRow("a mistake on the last line of several megabytes")
        << big + "Directorio=C:\\ERP\r\n" << QByteArray() << lines + 1
        << unrecognisedLine;
    QTest::newRow("binary bytes after the header") << kV5 + everyByteValue(4096) << QByteArray() << 3
                                                   << unrecognisedLine;
    QTest::newRow("a 10 MB line that is not a key") << kV5 + "[" + QByteArray(kTenMegabytes, 'k') << QByteArray()
                                                    << 3
                                                    << QByteArray("nombre de clave no v\xE1" "lido");
}

void TestExtremeInputs::registryExport()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, directory);
    QFETCH(int, errorLine);
    QFETCH(QByteArray, reason);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const std::string path = dir.filePath("hklm.reg").toStdString();
    writeFile(QString::fromStdString(path), file);

    const std::unique_ptr<Registry> registry = regFileRegistry(path);
    std::vector<std::string> messages;
    std::optional<std::string> error;
    std::string found;
    try {
        found = lookupInstallDir(*registry, [&](const std::string& text) { messages.push_back(text); });
    } catch (const std::runtime_error& e) {
        error = e.what();
    }

    if (errorLine > 0) {
        QVERIFY(error.has_value());
        QCOMPARE(bytesOf(*error), "Error en el archivo de registro " + bytesOf(path) + ", l\xED" "nea " +
                                      QByteArray::number(errorLine) + ": " + reason);
        return;
    }
    QVERIFY2(!error, error ? error->c_str() : "");
    QCOMPARE(bytesOf(found), directory);
    // Only an absent key informs the user.
    QCOMPARE(messages.size(), std::size_t(directory.isEmpty() ? 1 : 0));
}

QTEST_GUILESS_MAIN(TestExtremeInputs)
#include "tst_extreme_inputs.moc"
