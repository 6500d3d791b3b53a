// The data objects of the window against a real Firebird server on
// 127.0.0.1, started for this suite with its own security database
// (CONTARDC_FB_DIR its folder, where it leaves its address,
// CONTARDC_FB_PASSWORD the SYSDBA password).
#include "fbtest.h"
#include "posting/firebird.h"
#include "posting/receipt_posting.h"

#include <QtTest>

#include <unistd.h>

#include <set>
#include <thread>

namespace {

QString caught(const std::function<void()>& fn)
{
    try {
        fn();
    } catch (const std::exception& e) {
        return QString::fromLatin1(e.what());
    }
    return {};
}

QString text(const ClientDataSet& set, std::size_t record, const char* field)
{
    return QString::fromLatin1(set.displayText(record, *set.findField(field)));
}

const ClientDataSet& rows(const ReceiptPosting& data) { return *data.receipts().dataSet(); }

PostingFront g_front;  // a front that shows nothing

const char* const kServerLoginRefused =
    "dbExpress Error: [0x0015]: Connection failed\n"
    "SQL Server Error: Your user name and password are not defined. Ask your database administrator to set up a "
    "Firebird login.";

}  // namespace

class TestPostingServer : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void loginRefused_data();
    void loginRefused();
    void serverNotRunning();
    void postingOverTcp();
    void procedureResultOverTcp_data();
    void procedureResultOverTcp();
    void concurrentRunsPostEachReceiptOnce_data();
    void concurrentRunsPostEachReceiptOnce();
    void lostConnectionReconnects_data();
    void lostConnectionReconnects();
    void serverStopped_data();
    void serverStopped();

private:
    ConnectionRequest login(const std::string& user, const std::string& password) const
    {
        return {m_server, "01", user, password};
    }

    std::string m_server;  // as the connection step takes it: the company's database is datos/01/ledgara.fdb in it
    std::string m_db;
    std::string m_password;
};

void TestPostingServer::initTestCase()
{
    const QString server = fbtest::fixtureServer();
    const QString dir = qEnvironmentVariable("CONTARDC_FB_DIR");
    m_password = qEnvironmentVariable("CONTARDC_FB_PASSWORD").toStdString();
    QVERIFY2(!(server.isEmpty() || dir.isEmpty() || m_password.empty()), fbtest::kNoFixtureServer);
    QDir().mkpath(dir + "/data/datos/01");
    QFile::remove(dir + "/data/datos/01/ledgara.fdb");
    m_server = (server + ":" + dir + "/data").toStdString();
    const QString db = server + ":" + dir + "/data/datos/01/ledgara.fdb";
    const QString error = fbtest::makeDatabase(db, QString::fromStdString(m_password),
                                               {fbtest::sourceDir() + "/tests/posting/fixture.sql"});
    QVERIFY2(error.isEmpty(), qPrintable(error));
    m_db = db.toStdString();
}

void TestPostingServer::loginRefused_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::newRow("wrong password") << "SYSDBA" << "Zq9-wrong-password";
    QTest::newRow("unknown user") << "NADIE" << "Zq9-wrong-password";
    QTest::newRow("right password of another user") << "NADIE" << QString::fromStdString(m_password);
}

void TestPostingServer::loginRefused()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    ReceiptPosting data;
    data.connectStep(login("SYSDBA", m_password), g_front);
    const QString error =
        caught([&] { data.connectStep(login(user.toStdString(), password.toStdString()), g_front); });
    QCOMPARE(error, QString(kServerLoginRefused));
    QVERIFY(!error.contains(password));
    QVERIFY(!data.connected());
}

void TestPostingServer::serverNotRunning()
{
    const std::string server = "127.0.0.1/" + std::to_string(fbtest::unusedPort()) + ":/srv";
    ReceiptPosting data;
    const QString error = caught([&] { data.connectStep({server, "01", "SYSDBA", "Zq9-never-shown"}, g_front); });
    QVERIFY2(error.startsWith("dbExpress Error: [0x0015]: Connection failed\n"
                              "SQL Server Error: Unable to complete network request to host \"127.0.0.1\"."),
             qPrintable(error));
    QVERIFY(!error.contains("Zq9-never-shown"));
    QVERIFY(!data.connected());
}

