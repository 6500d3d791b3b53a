// The texts the posting layer composes without a database: the stored
// connection settings, the database path, the posting statement, error texts and the choice
// between embedded and server access.
#include "text/client_text.h"
#include "posting/firebird.h"
#include "posting/receipt_posting.h"

#include <QtTest>

namespace {

std::vector<std::string> fromQt(const QStringList& lines)
{
    std::vector<std::string> out;
    for (const auto& line : lines)
        out.push_back(line.toLatin1().toStdString());
    return out;
}

}  // namespace

class TestPostingText : public QObject {
    Q_OBJECT
private slots:
    void storedSettings();
    void databasePath_data();
    void databasePath();
    void companyCodeStaysInItsFolder_data();
    void companyCodeStaysInItsFolder();
    void postingStatement_data();
    void postingStatement();
    void errorText_data();
    void errorText();
    void localPath_data();
    void localPath();
    void errorKind_data();
    void errorKind();
    void clientTextBackAndForth_data();
    void clientTextBackAndForth();
};

// A connection starts with the settings the window definition stores; the
// connection step replaces the path, the user and the password.
void TestPostingText::storedSettings()
{
    const SqlConnection connection;
    QCOMPARE(connection.settings().database, std::string("C:\\LEDgaraERP2024\\sop\\ledgara.fdb"));
    QCOMPARE(connection.settings().user, std::string("sysdba"));
    QCOMPARE(connection.settings().password, std::string("tallowbin"));
    QCOMPARE(connection.settings().role, std::string("RoleName"));
}

void TestPostingText::databasePath_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("company");
    QTest::addColumn<QString>("path");
    QTest::newRow("server with host") << "servidor:C:\\LEDgaraERP2024" << "01"
                                      << "servidor:C:\\LEDgaraERP2024/datos/01/ledgara.fdb";
    QTest::newRow("local folder") << "/srv/erp" << "01" << "/srv/erp/datos/01/ledgara.fdb";
    QTest::newRow("empty server list") << "" << "01" << "/datos/01/ledgara.fdb";
    QTest::newRow("trailing separator not handled") << "/srv/erp/" << "7" << "/srv/erp//datos/7/ledgara.fdb";
    QTest::newRow("blanks kept") << " /srv " << " 01" << " /srv /datos/ 01/ledgara.fdb";
}

void TestPostingText::databasePath()
{
    QFETCH(QString, server);
    QFETCH(QString, company);
    QFETCH(QString, path);
    QCOMPARE(QString::fromStdString(::databasePath(server.toStdString(), company.toStdString())), path);
}

void TestPostingText::companyCodeStaysInItsFolder_data()
{
    QTest::addColumn<QString>("company");
    QTest::addColumn<bool>("stays");
    QTest::newRow("two digits") << "01" << true;
    QTest::newRow("letters, a dot inside") << "emp.norte" << true;
    QTest::newRow("leading blank") << " 01" << true;
    QTest::newRow("dots around a name") << "..01.." << true;
    QTest::newRow("up and into another folder") << "../travdir" << false;
    QTest::newRow("Windows separator") << "..\\travdir" << false;
    QTest::newRow("down into a folder") << "01/sub" << false;
    QTest::newRow("down then up twice") << "01/../../travdir" << false;
    QTest::newRow("absolute path") << "/srv/otra" << false;
    QTest::newRow("the parent itself") << ".." << false;
    QTest::newRow("the datos folder itself") << "." << false;
    QTest::newRow("dots Windows trims to the parent") << "..." << false;
    QTest::newRow("dots and blanks") << ". . " << false;
    QTest::newRow("blanks alone") << "  " << false;
}

void TestPostingText::companyCodeStaysInItsFolder()
{
    QFETCH(QString, company);
    QFETCH(bool, stays);
    QCOMPARE(::companyCodeStaysInItsFolder(company.toStdString()), stays);
}

