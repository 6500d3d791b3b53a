// The data objects of the window against company databases opened by the
// embedded engine: connecting, reading the points of sale, posting through
// both procedures, binding the result, and what every failure leaves.
//
// The embedded engine of Firebird 3 does not check passwords: any password
// opens a local database, so wrong passwords are tested over TCP.
#include "fbtest.h"
#include "posting/receipt_posting.h"
#include "posting/firebird.h"

#include <QtTest>

namespace {

const std::string kPassword = "tallowbin";
const char* const kDate = "2003/01/20";  // the seed's fixed date: one receipt per point of sale
constexpr CivilDate kDay{2003, 1, 20};

QString text(const ClientDataSet& set, std::size_t record, const char* field)
{
    return QString::fromLatin1(set.displayText(record, *set.findField(field)));
}

const ClientDataSet& rows(const ReceiptPosting& data) { return *data.receipts().dataSet(); }

PostingFront g_front;  // a front that shows nothing

// The folder the connection step takes as the server text for a company
// database at <folder>/datos/01/ledgara.fdb.
std::string serverOf(const std::string& database)
{
    return database.substr(0, database.size() - std::string("/datos/01/ledgara.fdb").size());
}

ConnectionRequest login(const std::string& database, const std::string& password = kPassword)
{
    return {serverOf(database), "01", "SYSDBA", password};
}

// The attachments to the database other than the one asking.
const std::string kOthers = "from mon$attachments where mon$attachment_id <> current_connection and mon$system_flag = 0";

QString caught(const std::function<void()>& fn)
{
    try {
        fn();
    } catch (const std::exception& e) {
        return QString::fromLatin1(e.what());
    }
    return {};
}

}  // namespace

class TestPostingEmbedded : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();

    void connectDisconnectReconnect();
    void connectionStepReconnects();
    void connectFailures_data();
    void connectFailures();
    void failedStepLeavesItsSettings();
    void clientProviders_data();
    void clientProviders();
    void pointsOfSaleReadOnce();
    void posting_data();
    void posting();
    void prefixRestricts();
    void bindingAfterRowsRead_data();
    void bindingAfterRowsRead();
    void procedureFailureRollsBack();
    void errorKeepsWhatTheClientSaid_data();
    void errorKeepsWhatTheClientSaid();
    void lostAttachmentClosesConnection();

private:
    // A fresh company database, copied from the one made at start, at
    // <folder>/datos/01/ledgara.fdb of a folder of its own.
    std::string freshDatabase();

    QTemporaryDir m_dir;
    QString m_template;
    int m_copies = 0;
};

void TestPostingEmbedded::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // The engine's lock files go to a folder of the test's own, so the test
    // runs for any user; these databases are opened by no server.
    QVERIFY(QDir(m_dir.path()).mkpath("lock"));
    qputenv("FIREBIRD_LOCK", QFile::encodeName(m_dir.filePath("lock")));
    qunsetenv("LEDGARA_FBCLIENT");
    m_template = m_dir.filePath("template.fdb");
    const QString error = fbtest::makeDatabase(m_template, QString::fromStdString(kPassword),
                                               {fbtest::sourceDir() + "/tests/posting/fixture.sql"});
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

void TestPostingEmbedded::cleanup()
{
    qunsetenv("LEDGARA_FBCLIENT");
}

std::string TestPostingEmbedded::freshDatabase()
{
    const QString path = m_dir.filePath(QString("company%1/datos/01/ledgara.fdb").arg(++m_copies));
    if (!QDir().mkpath(QFileInfo(path).path()) || !QFile::copy(m_template, path))
        qFatal("cannot copy the template database");
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    return QFile::encodeName(path).toStdString();
}

// The connection: blanks around the path go at connect, the settings keep
// them; closing twice is nothing; a statement that needs it opens it again.
void TestPostingEmbedded::connectDisconnectReconnect()
{
    const std::string db = freshDatabase();
    SqlConnection connection;
    connection.settings().database = "  " + db + " ";
    connection.settings().password = kPassword;
    connection.open();
    QVERIFY(connection.connected());
    QCOMPARE(connection.settings().database, "  " + db + " ");

    auto attachmentId = [&] {
        fbtest::Rows rows;
        connection.fetchAll("select current_connection from rdb$database", rows);
        return rows.rows.at(0).at(0);
    };
    const QString first = attachmentId();
    connection.close();
    QVERIFY(!connection.connected());
    connection.close();
    QVERIFY(!connection.connected());
    QVERIFY(attachmentId() != first);
    QVERIFY(connection.connected());
}

