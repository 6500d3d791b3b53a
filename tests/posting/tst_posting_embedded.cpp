// The data objects of the window against company databases opened by the
// embedded engine: connecting, reading the points of sale, posting through
// both procedures, binding the result, and what every failure leaves.
//
// The embedded engine of Firebird 3 does not check passwords: any password
// opens a local database, so wrong passwords are tested over TCP.
#include "fbtest.h"
#include "posting/receipt_posting.h"
#include "posting/sql_error.h"

#include <QtTest>

namespace {

const std::string kPassword = "tallowbin";
const char* const kDate = "2003/01/20";  // the seed's fixed date: one receipt per point of sale

QString text(const ClientDataSet& set, std::size_t record, const char* field)
{
    return QString::fromLatin1(set.displayText(record, *set.findField(field)));
}

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
    void connectFailures_data();
    void connectFailures();
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
    // A fresh company database, copied from the one made at start.
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
    const QString path = m_dir.filePath(QString("company%1.fdb").arg(++m_copies));
    if (!QFile::copy(m_template, path))
        qFatal("cannot copy the template database");
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    return QFile::encodeName(path).toStdString();
}

void TestPostingEmbedded::connectDisconnectReconnect()
{
    const std::string db = freshDatabase();
    ReceiptPosting data;
    // Blanks around the path go at connect; the settings keep them.
    data.reconnect("  " + db + " ", "SYSDBA", kPassword);
    QVERIFY(data.Ledgara.connected());
    QCOMPARE(data.Ledgara.settings().database, "  " + db + " ");

    auto attachmentId = [&] {
        fbtest::Rows rows;
        data.Ledgara.fetchAll("select current_connection from rdb$database", rows);
        return rows.rows.at(0).at(0);
    };
    const QString first = attachmentId();
    data.reconnect(db, "SYSDBA", kPassword);  // same inputs: a new attachment all the same
    QVERIFY(data.Ledgara.connected());
    const QString second = attachmentId();
    QVERIFY(first != second);

    data.Ledgara.close();
    QVERIFY(!data.Ledgara.connected());
    data.Ledgara.close();
    QVERIFY(!data.Ledgara.connected());
    // A statement that needs the connection opens it.
    QVERIFY(attachmentId() != second);
    QVERIFY(data.Ledgara.connected());
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
    ReceiptPosting data;
    data.reconnect(freshDatabase(), "SYSDBA", kPassword);
    QVERIFY(data.Ledgara.connected());
    if (!library.isEmpty())
        qputenv("LEDGARA_FBCLIENT", QFile::encodeName(library));

    const QString error = caught([&] {
        data.reconnect(QFile::encodeName(database).toStdString(), user.toStdString(), password);
    });
    QVERIFY2(error.startsWith(expectedStart), qPrintable(error));
    QVERIFY2(!error.contains(QString::fromStdString(password)), qPrintable(error));
    QVERIFY(!data.Ledgara.connected());
    // The settings keep what the step set, the role as stored.
    const ConnectionSettings& settings = data.Ledgara.settings();
    QCOMPARE(QString::fromStdString(settings.database), database);
    QCOMPARE(settings.password, password);
    QCOMPARE(QString::fromStdString(settings.user), user);
    QCOMPARE(settings.role, std::string("RoleName"));
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
    data.reconnect(db, "SYSDBA", kPassword);
    data.readPointsOfSale();
    QCOMPARE(data.CPuntos.recordCount(), std::size_t{4});
    QCOMPARE(text(data.CPuntos, 1, "PTVT_NOM"), "SUCURSAL NORTE");
    QCOMPARE(text(data.CPuntos, 1, "PREF_PRE"), "PV02");
    QVERIFY(data.CPuntos.isNull(3, *data.CPuntos.findField("CAJA_ID")));

    fbtest::Rows none;
    data.Ledgara.fetchAll("insert into PUNTO_VENTA (PTVT_ID, BODE_COD, PTVT_NOM) values (5, '05', 'NUEVO')", none);
    data.reconnect(db, "SYSDBA", kPassword);
    data.readPointsOfSale();
    QCOMPARE(data.CPuntos.recordCount(), std::size_t{4});
    // The rows stay when the connection goes.
    data.Ledgara.close();
    QCOMPARE(text(data.CPuntos, 0, "PTVT_NOM"), "ALMACEN PRINCIPAL");
    data.CPuntos.close();
    data.readPointsOfSale();
    QCOMPARE(data.CPuntos.recordCount(), std::size_t{5});
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
        data.reconnect(db, "SYSDBA", kPassword);
        data.readPointsOfSale();
        data.post(kDate, niif);
        const ClientDataSet& set = data.CRepArticulos;
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
        QVERIFY(data.Ledgara.connected());
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
    again.reconnect(db, "SYSDBA", kPassword);
    again.post(kDate, niif);
    QStringList left;
    for (std::size_t r = 0; r < again.CRepArticulos.recordCount(); ++r)
        left << text(again.CRepArticulos, r, "ESTADO");
    QStringList expectedLeft = estados;
    expectedLeft.removeAll("CONTABILIZADO");
    QCOMPARE(left, expectedLeft);
    QCOMPARE(posted(voucherColumn), QString::number(postable));
    again.post("2003/01/21", niif);
    QVERIFY(again.CRepArticulos.active());
    QVERIFY(again.CRepArticulos.isEmpty());
}