void TestPostingText::postingStatement_data()
{
    QTest::addColumn<QString>("date");
    QTest::addColumn<bool>("niif");
    QTest::addColumn<QString>("statement");
    QTest::newRow("local ledger") << "2026/05/25" << false
                                  << "select * from recibos_sin_contabilidad('2026/05/25', '2026/05/25', '')";
    QTest::newRow("ifrs ledger") << "2003/01/20" << true
                                 << "select * from recibos_sin_contabilidad_niif('2003/01/20', '2003/01/20', '')";
    QTest::newRow("quote doubled") << "2026/05/25' or ''='" << false
                                   << "select * from recibos_sin_contabilidad('2026/05/25'' or ''''=''', "
                                      "'2026/05/25'' or ''''=''', '')";
}

void TestPostingText::postingStatement()
{
    QFETCH(QString, date);
    QFETCH(bool, niif);
    QFETCH(QString, statement);
    QCOMPARE(QString::fromStdString(::postingStatement(date.toStdString(), niif)), statement);
}

void TestPostingText::errorText_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("serverLines");
    QTest::addColumn<QString>("previous");
    QTest::addColumn<QString>("text");

    QTest::newRow("driver and server")
        << 0x15 << QStringList{"I/O error during \"open\" operation for file \"x.fdb\"", "No such file or directory"}
        << QString()
        << "dbExpress Error: [0x0015]: Connection failed\n"
           "SQL Server Error: I/O error during \"open\" operation for file \"x.fdb\"\nNo such file or directory";
    QTest::newRow("driver only") << 0x1A << QStringList{} << "old"
                                 << "dbExpress Error: [0x001A]: Unable to commit the transaction";
    QTest::newRow("server only") << 0 << QStringList{"Table unknown"} << "old" << "SQL Server Error: Table unknown";
    QTest::newRow("neither: previous error again") << 0x7F << QStringList{} << "dbExpress Error: earlier"
                                                   << "dbExpress Error: earlier";
    QTest::newRow("neither and no previous") << 0x7F << QStringList{} << QString()
                                             << "dbExpress Error: Unknown Error Code '127'";
}

void TestPostingText::errorText()
{
    QFETCH(int, code);
    QFETCH(QStringList, serverLines);
    QFETCH(QString, previous);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(databaseErrorText(code, fromQt(serverLines), previous.toStdString())), text);
}

void TestPostingText::localPath_data()
{
    QTest::addColumn<QString>("database");
    QTest::addColumn<bool>("local");
    QTest::newRow("absolute path") << "/srv/erp/datos/01/ledgara.fdb" << true;
    QTest::newRow("relative path") << "datos/01/ledgara.fdb" << true;
    QTest::newRow("colon inside a folder name") << "/srv/a:b/ledgara.fdb" << true;
    QTest::newRow("alias") << "employee" << true;
    QTest::newRow("host and path") << "servidor:/srv/ledgara.fdb" << false;
    QTest::newRow("host, port and path") << "127.0.0.1/3051:/srv/ledgara.fdb" << false;
    QTest::newRow("host and windows path") << "servidor:C:\\LEDgara\\ledgara.fdb" << false;
    QTest::newRow("url") << "inet://servidor:3051//srv/ledgara.fdb" << false;
    QTest::newRow("ipv6") << "[::1]/3051:/srv/ledgara.fdb" << false;
    QTest::newRow("named pipe") << "\\\\servidor\\C:\\ledgara.fdb" << false;
}

void TestPostingText::localPath()
{
    QFETCH(QString, database);
    QFETCH(bool, local);
    QCOMPARE(isLocalPath(database.toStdString()), local);
}