// Every connection step ends the connection and opens a new one, the same
// inputs or not.
void TestPostingEmbedded::connectionStepReconnects()
{
    const std::string db = freshDatabase();
    ReceiptPosting data;
    const auto attachment = [&] { return fbtest::scalar(db, kPassword, "select max(mon$attachment_id) " + kOthers); };
    data.connectStep(login(db), g_front);
    QVERIFY(data.connected());
    const QString first = attachment();
    data.connectStep(login(db), g_front);
    QVERIFY(data.connected());
    QVERIFY(attachment() != first);
    QCOMPARE(fbtest::scalar(db, kPassword, "select count(*) " + kOthers), "1");
}

void TestPostingEmbedded::connectFailures_data()
{
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("library");
    QTest::addColumn<QString>("expectedStart");

    const QString missingDb = m_dir.filePath("nowhere/datos/01/ledgara.fdb");
    QTest::newRow("database file missing")
        << missingDb << "SYSDBA" << QString()
        << "dbExpress Error: [0x0015]: Connection failed\nSQL Server Error: I/O error during \"open\" operation for "
           "file \"" + missingDb + "\"";
    QTest::newRow("not a database")
        << (fbtest::sourceDir() + "/db/schema.sql") << "SYSDBA" << QString()
        << "dbExpress Error: [0x0015]: Connection failed\nSQL Server Error: ";
    QTest::newRow("empty path") << "   " << "SYSDBA" << QString()
                                << "dbExpress Error: [0x0015]: Connection failed\nSQL Server Error: ";
    QTest::newRow("user name too long")
        << "x.fdb" << QString(300, 'u') << QString()
        << "dbExpress Error: [0x001D]: Connection failed: user name, password, role or path too long";
    QTest::newRow("client library missing")
        << "x.fdb" << "SYSDBA" << m_dir.filePath("absent/libfbclient.so.2")
        << "Unable to Load " + m_dir.filePath("absent/libfbclient.so.2");
    QTest::newRow("library without the client's entry points")
        << "x.fdb" << "SYSDBA" << "libc.so.6" << "Unable to Find Procedure isc_attach_database";
}

void TestPostingEmbedded::connectFailures()
{
    QFETCH(QString, database);
    QFETCH(QString, user);
    QFETCH(QString, library);
    QFETCH(QString, expectedStart);

    const std::string password = "Zq9-never-shown";
    SqlConnection connection;
    connection.settings().database = QFile::encodeName(database).toStdString();
    connection.settings().user = user.toStdString();
    connection.settings().password = password;
    if (!library.isEmpty())
        qputenv("LEDGARA_FBCLIENT", QFile::encodeName(library));

    const QString error = caught([&] { connection.open(); });
    QVERIFY2(error.startsWith(expectedStart), qPrintable(error));
    QVERIFY2(!error.contains(QString::fromStdString(password)), qPrintable(error));
    QVERIFY(!connection.connected());
}

// A connection step that fails leaves its settings: the posting run that
// follows connects with them, and fails the same way; the connection it
// ended stays closed.
void TestPostingEmbedded::failedStepLeavesItsSettings()
{
    const std::string db = freshDatabase();
    ReceiptPosting data;
    data.connectStep(login(db), g_front);
    QVERIFY(data.connected());
    ConnectionRequest elsewhere = login(db, "Zq9-never-shown");
    elsewhere.company = "02";
    const QString error = caught([&] { data.connectStep(elsewhere, g_front); });
    const QString missing = QString::fromStdString(serverOf(db)) + "/datos/02/ledgara.fdb";
    QVERIFY2(error.startsWith("dbExpress Error: [0x0015]: Connection failed\nSQL Server Error: I/O error during "
                              "\"open\" operation for file \"" + missing + "\""),
             qPrintable(error));
    QVERIFY(!data.connected());
    QCOMPARE(caught([&] { data.postStep({2003, 1, 20}, false, g_front); }), error);
    QVERIFY(!data.connected());
    QVERIFY(!error.contains("Zq9-never-shown"));
}