void TestPostingServer::postingOverTcp()
{
    {
        ReceiptPosting data;
        data.connectStep(login("SYSDBA", m_password), g_front);
        QCOMPARE(data.pointsOfSale().recordCount(), std::size_t{4});
        data.postStep({2003, 1, 20}, false, g_front);
        QCOMPARE(rows(data).recordCount(), std::size_t{4});
        QStringList estados;
        for (std::size_t r = 0; r < 4; ++r)
            estados << text(rows(data), r, "ESTADO");
        QCOMPARE(estados,
                 (QStringList{"CONTABILIZADO", "CONTABILIZADO", "CONTABILIZADO", "SIN CUENTA CONTABLE"}));
    }
    QCOMPARE(fbtest::scalar(m_db, m_password,
                            "select count(*) from RECIBO_CAJA where RECI_FECHA = date '2003-01-20' and COMP_ID is not null"),
             "3");
    QCOMPARE(fbtest::scalar(m_db, m_password, fbtest::unbalancedVouchersSql(false)), "0");

    ReceiptPosting again;
    again.connectStep(login("SYSDBA", m_password), g_front);
    again.postStep({2003, 1, 20}, false, g_front);
    QCOMPARE(rows(again).recordCount(), std::size_t{1});
    QCOMPARE(text(rows(again), 0, "ESTADO"), "SIN CUENTA CONTABLE");
}

// The client prefetches rows over TCP; the outcome must not differ from
// the embedded one: work kept when only the binding fails, undone when the
// procedure fails after returning a row.
void TestPostingServer::procedureResultOverTcp_data()
{
    QTest::addColumn<QString>("procedure");
    QTest::addColumn<QString>("errorStart");
    QTest::addColumn<QString>("logged");
    QTest::newRow("binding fails after every row")
        << "RECIBOS_ID_BIGINT" << "Type mismatch for field 'ID', expecting: Integer actual: LargeInt" << "3";
    QTest::newRow("procedure raises")
        << "RECIBOS_CON_FALLA" << "dbExpress Error: [0x0019]: Unable to fetch the rows\nSQL Server Error: exception "
        << "0";
}

void TestPostingServer::procedureResultOverTcp()
{
    QFETCH(QString, procedure);
    QFETCH(QString, errorStart);
    QFETCH(QString, logged);
    SqlConnection connection;
    connection.settings().database = m_db;
    connection.settings().password = m_password;
    ClientDataSet set;
    fbtest::declareReceiptRow(set, connection);
    set.setCommandText("select * from " + procedure.toStdString());
    const QString error = caught([&] { set.open(); });
    QVERIFY2(error.startsWith(errorStart), qPrintable(error));
    QVERIFY(!set.active());
    QVERIFY(connection.connected());
    QCOMPARE(fbtest::scalar(m_db, m_password,
                            "select count(*) from BITACORA where PROC = '" + procedure.toStdString() + "'"),
             logged);
}

void TestPostingServer::concurrentRunsPostEachReceiptOnce_data()
{
    QTest::addColumn<bool>("niif");
    QTest::addColumn<QString>("date");
    QTest::newRow("local ledger") << false << "2010/10/10";
    QTest::newRow("ifrs ledger") << true << "2010/10/11";
}

void TestPostingServer::concurrentRunsPostEachReceiptOnce()
{
    QFETCH(bool, niif);
    QFETCH(QString, date);
    const int receipts = 300;
    const std::string sqlDate = date.toStdString();
    {
        SqlConnection setup;
        setup.settings().database = m_db;
        setup.settings().password = m_password;
        fbtest::Rows none;
        setup.fetchAll("execute block as declare i integer = 0; declare id integer; begin "
                       "while (i < " + std::to_string(receipts) + ") do begin "
                       "select coalesce(max(RECI_ID), 0) + 1 from RECIBO_CAJA into :id; "
                       "insert into RECIBO_CAJA (RECI_ID, PTVT_ID, RECI_PREF, RECI_NUM, RECI_FECHA, RECI_VALOR, "
                       "RECI_FORMA_PAGO, TERC_NIT) values (:id, 1 + mod(:id, 2), 'C' || mod(:id, 2), "
                       "lpad(:id, 6, '0'), cast('" + sqlDate + "' as date), 1000 + :id, 'EFECTIVO', '800'); "
                       "i = i + 1; end end",
                       none);
    }

    // Several runs at once; each on a connection of its own, as separate
    // copies of the tool would be. The library was loaded by the setup
    // above, on this thread: the program that loads it has only one.
    const std::string statement = postingStatement(sqlDate, niif);
    constexpr int kRuns = 4;
    fbtest::Rows results[kRuns];
    std::string errors[kRuns];
    auto run = [&](int k) {
        try {
            SqlConnection connection;
            connection.settings().database = m_db;
            connection.settings().user = "SYSDBA";
            connection.settings().password = m_password;
            connection.fetchAll(statement, results[k]);
        } catch (const std::exception& e) {
            errors[k] = e.what();
        }
    };
    std::vector<std::thread> threads;
    for (int k = 0; k < kRuns; ++k)
        threads.emplace_back(run, k);
    for (auto& thread : threads)
        thread.join();
    for (const auto& error : errors)
        QVERIFY2(error.empty(), error.c_str());

    std::set<QString> posted;
    for (const auto& result : results) {
        for (const auto& row : result.rows) {
            QCOMPARE(row.value(3), "CONTABILIZADO");
            QVERIFY2(posted.insert(row.value(0)).second, qPrintable("posted twice: " + row.value(0)));
        }
    }
    QCOMPARE(static_cast<int>(posted.size()), receipts);
    const std::string column = niif ? "COMP_NIIF_ID" : "COMP_ID";
    QCOMPARE(fbtest::scalar(m_db, m_password,
                            "select count(distinct " + column + ") from RECIBO_CAJA where RECI_FECHA = '" + sqlDate +
                                "' and " + column + " is not null"),
             QString::number(receipts));
    QCOMPARE(fbtest::scalar(m_db, m_password, fbtest::unbalancedVouchersSql(niif)), "0");
}