void TestPostingEmbedded::prefixRestricts()
{
    const std::string db = freshDatabase();
    ReceiptPosting data;
    data.reconnect(db, "SYSDBA", kPassword);
    data.CRepArticulos.setCommandText("select * from recibos_sin_contabilidad('2003/01/20', '2003/01/20', 'PV02')");
    data.CRepArticulos.open();
    QCOMPARE(data.CRepArticulos.recordCount(), std::size_t{1});
    QCOMPARE(text(data.CRepArticulos, 0, "PREF"), "PV02");
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
    ReceiptPosting data;
    data.reconnect(db, "SYSDBA", kPassword);
    data.CRepArticulos.setCommandText("select * from " + procedure.toStdString());
    QCOMPARE(caught([&] { data.CRepArticulos.open(); }), error);
    QCOMPARE(data.CRepArticulos.active(), error.isEmpty());
    QVERIFY(data.Ledgara.connected());
    // The procedure ran to its end and its work was kept, bound or not.
    QCOMPARE(fbtest::scalar(db, kPassword, "select count(*) from BITACORA where PROC = '" + procedure.toStdString() + "'"),
             "3");
    if (error.isEmpty()) {
        const ClientDataSet& set = data.CRepArticulos;
        QCOMPARE(set.findField("PREF")->size(), prefSize);
        QCOMPARE(set.recordCount(), std::size_t{3});
        QCOMPARE((QStringList{text(set, 0, "PREF"), text(set, 0, "NUMERO"), text(set, 0, "IDI")}), firstRow);
    }
}

void TestPostingEmbedded::procedureFailureRollsBack()
{
    const std::string db = freshDatabase();
    ReceiptPosting data;
    data.reconnect(db, "SYSDBA", kPassword);
    data.CRepArticulos.setCommandText("select * from RECIBOS_CON_FALLA");
    const QString error = caught([&] { data.CRepArticulos.open(); });
    QVERIFY2(error.startsWith("dbExpress Error: [0x0019]: Unable to fetch the rows\nSQL Server Error: exception "),
             qPrintable(error));
    QVERIFY2(error.contains("\nE_PRUEBA\n"), qPrintable(error));
    QVERIFY2(error.contains("Falla de prueba en el procedimiento"), qPrintable(error));
    QVERIFY(!data.CRepArticulos.active());
    QVERIFY(data.Ledgara.connected());
    QCOMPARE(fbtest::scalar(db, kPassword, "select count(*) from BITACORA"), "0");
    QCOMPARE(fbtest::scalar(db, kPassword, "select count(*) from RECIBO_CAJA where COMP_ID is not null"), "0");

    // The next run on the same connection posts as usual.
    data.post(kDate, false);
    QCOMPARE(data.CRepArticulos.recordCount(), std::size_t{4});
}

// The error keeps what the client said: its driver code, every line of the
// status in order (the text shows them all), the SQLCODE and the first GDS code.
void TestPostingEmbedded::errorKeepsWhatTheClientSaid_data()
{
    QTest::addColumn<QString>("statement");  // empty: connect to a file that is not there
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("sqlCode");
    QTest::addColumn<qint64>("gdsCode");
    QTest::addColumn<QString>("firstLine");
    QTest::newRow("missing file") << QString() << 0x15 << -902 << qint64(335544344)  // isc_io_error
                                  << "I/O error during \"open\" operation for file \"";
    QTest::newRow("unknown table") << "select * from NO_SUCH_TABLE" << 0x17 << -204
                                   << qint64(335544569)  // isc_dsql_error
                                   << "Dynamic SQL Error";
    QTest::newRow("procedure exception") << "select * from RECIBOS_CON_FALLA" << 0x19 << -836
                                         << qint64(335544517)  // isc_except
                                         << "exception ";
}

void TestPostingEmbedded::errorKeepsWhatTheClientSaid()
{
    QFETCH(QString, statement);
    QFETCH(int, code);
    QFETCH(int, sqlCode);
    QFETCH(qint64, gdsCode);
    QFETCH(QString, firstLine);

    SqlConnection connection("Ledgara");
    connection.settings().database =
        statement.isEmpty() ? m_dir.filePath("absent.fdb").toStdString() : freshDatabase();
    try {
        fbtest::Rows rows;
        connection.fetchAll(statement.toStdString(), rows);
        QFAIL("no error");
    } catch (const SqlError& e) {
        QCOMPARE(e.code, code);
        QCOMPARE(e.sqlCode, sqlCode);
        QCOMPARE(e.gdsCode, gdsCode);
        QVERIFY(e.serverLines.size() >= 2);
        QVERIFY2(QString::fromStdString(e.serverLines.front()).startsWith(firstLine), e.what());
        std::string lines;
        for (const auto& line : e.serverLines)
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
    data.reconnect(db, "SYSDBA", kPassword);
    fbtest::Rows id;
    data.Ledgara.fetchAll("select current_connection from rdb$database", id);

    SqlConnection admin("admin");
    admin.settings().database = db;
    admin.settings().password = kPassword;
    fbtest::Rows none;
    admin.fetchAll("delete from mon$attachments where mon$attachment_id = " + id.rows.at(0).at(0).toStdString(), none);

    const QString error = caught([&] { data.post(kDate, false); });
    QVERIFY2(error.startsWith("dbExpress Error: [0x00"), qPrintable(error));
    QVERIFY2(error.contains("SQL Server Error: "), qPrintable(error));
    QVERIFY(!data.Ledgara.connected());
    QVERIFY(!data.CRepArticulos.active());

    data.post(kDate, false);
    QVERIFY(data.Ledgara.connected());
    QCOMPARE(data.CRepArticulos.recordCount(), std::size_t{4});
}

QTEST_GUILESS_MAIN(TestPostingEmbedded)
#include "tst_posting_embedded.moc"