// What a caller is to do about a database failure, told from its codes, never
// its text: the GDS codes and SQLCODEs below are the ones the Firebird 3
// client reports for each case.
void TestPostingText::errorKind_data()
{
    QTest::addColumn<int>("driver");
    QTest::addColumn<QList<qint64>>("codes");
    QTest::addColumn<int>("sqlCode");
    QTest::addColumn<int>("kind");
    const int connect = int(DriverFailure::Connect);
    const int fetch = int(DriverFailure::Fetch);
    const int prepare = int(DriverFailure::Prepare);
    QTest::newRow("wrong password") << connect << QList<qint64>{335544472} << -902 << int(ErrorKind::LoginRefused);
    QTest::newRow("no server on the port")
        << connect << QList<qint64>{335544721, 335544722} << -902 << int(ErrorKind::Unreachable);
    QTest::newRow("server gone while fetching")
        << fetch << QList<qint64>{335544721, 335544726} << -902 << int(ErrorKind::Unreachable);
    QTest::newRow("attachment shut down") << fetch << QList<qint64>{335544856, 335544528} << -902
                                          << int(ErrorKind::Unreachable);
    QTest::newRow("remote database unavailable") << connect << QList<qint64>{335544375} << -904
                                                 << int(ErrorKind::Unreachable);
    QTest::newRow("no local engine") << int(DriverFailure::NoLocalProvider) << QList<qint64>{335544375} << -904
                                     << int(ErrorKind::Configuration);
    QTest::newRow("company database missing")
        << connect << QList<qint64>{335544344, 335544734} << -902 << int(ErrorKind::Configuration);
    QTest::newRow("not a database") << connect << QList<qint64>{335544323} << -902 << int(ErrorKind::Configuration);
    QTest::newRow("procedure missing")
        << prepare << QList<qint64>{335544569, 335544436, 335544581} << -204 << int(ErrorKind::Configuration);
    QTest::newRow("lock conflict") << fetch << QList<qint64>{335544336, 335544345} << -913 << int(ErrorKind::Busy);
    QTest::newRow("lock time-out") << fetch << QList<qint64>{335544336, 335544510} << -901 << int(ErrorKind::Busy);
    QTest::newRow("database file open in another process's engine")
        << connect << QList<qint64>{335544344, 335545107} << -902 << int(ErrorKind::Busy);
    QTest::newRow("cancelled") << fetch << QList<qint64>{335544794} << -901 << int(ErrorKind::Stopped);
    QTest::newRow("the procedure's exception")
        << fetch << QList<qint64>{335544517, 335544848} << -836 << int(ErrorKind::Procedure);
    QTest::newRow("the procedure fails otherwise")
        << fetch << QList<qint64>{335544321} << -802 << int(ErrorKind::Procedure);
    QTest::newRow("login too long") << int(DriverFailure::ParameterTooLong) << QList<qint64>{} << 0
                                    << int(ErrorKind::Usage);
    QTest::newRow("disconnection refused") << int(DriverFailure::Disconnect) << QList<qint64>{335544382} << -901
                                           << int(ErrorKind::Other);
}

void TestPostingText::errorKind()
{
    QFETCH(int, driver);
    QFETCH(QList<qint64>, codes);
    QFETCH(int, sqlCode);
    QFETCH(int, kind);
    const std::vector<std::int64_t> gds(codes.begin(), codes.end());
    QCOMPARE(int(databaseErrorKind(driver, gds, sqlCode)), kind);
}

// The window takes the command line's bytes into its boxes and hands them
// to the client again: whatever the bytes, the same ones come out (UTF-8
// locale). Text reads as the characters it holds.
void TestPostingText::clientTextBackAndForth_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");  // empty: not text, only the bytes matter
    QTest::newRow("ASCII") << QByteArray("srv/datos") << "srv/datos";
    QTest::newRow("two-byte character") << QByteArray("Contrase\xC3\xB1" "a1") << "Contrase\u00F1a1";
    QTest::newRow("four-byte character") << QByteArray("\xF0\x9F\x98\x80") << "\U0001F600";
    QTest::newRow("Windows-1252 byte") << QByteArray("Contrase\xF1" "a1") << "";
    QTest::newRow("cut sequence at the end") << QByteArray("ab\xC3") << "";
    QTest::newRow("overlong slash") << QByteArray("..\xC0\xAF..") << "";
    QTest::newRow("encoded surrogate") << QByteArray("\xED\xB3\xB1") << "";
}

void TestPostingText::clientTextBackAndForth()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    const std::u16string unicode = fromClientText(bytes.toStdString());
    QCOMPARE(QByteArray::fromStdString(toClientText(unicode)), bytes);
    if (!text.isEmpty())
        QCOMPARE(QString::fromStdU16String(unicode), text);
}

QTEST_GUILESS_MAIN(TestPostingText)
#include "tst_posting_text.moc"