// The server ends the attachment. A run reports it and leaves the
// connection closed, so that the next run reconnects; a connection step
// ends the dead connection quietly and connects again.
void TestPostingServer::lostConnectionReconnects_data()
{
    QTest::addColumn<bool>("stepFirst");
    QTest::newRow("posting run next") << false;
    QTest::newRow("connection step next") << true;
}

void TestPostingServer::lostConnectionReconnects()
{
    QFETCH(bool, stepFirst);
    ReceiptPosting data;
    data.connectStep(login("SYSDBA", m_password), g_front);
    // The run's attachment is the only other one to the database.
    QCOMPARE(fbtest::scalar(m_db, m_password,
                            "select count(*) from mon$attachments where mon$attachment_id <> current_connection "
                            "and mon$system_flag = 0"),
             "1");
    fbtest::query(m_db, m_password,
                  "delete from mon$attachments where mon$attachment_id <> current_connection and mon$system_flag = 0");

    if (stepFirst) {
        data.connectStep(login("SYSDBA", m_password), g_front);
    } else {
        const QString error = caught([&] { data.postStep({2003, 1, 21}, false, g_front); });
        QVERIFY2(error.startsWith("dbExpress Error: [0x00"), qPrintable(error));
        QVERIFY2(error.contains("SQL Server Error: "), qPrintable(error));
        QVERIFY(!data.connected());
    }

    data.postStep({2003, 1, 21}, false, g_front);
    QVERIFY(data.connected());
    QVERIFY(rows(data).active());
    QVERIFY(rows(data).isEmpty());
}

// A server of this test's own that stops while the connection is open: the
// next step or run fails with the server's text, and the connection knows
// it is closed (the detach of the dead connection is not an error of its own).
void TestPostingServer::serverStopped_data()
{
    QTest::addColumn<bool>("stepFirst");
    QTest::newRow("connection step next") << true;
    QTest::newRow("posting run next") << false;
}

void TestPostingServer::serverStopped()
{
    QFETCH(bool, stepFirst);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString serverDir = dir.filePath("server");
    const QString port = QString::number(fbtest::unusedPort());
    const QString scripts = fbtest::sourceDir() + "/tests/posting/";
    QCOMPARE(QProcess::execute(scripts + "fbserver_start.sh", {serverDir, port, "pw-stopped"}), 0);
    const std::string server = ("127.0.0.1/" + port + ":" + serverDir + "/data").toStdString();
    QDir().mkpath(serverDir + "/data/datos/01");
    const QString created =
        fbtest::makeDatabase(QString::fromStdString(server) + "/datos/01/ledgara.fdb", "pw-stopped");
    if (!created.isEmpty()) {
        QProcess::execute(scripts + "fbserver_stop.sh", {serverDir});
        QFAIL(qPrintable(created));
    }

    ReceiptPosting data;
    data.connectStep({server, "01", "SYSDBA", "pw-stopped"}, g_front);
    QVERIFY(data.connected());
    QCOMPARE(QProcess::execute(scripts + "fbserver_stop.sh", {serverDir}), 0);

    const QString error = caught([&] {
        if (stepFirst)
            data.connectStep({server, "01", "SYSDBA", "pw-stopped"}, g_front);
        else
            data.postStep({2003, 1, 20}, false, g_front);
    });
    QVERIFY2(error.startsWith(stepFirst ? "dbExpress Error: [0x0015]: Connection failed\nSQL Server Error: "
                                        : "dbExpress Error: [0x00"),
             qPrintable(error));
    QVERIFY2(error.contains("SQL Server Error: "), qPrintable(error));
    QVERIFY(!data.connected());
    QVERIFY(!error.contains("pw-stopped"));
}

QTEST_GUILESS_MAIN(TestPostingServer)
#include "tst_posting_server.moc"