// A path without a host goes to the providers the client's own
// configuration lists, in its order (Firebird 4 and 5 name their engine
// Engine13); when none of them can open it, the text says so.
void TestPostingEmbedded::clientProviders_data()
{
    QTest::addColumn<QByteArray>("firebirdConf");
    QTest::addColumn<QByteArray>("pluginsConf");
    QTest::addColumn<QString>("expectedStart");
    QTest::addColumn<QString>("serverText");

    const QString engine = "/usr/lib/x86_64-linux-gnu/firebird/3.0/plugins/libEngine12";
    const QString none = "dbExpress Error: [0x001C]: Connection failed: the database path names no server, and "
                         "neither the embedded Firebird engine nor a Firebird server on this machine could open it\n"
                         "SQL Server Error: ";
    // Only the name Engine13 leads to an engine, as with a Firebird 4 or 5 client.
    QTest::newRow("engine under another provider name")
        << QByteArray("Providers = Remote,Engine13,Loopback\n")
        << ("Plugin = Engine13 {\n\tModule = " + engine + "\n\tRegisterName = Engine12\n}\n"
            "Plugin = Engine12 {\n\tModule = /nonexistent/libEngine12\n}\n").toUtf8()
        << "rows 1" << QString();
    QTest::newRow("engine module missing, no local server")
        << QByteArray() << QByteArray("Plugin = Engine12 {\n\tModule = /nonexistent/libEngine12\n}\n") << none
        << "Unable to complete network request to host \"localhost\"";
    QTest::newRow("no provider for a local path")
        << QByteArray("Providers = Remote\n") << QByteArray() << none << "unavailable database";
}

void TestPostingEmbedded::clientProviders()
{
    QFETCH(QByteArray, firebirdConf);
    QFETCH(QByteArray, pluginsConf);
    QFETCH(QString, expectedStart);
    QFETCH(QString, serverText);

    QTemporaryDir root;
    QVERIFY(root.isValid());
    for (const auto& [name, content] : {std::pair{"firebird.conf", firebirdConf}, {"plugins.conf", pluginsConf}}) {
        QFile file(root.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    QFile::link("/usr/lib/x86_64-linux-gnu/firebird/3.0/firebird.msg", root.filePath("firebird.msg"));

    QProcess probe;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("FIREBIRD", root.path());
    probe.setProcessEnvironment(env);
    probe.start(POSTING_PROBE, {QString::fromStdString(freshDatabase()), "SYSDBA", "Zq9-never-shown"});
    QVERIFY(probe.waitForFinished(60000));
    const QString out = QString::fromLatin1(probe.readAllStandardOutput());
    QVERIFY2(out.startsWith(expectedStart), qPrintable(out));
    QVERIFY2(out.contains(serverText), qPrintable(out));
    QCOMPARE(probe.exitCode(), serverText.isEmpty() ? 0 : 1);
    QVERIFY2(!out.contains("Zq9-never-shown"), qPrintable(out));
}

void TestPostingEmbedded::pointsOfSaleReadOnce()
{
    const std::string db = freshDatabase();
    ReceiptPosting data;
    data.connectStep(login(db), g_front);
    const ClientDataSet& points = data.pointsOfSale();
    QCOMPARE(points.recordCount(), std::size_t{4});
    QCOMPARE(text(points, 1, "PTVT_NOM"), "SUCURSAL NORTE");
    QCOMPARE(text(points, 1, "PREF_PRE"), "PV02");
    QVERIFY(points.isNull(3, *points.findField("CAJA_ID")));

    fbtest::query(db, kPassword, "insert into PUNTO_VENTA (PTVT_ID, BODE_COD, PTVT_NOM) values (5, '05', 'NUEVO')");
    data.connectStep(login(db), g_front);
    QCOMPARE(points.recordCount(), std::size_t{4});
    // Once closed, the next step reads them again.
    data.closeSets();
    data.connectStep(login(db), g_front);
    QCOMPARE(points.recordCount(), std::size_t{5});
}

void TestPostingEmbedded::posting_data()
{
    QTest::addColumn<bool>("niif");
    QTest::addColumn<QStringList>("estados");
    QTest::addColumn<QStringList>("cashAccounts");

    QTest::newRow("local ledger")
        << false << QStringList{"CONTABILIZADO", "CONTABILIZADO", "CONTABILIZADO", "SIN CUENTA CONTABLE"}
        << QStringList{"1", "2", "2", ""};
    QTest::newRow("ifrs ledger")
        << true << QStringList{"CONTABILIZADO", "CONTABILIZADO", "SIN CUENTA NIIF", "SIN CUENTA NIIF"}
        << QStringList{"11", "11", "", ""};
}

void TestPostingEmbedded::posting()
{
    QFETCH(bool, niif);
    QFETCH(QStringList, estados);
    QFETCH(QStringList, cashAccounts);

    const std::string db = freshDatabase();
    const std::string voucherColumn = niif ? "COMP_NIIF_ID" : "COMP_ID";
    const std::string otherColumn = niif ? "COMP_ID" : "COMP_NIIF_ID";
    const auto posted = [&](const std::string& column) {
        return fbtest::scalar(db, kPassword, "select count(*) from RECIBO_CAJA where " + column + " is not null");
    };
    const qsizetype postable = estados.count("CONTABILIZADO");
    {
        ReceiptPosting data;
        data.connectStep(login(db), g_front);
        data.postStep(kDay, niif, g_front);
        const ClientDataSet& set = rows(data);
        QCOMPARE(set.recordCount(), static_cast<std::size_t>(estados.size()));
        QStringList ids, prefs, numeros, gotEstados, accounts;
        for (std::size_t r = 0; r < set.recordCount(); ++r) {
            ids << text(set, r, "ID");
            prefs << text(set, r, "PREF");
            numeros << text(set, r, "NUMERO");
            gotEstados << text(set, r, "ESTADO");
            accounts << text(set, r, "IDC");
            QCOMPARE(set.isNull(r, *set.findField("IDI")), gotEstados.last() != "CONTABILIZADO");
        }
        QCOMPARE(ids, (QStringList{"1", "2", "3", "4"}));
        QCOMPARE(prefs, (QStringList{"PV01", "PV02", "PV03", "PV04"}));
        QCOMPARE(numeros, (QStringList{"000001", "000001", "000001", "000001"}));
        QCOMPARE(gotEstados, estados);
        QCOMPARE(accounts, cashAccounts);
        QVERIFY(data.connected());
        // Committed as soon as the rows are in, while the connection stays open.
        QCOMPARE(posted(voucherColumn), QString::number(postable));
    }
    // Durable after the program's connection is gone, balanced, one voucher
    // per posted receipt, the other ledger and the other dates untouched.
    QCOMPARE(posted(voucherColumn), QString::number(postable));
    QCOMPARE(posted(otherColumn), "0");
    QCOMPARE(fbtest::scalar(db, kPassword, fbtest::unbalancedVouchersSql(niif)), "0");
    QCOMPARE(fbtest::scalar(db, kPassword,
                            std::string("select count(*) from ") + (niif ? "COMPROBANTE_NIIF" : "COMPROBANTE")),
             QString::number(postable));
    QCOMPARE(fbtest::scalar(db, kPassword,
                            "select count(*) from RECIBO_CAJA where RECI_FECHA <> date '2003-01-20' and " +
                                voucherColumn + " is not null"),
             "0");

    // A second run posts nothing again: only the receipts that cannot be
    // posted come back; a date without receipts gives an empty set.
    ReceiptPosting again;
    again.connectStep(login(db), g_front);
    again.postStep(kDay, niif, g_front);
    QStringList left;
    for (std::size_t r = 0; r < rows(again).recordCount(); ++r)
        left << text(rows(again), r, "ESTADO");
    QStringList expectedLeft = estados;
    expectedLeft.removeAll("CONTABILIZADO");
    QCOMPARE(left, expectedLeft);
    QCOMPARE(posted(voucherColumn), QString::number(postable));
    again.postStep({2003, 1, 21}, niif, g_front);
    QVERIFY(rows(again).active());
    QVERIFY(rows(again).isEmpty());
}

void TestPostingEmbedded::prefixRestricts()
{
    const std::string db = freshDatabase();
    SqlConnection connection;
    connection.settings().database = db;
    ClientDataSet set;
    fbtest::declareReceiptRow(set, connection);
    set.setCommandText("select * from recibos_sin_contabilidad('2003/01/20', '2003/01/20', 'PV02')");
    set.open();
    QCOMPARE(set.recordCount(), std::size_t{1});
    QCOMPARE(text(set, 0, "PREF"), "PV02");
    QCOMPARE(fbtest::scalar(db, kPassword, "select cast(list(RECI_ID) as varchar(200)) from RECIBO_CAJA where COMP_ID is not null"),
             "2");
}

void TestPostingEmbedded::bindingAfterRowsRead_data()
{
    QTest::addColumn<QString>("procedure");
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("prefSize");
    QTest::addColumn<QStringList>("firstRow");  // PREF, NUMERO, IDI

    QTest::newRow("64-bit integer id") << "RECIBOS_ID_BIGINT"
                                       << "Type mismatch for field 'ID', expecting: Integer actual: LargeInt" << 4
                                       << QStringList{};
    QTest::newRow("scaled numeric id") << "RECIBOS_ID_NUMERICO"
                                       << "Type mismatch for field 'ID', expecting: Integer actual: FMTBcd" << 4
                                       << QStringList{};
    QTest::newRow("column missing") << "RECIBOS_SIN_NUMERO" << "Field 'NUMERO' not found" << 4 << QStringList{};
    QTest::newRow("integer column for a text field")
        << "RECIBOS_ESTADO_NUMERO" << "Type mismatch for field 'ESTADO', expecting: String actual: Integer" << 4
        << QStringList{};
    QTest::newRow("narrower text column") << "RECIBOS_PREF_ANGOSTO" << QString() << 2
                                          << QStringList{"PV", "000001", "1"};
    QTest::newRow("wider text column, other letter case, fixed length, extra column")
        << "RECIBOS_PREF_ANCHO" << QString() << 4 << QStringList{"PREFIJO-1", "N1    ", ""};
}

void TestPostingEmbedded::bindingAfterRowsRead()
{
    QFETCH(QString, procedure);
    QFETCH(QString, error);
    QFETCH(int, prefSize);
    QFETCH(QStringList, firstRow);

    const std::string db = freshDatabase();
    SqlConnection connection;
    connection.settings().database = db;
    ClientDataSet set;
    fbtest::declareReceiptRow(set, connection);
    set.setCommandText("select * from " + procedure.toStdString());
    QCOMPARE(caught([&] { set.open(); }), error);
    QCOMPARE(set.active(), error.isEmpty());
    QVERIFY(connection.connected());
    // The procedure ran to its end and its work was kept, bound or not.
    QCOMPARE(fbtest::scalar(db, kPassword, "select count(*) from BITACORA where PROC = '" + procedure.toStdString() + "'"),
             "3");
    if (error.isEmpty()) {
        QCOMPARE(set.findField("PREF")->size(), prefSize);
        QCOMPARE(set.recordCount(), std::size_t{3});
        QCOMPARE((QStringList{text(set, 0, "PREF"), text(set, 0, "NUMERO"), text(set, 0, "IDI")}), firstRow);
    }
}

void TestPostingEmbedded::procedureFailureRollsBack()
{
    const std::string db = freshDatabase();
    SqlConnection connection;
    connection.settings().database = db;
    ClientDataSet set;
    fbtest::declareReceiptRow(set, connection);
    set.setCommandText("select * from RECIBOS_CON_FALLA");
    const QString error = caught([&] { set.open(); });
    QVERIFY2(error.startsWith("dbExpress Error: [0x0019]: Unable to fetch the rows\nSQL Server Error: exception "),
             qPrintable(error));
    QVERIFY2(error.contains("\nE_PRUEBA\n"), qPrintable(error));
    QVERIFY2(error.contains("Falla de prueba en el procedimiento"), qPrintable(error));
    QVERIFY(!set.active());
    QVERIFY(connection.connected());
    QCOMPARE(fbtest::scalar(db, kPassword, "select count(*) from BITACORA"), "0");
    QCOMPARE(fbtest::scalar(db, kPassword, "select count(*) from RECIBO_CAJA where COMP_ID is not null"), "0");

    // The next run on the same connection posts as usual.
    set.setCommandText(postingStatement(kDate, false));
    set.open();
    QCOMPARE(set.recordCount(), std::size_t{4});
}

// The error keeps what the client said: its driver code, every line of the
// status in order (the text shows them all), the SQLCODE and the GDS codes,
// and its kind follows from them.
void TestPostingEmbedded::errorKeepsWhatTheClientSaid_data()
{
    QTest::addColumn<QString>("statement");  // empty: connect to a file that is not there
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("sqlCode");
    QTest::addColumn<qint64>("gdsCode");
    QTest::addColumn<QString>("firstLine");
    QTest::addColumn<int>("kind");
    QTest::newRow("missing file") << QString() << 0x15 << -902 << qint64(335544344)  // isc_io_error
                                  << "I/O error during \"open\" operation for file \""
                                  << int(ErrorKind::Configuration);
    QTest::newRow("unknown table") << "select * from NO_SUCH_TABLE" << 0x17 << -204
                                   << qint64(335544569)  // isc_dsql_error
                                   << "Dynamic SQL Error" << int(ErrorKind::Configuration);
    QTest::newRow("procedure exception") << "select * from RECIBOS_CON_FALLA" << 0x19 << -836
                                         << qint64(335544517)  // isc_except
                                         << "exception " << int(ErrorKind::Procedure);
}

void TestPostingEmbedded::errorKeepsWhatTheClientSaid()
{
    QFETCH(QString, statement);
    QFETCH(int, code);
    QFETCH(int, sqlCode);
    QFETCH(qint64, gdsCode);
    QFETCH(QString, firstLine);
    QFETCH(int, kind);

    SqlConnection connection;
    connection.settings().database =
        statement.isEmpty() ? m_dir.filePath("absent.fdb").toStdString() : freshDatabase();
    try {
        fbtest::Rows rows;
        connection.fetchAll(statement.toStdString(), rows);
        QFAIL("no error");
    } catch (const ProgramError& e) {
        const DatabaseReport& report = e.database();
        QCOMPARE(report.driverCode, code);
        QCOMPARE(report.sqlCode, sqlCode);
        QVERIFY(!report.gdsCodes.empty());
        QCOMPARE(report.gdsCodes.front(), gdsCode);
        QCOMPARE(int(e.kind()), kind);
        QVERIFY(report.serverLines.size() >= 2);
        QVERIFY2(QString::fromStdString(report.serverLines.front()).startsWith(firstLine), e.what());
        std::string lines;
        for (const auto& line : report.serverLines)
            lines += "\n" + line;
        QVERIFY2(std::string(e.what()).ends_with("SQL Server Error: " + lines.substr(1)), e.what());
    }
}

// An attachment the server shut down: the failing statement reports it, the
// connection then knows it is closed, and the next statement reconnects.
void TestPostingEmbedded::lostAttachmentClosesConnection()
{
    const std::string db = freshDatabase();
    ReceiptPosting data;
    data.connectStep(login(db), g_front);
    // The run's attachment is the only other one.
    QCOMPARE(fbtest::scalar(db, kPassword, "select count(*) " + kOthers), "1");
    fbtest::query(db, kPassword, "delete " + kOthers);

    const QString error = caught([&] { data.postStep(kDay, false, g_front); });
    QVERIFY2(error.startsWith("dbExpress Error: [0x00"), qPrintable(error));
    QVERIFY2(error.contains("SQL Server Error: "), qPrintable(error));
    QVERIFY(!data.connected());
    QVERIFY(!rows(data).active());

    data.postStep(kDay, false, g_front);
    QVERIFY(data.connected());
    QCOMPARE(rows(data).recordCount(), std::size_t{4});
}

QTEST_GUILESS_MAIN(TestPostingEmbedded)
#include "tst_posting_embedded.moc"
