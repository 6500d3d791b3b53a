// What a posting run leaves behind when things go wrong around it: the
// server killed while the procedure is posting, the database file gone
// between the connection step and the run, the tool started several times at
// once on the same receipts, over TCP and through the embedded engine. Every
// case also checks that the password never shows in any text the tool or
// the layer produces.
//
// Runs against the server that ctest starts for the posting tests
// (CONTARDC_FB_DIR its folder, where it leaves its address,
// CONTARDC_FB_PASSWORD the SYSDBA password), servers of its own that it
// starts and kills, and databases opened by the embedded engine.
#include "fbtest.h"
#include "posting/receipt_posting.h"

#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <memory>
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

// Read once per case: the receipts a case makes and the counts it checks are
// then all of one day, also when the case runs over midnight.
QString todayText() { return QDate::currentDate().toString("yyyy/MM/dd"); }

QString scriptDir() { return fbtest::sourceDir() + "/tests/posting/"; }

// A Firebird server of one test's own, stopped when the test ends however it
// ends. Its databases live outside its folder, which a restart wipes.
class OwnServer {
public:
    OwnServer(QString dir, QString password) : m_dir(std::move(dir)), m_password(std::move(password)) {}
    ~OwnServer() { QProcess::execute(scriptDir() + "fbserver_stop.sh", {m_dir}); }
    OwnServer(const OwnServer&) = delete;
    OwnServer& operator=(const OwnServer&) = delete;

    // The first start takes a free port; a restart takes the same one again,
    // since the paths of the server's databases name it.
    bool start()
    {
        const QString port = m_address.isEmpty() ? QStringLiteral("0") : m_address.section('/', 1);
        if (QProcess::execute(scriptDir() + "fbserver_start.sh", {m_dir, port, m_password}) != 0)
            return false;
        m_address = fbtest::serverAddress(m_dir);
        return !m_address.isEmpty();
    }

    // Ends the server with the signal: SIGKILL as a crash or a pulled plug
    // would, SIGTERM as an administrator stopping the service would (it
    // gets SIGKILL if it has not gone after a while).
    bool kill(int signal)
    {
        QFile file(m_dir + "/server.pid");
        if (!file.open(QIODevice::ReadOnly))
            return false;
        const pid_t pid = static_cast<pid_t>(file.readAll().trimmed().toLong());
        if (pid <= 0 || ::kill(pid, signal) != 0)
            return false;
        for (int i = 0; i < 500 && ::kill(pid, 0) == 0; ++i)
            QThread::msleep(20);
        if (::kill(pid, 0) == 0 && ::kill(pid, SIGKILL) == 0)
            for (int i = 0; i < 500 && ::kill(pid, 0) == 0; ++i)
                QThread::msleep(20);
        return ::kill(pid, 0) != 0;
    }

    // "127.0.0.1/port:" followed by a path.
    QString host() const { return m_address + ":"; }

private:
    QString m_dir;
    QString m_password;
    QString m_address;
};

std::string ledgerColumn(bool niif) { return niif ? "COMP_NIIF_ID" : "COMP_ID"; }

std::string receiptsOf(const QString& date) { return "RECI_FECHA = cast('" + date.toStdString() + "' as date)"; }

// Receipts of the date that the ledger has posted.
int posted(const std::string& db, const std::string& password, const QString& date, bool niif)
{
    return fbtest::scalar(db, password,
                          "select count(*) from RECIBO_CAJA where " + receiptsOf(date) + " and " +
                              ledgerColumn(niif) + " is not null")
        .toInt();
}

// Receipts of the date that the ledger can post: accounts and a value.
int postable(const std::string& db, const std::string& password, const QString& date, bool niif)
{
    return fbtest::scalar(db, password,
                          "select count(*) from RECIBO_CAJA r where r." + receiptsOf(date) +
                              " and r.RECI_VALOR > 0 and exists (select 1 from CUENTA_PUNTO_VENTA c "
                              "where c.PTVT_ID = r.PTVT_ID and c.LIBRO = '" + (niif ? "N" : "L") + "')")
        .toInt();
}

// Everything that would make a ledger half-posted: a receipt marked without
// its voucher, a voucher without two balanced entries or without its mark, a
// receipt posted without accounts, totals of the date that differ between
// receipts and entries. Empty when the ledger is whole.
QStringList ledgerFaults(const std::string& db, const std::string& password, const QString& date, bool niif)
{
    const std::string c = niif ? "COMPROBANTE_NIIF" : "COMPROBANTE";
    const std::string m = niif ? "MOVIMIENTO_NIIF" : "MOVIMIENTO";
    const std::string col = ledgerColumn(niif);
    QStringList faults;
    auto expectZero = [&](const char* what, const std::string& sql) {
        const QString n = fbtest::scalar(db, password, sql);
        if (n != "0")
            faults << QString("%1: %2").arg(what, n);
    };
    expectZero("vouchers not balanced or not matching their receipt", fbtest::unbalancedVouchersSql(niif));
    expectZero("receipts marked without their voucher",
               "select count(*) from RECIBO_CAJA r where r." + col + " is not null and not exists "
               "(select 1 from " + c + " v where v.COMP_ID = r." + col + " and v.RECI_ID = r.RECI_ID)");
    expectZero("receipts posted without accounts",
               "select count(*) from RECIBO_CAJA r where r." + col + " is not null and not exists "
               "(select 1 from CUENTA_PUNTO_VENTA a where a.PTVT_ID = r.PTVT_ID and a.LIBRO = '" +
                   (niif ? "N" : "L") + "')");
    const QString receipts = fbtest::scalar(
        db, password, "select coalesce(sum(RECI_VALOR), 0) from RECIBO_CAJA where " + receiptsOf(date) + " and " +
                          col + " is not null");
    for (const char* side : {"DEBITO", "CREDITO"}) {
        const QString entries = fbtest::scalar(
            db, password, std::string("select coalesce(sum(e.") + side + "), 0) from " + m + " e join " + c +
                              " v on v.COMP_ID = e.COMP_ID join RECIBO_CAJA r on r.RECI_ID = v.RECI_ID where r." +
                              receiptsOf(date));
        if (entries != receipts)
            faults << QString("%1 of the vouchers %2, receipts posted %3").arg(side, entries, receipts);
    }
    return faults;
}

// Kills the server once a posting run on it is well into its work, as the
// server's own monitoring shows it; false when the run ended first.
bool killWhilePosting(OwnServer& server, int signal, const std::string& db, const std::string& password,
                      const std::function<bool()>& runEnded)
{
    bool ended = false;
    {
        SqlConnection watch;
        watch.settings().database = db;
        watch.settings().password = password;
        const std::string progressSql =
            "select coalesce(sum(s.mon$record_updates), 0) from mon$attachments a join mon$record_stats s "
            "on s.mon$stat_id = a.mon$stat_id where a.mon$attachment_id <> current_connection";
        long long updates = 0;
        for (int i = 0; i < 6000 && !(ended = runEnded()) && updates < 2000; ++i) {
            QThread::msleep(20);
            fbtest::Rows progress;
            watch.fetchAll(progressSql, progress);
            updates = progress.rows.at(0).at(0).toLongLong();
        }
        ended = ended || runEnded();
        if (!server.kill(signal))
            qFatal("the test server could not be killed");
    }
    return !ended;
}

struct ToolRun {
    int exitCode = -1;
    QString out;
    QString err;
};

// The tool's unattended run as a separate process with no display: rows to
// standard output, errors to standard error; started through `launcher`
// when one is given. `inChild` runs in the tool's process before it starts:
// what its starter does to its standard descriptors.
std::unique_ptr<QProcess> startTool(const QStringList& args, const QMap<QString, QString>& extraEnv = {},
                                    const QStringList& launcher = {}, const std::function<void()>& inChild = {})
{
    QProcessEnvironment env = fbtest::environmentWithoutDisplay();
    for (auto it = extraEnv.begin(); it != extraEnv.end(); ++it)
        env.insert(it.key(), it.value());
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(env);
    process->setProcessChannelMode(QProcess::SeparateChannels);
    if (inChild)
        process->setChildProcessModifier(inChild);
    const QStringList command = launcher + QStringList{QStringLiteral(CONTARDC_TOOL)} + args;
    process->start(command.first(), command.mid(1));
    return process;
}

ToolRun finish(QProcess& process)
{
    ToolRun run;
    if (!process.waitForFinished(300000)) {
        process.kill();
        process.waitForFinished();
        run.err = "the tool did not end";
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromLatin1(process.readAllStandardOutput());
    run.err = QString::fromLatin1(process.readAllStandardError());
    return run;
}

// The rows a run printed, "PREF-NUMERO" to ESTADO.
std::vector<std::pair<QString, QString>> printedRows(const QString& out)
{
    std::vector<std::pair<QString, QString>> rows;
    const QStringList lines = out.split('\n', Qt::SkipEmptyParts);
    if (lines.isEmpty() || !lines.front().startsWith("PREF "))
        return rows;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QStringList words = lines[i].split(' ', Qt::SkipEmptyParts);
        if (words.size() >= 3)
            rows.emplace_back(words[0] + "-" + words[1], words.mid(2).join(' '));
    }
    return rows;
}

#define VERIFY_NO_SECRET(text, secret)                                                                             \
    QVERIFY2(!(text).contains(secret, Qt::CaseInsensitive),                                                        \
             qPrintable(QString("the password shows in: ") + (text)))

// A user's open transaction in the ERP, holding one receipt of the date
// (isql, its transaction left open until stdin closes, then rolled back).
class HeldReceipt {
public:
    HeldReceipt(const std::string& db, const std::string& password, const QString& date)
    {
        m_isql.setProcessChannelMode(QProcess::MergedChannels);
        m_isql.start("isql-fb", {"-q", "-user", "SYSDBA", "-password", QString::fromStdString(password),
                                 QString::fromStdString(db)});
        m_isql.waitForStarted();
        m_isql.write("set autoddl off;\nupdate RECIBO_CAJA set RECI_VALOR = RECI_VALOR where RECI_ID = (select "
                     "min(RECI_ID) from RECIBO_CAJA where " +
                     QByteArray::fromStdString(receiptsOf(date)) + ");\nselect 'held' || 'X' from rdb$database;\n");
        for (int i = 0; i < 100 && !m_output.contains("heldX"); ++i) {
            m_isql.waitForReadyRead(100);
            m_output += m_isql.readAll();
        }
    }
    ~HeldReceipt() { release(); }
    bool held() const { return m_output.contains("heldX"); }
    // The user's transaction ends without a commit.
    void release()
    {
        if (m_isql.state() == QProcess::NotRunning)
            return;
        m_isql.write("rollback;\nexit;\n");
        m_isql.closeWriteChannel();
        if (!m_isql.waitForFinished(10000))
            m_isql.kill();
        m_isql.waitForFinished();
    }

private:
    QProcess m_isql;
    QByteArray m_output;
};

// A TCP proxy of the test's own in front of the server, that can stop
// forwarding without closing anything: a server, or the network to it, that
// stops answering. Closing it closes every connection.
class StallingProxy {
public:
    explicit StallingProxy(int serverPort) : m_serverPort(serverPort)
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) == 0 && ::listen(m_listener, 8) == 0 &&
            ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~StallingProxy()
    {
        m_closing = true;
        m_thread.join();
        for (int fd : m_sockets)
            ::close(fd);
        ::close(m_listener);
    }
    int port() const { return m_port; }
    void stall() { m_stalled = true; }

private:
    static int connectTo(int port)
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        return ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 ? fd : (::close(fd), -1);
    }

    // One thread polls the listener and every pair; a stalled proxy reads
    // nothing more, so what is sent stays in the kernel's buffers.
    void serve()
    {
        std::vector<std::pair<int, int>> pairs;
        while (!m_closing) {
            std::vector<pollfd> fds{{m_listener, POLLIN, 0}};
            if (!m_stalled)
                for (const auto& [a, b] : pairs) {
                    fds.push_back({a, POLLIN, 0});
                    fds.push_back({b, POLLIN, 0});
                }
            if (::poll(fds.data(), fds.size(), 50) <= 0)
                continue;
            if (fds[0].revents & POLLIN) {
                const int client = ::accept(m_listener, nullptr, nullptr);
                const int server = connectTo(m_serverPort);
                if (client >= 0 && server >= 0) {
                    pairs.emplace_back(client, server);
                    m_sockets.push_back(client);
                    m_sockets.push_back(server);
                }
                continue;
            }
            for (std::size_t i = 1; i < fds.size(); ++i) {
                if (!(fds[i].revents & (POLLIN | POLLHUP)))
                    continue;
                const auto& pair = pairs[(i - 1) / 2];
                const int from = fds[i].fd;
                const int to = from == pair.first ? pair.second : pair.first;
                char buffer[65536];
                const ssize_t n = ::read(from, buffer, sizeof buffer);
                if (n > 0)
                    [[maybe_unused]] const ssize_t sent = ::send(to, buffer, static_cast<std::size_t>(n), MSG_NOSIGNAL);
                else
                    ::shutdown(to, SHUT_WR);
            }
        }
    }

    int m_serverPort;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stalled{false};
    std::atomic<bool> m_closing{false};
    std::vector<int> m_sockets;
    std::thread m_thread;
};

QString isoDate(const QDate& date) { return date.toString("yyyy-MM-dd"); }

// Waits until a posting run's statement is at work on the database, as the
// server's own monitoring shows it (also while it waits on a lock); false
// when `ended` says the run ended first, or after a minute.
bool postingAtWork(const std::string& db, const std::string& password, const std::function<bool()>& ended)
{
    // Not this very query, whose text names the procedure too.
    const std::string running = "select count(*) from mon$statements where mon$state = 1 and "
                                "mon$attachment_id <> current_connection and "
                                "mon$sql_text containing 'recibos_sin_contabilidad'";
    for (QDeadlineTimer deadline(60000); !deadline.hasExpired(); QThread::msleep(50)) {
        if (fbtest::scalar(db, password, running) != "0")
            return true;
        if (ended())
            return false;
    }
    return false;
}

// What starts a process as one of the user's ordinary processes: for the
// superuser, without the privilege to trace others (which would open any
// process's memory), and with its other privileges, which a process must
// hold all of to open the memory of a process that has them.
QStringList ordinaryProcess()
{
    if (::geteuid() != 0)
        return {};
    return {QStringLiteral("setpriv"), QStringLiteral("--bounding-set"), QStringLiteral("-sys_ptrace"),
            QStringLiteral("--inh-caps"), QStringLiteral("-sys_ptrace")};
}

// Whether another such process of the user may open the memory of process
// pid (/proc/PID/mem).
bool memoryOpenToTheUser(qint64 pid)
{
    const QStringList command = ordinaryProcess() + QStringList{QStringLiteral("sh"), QStringLiteral("-c"),
                                                                QStringLiteral(": < /proc/%1/mem").arg(pid)};
    QProcess probe;
    probe.start(command.first(), command.mid(1));
    return probe.waitForFinished(30000) && probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0;
}

}  // namespace

class TestReliability : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();

    void serverKilledWhilePosting_data();
    void serverKilledWhilePosting();
    void databaseGoneBeforeRun();
    void headlessRunFails_data();
    void headlessRunFails();
    void concurrentHeadlessRuns_data();
    void concurrentHeadlessRuns();
    void concurrentEmbeddedRuns();
    void passwordOffTheCommandLine_data();
    void passwordOffTheCommandLine();
    void passwordTypedAtATerminal();
    void heldReceiptTimesOut();
    void catchUpPostsEachDay();
    void silentServerTimesOut();
    void closedStandardStreams_data();
    void closedStandardStreams();
    void catchUpEndedFromOutside_data();
    void catchUpEndedFromOutside();
    void catchUpDayFailsReportLost();
    void deadlineWithStandardErrorNobodyReads();
    void heldReceiptEndsAsTheServersError();

private:
    // A company database under the shared server's data folder, the one the
    // tool composes for server text dataHost() and this company code.
    // Empty when it could not be made (the reason is logged).
    std::string companyDatabase(const QString& company, int extraReceipts, const QString& date);
    QString dataHost() const { return m_server + ":" + m_dir + "/data"; }

    QString m_server;
    QString m_dir;
    std::string m_password;
    std::string m_failDb;
    QTemporaryDir m_work;
};

void TestReliability::initTestCase()
{
    m_server = fbtest::fixtureServer();
    m_dir = qEnvironmentVariable("CONTARDC_FB_DIR");
    m_password = qEnvironmentVariable("CONTARDC_FB_PASSWORD").toStdString();
    QVERIFY2(!(m_server.isEmpty() || m_dir.isEmpty() || m_password.empty()), fbtest::kNoFixtureServer);
    qunsetenv("LEDGARA_FBCLIENT");
    // The engine's lock files, of this process and of every tool it starts,
    // go to one folder of the test's own: whoever opens an embedded database
    // must share them.
    QVERIFY(m_work.isValid());
    QVERIFY(QDir(m_work.path()).mkpath("lock"));
    qputenv("FIREBIRD_LOCK", QFile::encodeName(m_work.filePath("lock")));
    // An installation the tool finds, with an empty server list: the server
    // comes from the command line.
    QVERIFY(QDir(m_work.path()).mkpath("erp"));
    QFile servers(m_work.filePath("erp/SERVIDORES.cfg"));
    QVERIFY(servers.open(QIODevice::WriteOnly));
    servers.close();
    QFile hklm(m_work.filePath("hklm.reg"));
    QVERIFY(hklm.open(QIODevice::WriteOnly));
    hklm.write("Windows Registry Editor Version 5.00\r\n\r\n"
               "[HKEY_LOCAL_MACHINE\\Software\\Vantel\\LedgaraERP2026]\r\n\"Directorio\"=\"" +
               QFile::encodeName(m_work.filePath("erp")) + "\"\r\n");
    hklm.close();
    qputenv("LEDGARA_HKLM", QFile::encodeName(m_work.filePath("hklm.reg")));
}

void TestReliability::cleanupTestCase()
{
    qunsetenv("FIREBIRD_LOCK");
    qunsetenv("LEDGARA_HKLM");
}

void TestReliability::cleanup()
{
    qunsetenv("LEDGARA_FBCLIENT");
}

std::string TestReliability::companyDatabase(const QString& company, int extraReceipts, const QString& date)
{
    const QString password = QString::fromStdString(m_password);
    const fbtest::Company made =
        fbtest::makeCompany(m_dir + "/data", password, fbtest::Accounts::AsSeeded, m_server + ":", company);
    QString error = made.error;
    if (error.isEmpty() && extraReceipts > 0)
        error = fbtest::addReceipts(made.database, password, date, extraReceipts);
    if (!error.isEmpty()) {
        qWarning("%s", qPrintable(error));
        return {};
    }
    return made.database.toStdString();
}

// The server dies while the procedure is posting a long run. The run reports
// it, the connection knows it is closed, no receipt is left half-posted, and
// once the server is back the same objects reconnect and post the rest once.
void TestReliability::serverKilledWhilePosting_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<QString>("layerError");  // of the data objects
    QTest::addColumn<QString>("toolError");   // of the unattended tool, on standard error
    const QString fetchFailed = "dbExpress Error: [0x0019]: Unable to fetch the rows\nSQL Server Error: ";
    // The client reads a socket that was closed under it; a stopped server
    // first ends its attachments and says so.
    QTest::newRow("server killed") << int{SIGKILL} << fetchFailed + "Error reading data from the connection."
                                   << fetchFailed + "Error reading data from the connection.\n";
    QTest::newRow("server stopped") << int{SIGTERM} << fetchFailed + "connection shutdown"
                                    << fetchFailed + "connection shutdown.\n";
}

void TestReliability::serverKilledWhilePosting()
{
    QFETCH(int, signal);
    QFETCH(QString, layerError);
    QFETCH(QString, toolError);
    const int kReceipts = 100000;
    const std::string password = "Kw7-killed-run";
    const QString date = todayText();
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    OwnServer server(dir.filePath("server"), QString::fromStdString(password));
    QVERIFY(server.start());
    const fbtest::Company company = fbtest::makeCompany(dir.path(), QString::fromStdString(password),
                                                        fbtest::Accounts::AsSeeded, server.host());
    QCOMPARE(company.error, QString());
    QCOMPARE(fbtest::addReceipts(company.database, QString::fromStdString(password), date, kReceipts), QString());
    const std::string db = company.database.toStdString();
    const int canPost = postable(db, password, date, false);
    QVERIFY(canPost > kReceipts / 2);

    ReceiptPosting data;
    PostingFront front;
    const CivilDate day = today();
    data.connectStep({(server.host() + dir.path()).toStdString(), "01", "SYSDBA", password}, front);

    std::atomic<bool> done{false};
    QString runError;
    std::thread run([&] {
        runError = caught([&] { data.postStep(day, false, front); });
        done = true;
    });

    const bool killedMidRun = killWhilePosting(server, signal, db, password, [&] { return done.load(); });
    run.join();
    QVERIFY2(killedMidRun, "the run ended before the server could be stopped");

    QCOMPARE(runError, layerError);
    VERIFY_NO_SECRET(runError, QString::fromStdString(password));
    QVERIFY(!data.connected());
    QVERIFY(!data.receipts().dataSet()->active());

    QVERIFY(server.start());
    const QStringList faults = ledgerFaults(db, password, date, false);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join("; ")));

    // The same for the unattended tool: it ends with the error and exit 1.
    auto tool = startTool({server.host() + dir.path(), "SYSDBA", QString::fromStdString(password), "01", "N"});
    QVERIFY(tool->waitForStarted());
    QVERIFY2(killWhilePosting(server, signal, db, password, [&] { return tool->waitForFinished(0); }),
             "the tool ended before the server could be stopped");
    const ToolRun killedTool = finish(*tool);
    QCOMPARE(killedTool.exitCode, 75);
    QCOMPARE(killedTool.err, toolError);
    QCOMPARE(killedTool.out, QString());
    VERIFY_NO_SECRET(killedTool.err, QString::fromStdString(password));

    QVERIFY(server.start());
    const QStringList toolFaults = ledgerFaults(db, password, date, false);
    QVERIFY2(toolFaults.isEmpty(), qPrintable(toolFaults.join("; ")));
    const int before = posted(db, password, date, false);

    // The next run of the same objects reconnects by itself.
    data.postStep(day, false, front);
    QVERIFY(data.connected());
    std::set<std::string> ids;
    int postedNow = 0;
    int withoutAccounts = 0;
    const ClientDataSet& rows = *data.receipts().dataSet();
    const Field* idField = rows.findField("ID");
    const Field* stateField = rows.findField("ESTADO");
    for (std::size_t r = 0; r < rows.recordCount(); ++r) {
        const std::string state = rows.displayText(r, *stateField);
        QVERIFY2(ids.insert(rows.displayText(r, *idField)).second, "a receipt came back twice");
        if (state == "CONTABILIZADO")
            ++postedNow;
        else if (state == "SIN CUENTA CONTABLE")
            ++withoutAccounts;
        else
            QFAIL(state.c_str());
    }
    QCOMPARE(postedNow, canPost - before);
    QCOMPARE(withoutAccounts, kReceipts / 50 + 1);  // the seed's own receipt of that point of sale too
    QCOMPARE(posted(db, password, date, false), canPost);
    const QStringList after = ledgerFaults(db, password, date, false);
    QVERIFY2(after.isEmpty(), qPrintable(after.join("; ")));
}

// The database file goes away after the connection step, and the attachment
// with it: the run reports the lost connection, the next one cannot
// reconnect and says why, and nothing is posted until the file is back.
void TestReliability::databaseGoneBeforeRun()
{
    const QString path = m_dir + "/data/datos/gone/ledgara.fdb";
    QDir().mkpath(QFileInfo(path).path());
    QFile::remove(path);
    QFile::remove(path + ".moved");
    const std::string db = (m_server + ":" + path).toStdString();
    const QString made = fbtest::makeDatabase(QString::fromStdString(db), QString::fromStdString(m_password));
    QVERIFY2(made.isEmpty(), qPrintable(made));
    const QString date = todayText();

    ReceiptPosting data;
    PostingFront front;
    const CivilDate day = today();
    data.connectStep({dataHost().toStdString(), "gone", "SYSDBA", m_password}, front);
    // The run's attachment is the only other one to the database.
    const std::string others = "from mon$attachments where mon$attachment_id <> current_connection and "
                               "mon$system_flag = 0";
    QCOMPARE(fbtest::scalar(db, m_password, "select count(*) " + others), "1");
    fbtest::query(db, m_password, "delete " + others);
    QVERIFY(QFile::rename(path, path + ".moved"));

    const QString lost = caught([&] { data.postStep(day, false, front); });
    QCOMPARE(lost, "dbExpress Error: [0x001B]: Unable to start a transaction\nSQL Server Error: connection shutdown");
    QVERIFY(!data.connected());
    const QString missing = caught([&] { data.postStep(day, false, front); });
    QCOMPARE(missing, "dbExpress Error: [0x0015]: Connection failed\nSQL Server Error: I/O error during \"open\" "
                      "operation for file \"" + path + "\"\nError while trying to open file\nNo such file or directory");
    QVERIFY(!data.connected());
    QVERIFY(!data.receipts().dataSet()->active());
    QVERIFY(!QFile::exists(path));
    for (const QString& text : {lost, missing})
        VERIFY_NO_SECRET(text, QString::fromStdString(m_password));

    QVERIFY(QFile::rename(path + ".moved", path));
    QCOMPARE(posted(db, m_password, date, false), 0);
    data.postStep(day, false, front);
    QCOMPARE(posted(db, m_password, date, false), postable(db, m_password, date, false));
}

// Runs of the tool that cannot post: each ends with the exit code that says
// what to do about it and the error on standard error, prints no row, posts
// nothing and never echoes the password it was given.
void TestReliability::headlessRunFails_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("company");
    QTest::addColumn<QString>("clientLibrary");
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("exitCode");

    const QString right = QString::fromStdString(m_password);
    const QString absentLibrary = m_dir + "/nowhere/libfbclient.so.2";
    QTest::newRow("client library missing") << dataHost() << right << "01" << absentLibrary
                                            << "Unable to Load " + absentLibrary + ".\n" << 78;
    QTest::newRow("wrong password")
        << dataHost() << "Qx8-typed-wrong" << "01" << QString()
        << "dbExpress Error: [0x0015]: Connection failed\nSQL Server Error: Your user name and password are not "
           "defined. Ask your database administrator to set up a Firebird login.\n" << 77;
    QTest::newRow("company database missing")
        << dataHost() << right << "77" << QString()
        << "dbExpress Error: [0x0015]: Connection failed\nSQL Server Error: I/O error during \"open\" operation for "
           "file \"" + m_dir + "/data/datos/77/ledgara.fdb\"\nError while trying to open file\n"
           "No such file or directory.\n" << 78;
    QTest::newRow("password too long for the login")
        << dataHost() << QString("Lp4-") + QString("0123456789abcdef").repeated(20) << "01" << QString()
        << "dbExpress Error: [0x001D]: Connection failed: user name, password, role or path too long.\n" << 2;
    QTest::newRow("server not running")
        << QString("127.0.0.1/%1:%2/data").arg(fbtest::unusedPort()).arg(m_dir) << right << "01" << QString()
        << "dbExpress Error: [0x0015]: Connection failed\nSQL Server Error: Unable to complete network request to "
           "host \"127.0.0.1\".\nFailed to establish a connection.\n" << 75;
}

void TestReliability::headlessRunFails()
{
    QFETCH(QString, server);
    QFETCH(QString, password);
    QFETCH(QString, company);
    QFETCH(QString, clientLibrary);
    QFETCH(QString, error);
    QFETCH(int, exitCode);
    // Made once for every row; a row compares what the ledgers hold of any
    // day, so it needs no date of its own.
    if (m_failDb.empty())
        QVERIFY(!(m_failDb = companyDatabase("01", 20, todayText())).empty());
    const std::string& db = m_failDb;
    const std::string postedSql =
        "select count(*) from RECIBO_CAJA where COMP_ID is not null or COMP_NIIF_ID is not null";
    const QString before = fbtest::scalar(db, m_password, postedSql);

    QMap<QString, QString> env;
    if (!clientLibrary.isEmpty())
        env.insert("LEDGARA_FBCLIENT", clientLibrary);
    auto process = startTool({server, "SYSDBA", password, company, "N"}, env);
    const ToolRun run = finish(*process);
    QCOMPARE(run.exitCode, exitCode);
    QCOMPARE(run.err, error);
    QCOMPARE(run.out, QString());
    VERIFY_NO_SECRET(run.err, password);
    VERIFY_NO_SECRET(run.err, QString::fromStdString(m_password));
    QCOMPARE(fbtest::scalar(db, m_password, postedSql), before);
}

// Four copies of the tool started at once on one company and date, over
// TCP: every receipt posted once in each ledger, by exactly one of them, and
// the ledgers whole.
void TestReliability::concurrentHeadlessRuns_data()
{
    QTest::addColumn<QString>("company");
    QTest::addColumn<QStringList>("flags");
    QTest::newRow("local ledger") << "02" << QStringList{"N", "N", "N", "N"};
    QTest::newRow("both ledgers at once") << "03" << QStringList{"N", "S", "N", "S"};
}

void TestReliability::concurrentHeadlessRuns()
{
    QFETCH(QString, company);
    QFETCH(QStringList, flags);
    const QString date = todayText();
    const std::string db = companyDatabase(company, 3000, date);
    QVERIFY(!db.empty());
    const QString secret = QString::fromStdString(m_password);
    std::map<bool, int> canPost;
    for (bool niif : {false, true})
        canPost[niif] = postable(db, m_password, date, niif);

    std::vector<std::unique_ptr<QProcess>> processes;
    for (const QString& flag : flags)
        processes.push_back(startTool({dataHost(), "SYSDBA", secret, company, flag}));

    std::map<bool, std::set<QString>> postedBy;
    std::map<bool, bool> ran;
    for (qsizetype k = 0; k < flags.size(); ++k) {
        const bool niif = flags[k] == "S";
        ran[niif] = true;
        const ToolRun run = finish(*processes[static_cast<std::size_t>(k)]);
        VERIFY_NO_SECRET(run.out, secret);
        VERIFY_NO_SECRET(run.err, secret);
        QCOMPARE(run.err, QString());
        QCOMPARE(run.exitCode, 0);
        for (const auto& [receipt, state] : printedRows(run.out)) {
            if (state == "CONTABILIZADO")
                QVERIFY2(postedBy[niif].insert(receipt).second, qPrintable("posted twice: " + receipt));
            else
                QVERIFY2(state == (niif ? "SIN CUENTA NIIF" : "SIN CUENTA CONTABLE"), qPrintable(state));
        }
    }
    for (const auto& [niif, any] : ran) {
        QCOMPARE(static_cast<int>(postedBy[niif].size()), canPost[niif]);
        QCOMPARE(posted(db, m_password, date, niif), canPost[niif]);
        const QStringList faults = ledgerFaults(db, m_password, date, niif);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join("; ")));
    }
}

// Two copies of the tool on one database file through the embedded engine.
// The engine opens a file for one process at a time: when the two overlap,
// the later one is refused the file and says so, and the other posts
// everything, once.
void TestReliability::concurrentEmbeddedRuns()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString date = todayText();
    const std::string secret = "Emb-9-secret";
    const fbtest::Company company =
        fbtest::makeCompany(dir.path(), QString::fromStdString(secret), fbtest::Accounts::AsSeeded);
    QCOMPARE(company.error, QString());
    QCOMPARE(fbtest::addReceipts(company.database, QString::fromStdString(secret), date, 3000), QString());
    const std::string db = QFile::encodeName(company.database).toStdString();
    const int canPost = postable(db, secret, date, false);

    std::vector<std::unique_ptr<QProcess>> processes;
    for (int k = 0; k < 2; ++k)
        processes.push_back(startTool({dir.path(), "SYSDBA", QString::fromStdString(secret), "01", "N"}));
    std::set<QString> postedBy;
    int succeeded = 0;
    for (auto& process : processes) {
        const ToolRun run = finish(*process);
        VERIFY_NO_SECRET(run.out, QString::fromStdString(secret));
        VERIFY_NO_SECRET(run.err, QString::fromStdString(secret));
        // Held by the other run's engine: a run to try again later.
        if (run.exitCode == 75) {
            QCOMPARE(run.err, "dbExpress Error: [0x0015]: Connection failed\nSQL Server Error: I/O error during "
                              "\"lock\" operation for file \"" + QString::fromStdString(db) + "\"\n"
                              "Database already opened with engine instance, incompatible with current.\n");
            QCOMPARE(run.out, QString());
            continue;
        }
        QCOMPARE(run.exitCode, 0);
        ++succeeded;
        QCOMPARE(run.err, QString());
        for (const auto& [receipt, state] : printedRows(run.out))
            if (state == "CONTABILIZADO")
                QVERIFY2(postedBy.insert(receipt).second, qPrintable("posted twice: " + receipt));
    }
    QVERIFY(succeeded >= 1);
    QCOMPARE(static_cast<int>(postedBy.size()), canPost);
    QCOMPARE(posted(db, secret, date, false), canPost);
    const QStringList faults = ledgerFaults(db, secret, date, false);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join("; ")));
}


// The password given as "-": from standard input or from ISC_PASSWORD, the
// one and the other posting with the right password and refused with the
// server's own text with a wrong one; with neither, the run says so and
// posts nothing.
void TestReliability::passwordOffTheCommandLine_data()
{
    QTest::addColumn<QString>("route");
    QTest::addColumn<bool>("right");
    QTest::newRow("standard input") << "stdin" << true;
    QTest::newRow("environment") << "env" << true;
    QTest::newRow("standard input, wrong") << "stdin" << false;
    QTest::newRow("environment, wrong") << "env" << false;
    QTest::newRow("standard input without a line") << "none" << false;
    // A service's credential (LoadCredential=password:FILE) comes first,
    // before ISC_PASSWORD and standard input, which here hold wrong ones.
    QTest::newRow("systemd credential") << "credential" << true;
    QTest::newRow("systemd credential, wrong") << "credential" << false;
}

void TestReliability::passwordOffTheCommandLine()
{
    QFETCH(QString, route);
    QFETCH(bool, right);
    const QString date = todayText();
    const QString company = QStringLiteral("p%1%2").arg(route).arg(right ? "ok" : "no");
    const std::string db = companyDatabase(company, 10, date);
    QVERIFY(!db.empty());
    const QString password = right ? QString::fromStdString(m_password) : QStringLiteral("Wr0ng-pw");
    QMap<QString, QString> env;
    if (route == "env")
        env.insert("ISC_PASSWORD", password);
    QTemporaryDir credentials;
    if (route == "credential") {
        QVERIFY(credentials.isValid());
        QFile file(credentials.filePath("password"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write((password + "\n").toLatin1());
        file.close();
        env.insert("CREDENTIALS_DIRECTORY", credentials.path());
        env.insert("ISC_PASSWORD", "Not-this-one");
    }
    auto process = startTool({dataHost(), "SYSDBA", "-", company, "N"}, env);
    if (route == "stdin" || route == "credential")
        process->write(((route == "stdin" ? password : QStringLiteral("Nor-this-one")) + "\n").toLatin1());
    process->closeWriteChannel();
    const ToolRun run = finish(*process);
    VERIFY_NO_SECRET(run.out + run.err, password);
    if (right) {
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(posted(db, m_password, date, false), postable(db, m_password, date, false));
    } else if (route == "none") {
        QCOMPARE(run.exitCode, 78);
        QCOMPARE(run.err, QStringLiteral("contardc: the password is \"-\" and ISC_PASSWORD is not set, but standard "
                                         "input gave no line to take it from; nothing was posted\n"));
        QCOMPARE(posted(db, m_password, date, false), 0);
    } else {
        QCOMPARE(run.exitCode, 77);
        QVERIFY2(run.err.contains("Your user name and password are not defined"), qPrintable(run.err));
        QCOMPARE(posted(db, m_password, date, false), 0);
    }
}

// At a terminal the password is asked for on standard error and what is
// typed is not shown: script(1) gives the run a terminal of its own, and the
// password is typed once the prompt is there, as a person would.
void TestReliability::passwordTypedAtATerminal()
{
    const QString date = todayText();
    const std::string db = companyDatabase("ptty", 10, date);
    QVERIFY(!db.empty());
    const QString password = QString::fromStdString(m_password);
    const QString command =
        QStringList{QStringLiteral(CONTARDC_TOOL), dataHost(), "SYSDBA", "-", "ptty", "N", "--log", "-"}.join(' ');
    QProcess terminal;
    terminal.setProcessEnvironment(fbtest::environmentWithoutDisplay());
    terminal.start(QStringLiteral("script"), {"-q", "-e", "-c", command, "/dev/null"});
    QVERIFY(terminal.waitForStarted());
    QByteArray shown;
    for (QDeadlineTimer deadline(30000); !shown.contains("Password: ") && !deadline.hasExpired();) {
        terminal.waitForReadyRead(100);
        shown += terminal.readAllStandardOutput();
    }
    QVERIFY2(shown.startsWith("Password: "), shown.constData());
    terminal.write((password + "\n").toLatin1());
    QVERIFY(terminal.waitForFinished(120000));
    shown += terminal.readAllStandardOutput();
    QCOMPARE(terminal.exitStatus(), QProcess::NormalExit);
    QCOMPARE(terminal.exitCode(), 0);
    VERIFY_NO_SECRET(QString::fromLatin1(shown), password);
    // The prompt's line ends once the password is read; the report follows.
    QVERIFY2(shown.startsWith("Password: \r\nPREF  NUMERO  ESTADO\r\n"), shown.constData());
    QCOMPARE(posted(db, m_password, date, false), postable(db, m_password, date, false));
}

// A receipt held by a user's open transaction: the run waits on it, its
// memory with the password in it closed to the user's other processes, the
// deadline ends it with nothing committed, and once the receipt is free a
// rerun posts everything once.
void TestReliability::heldReceiptTimesOut()
{
    const QString date = todayText();
    const std::string db = companyDatabase("held", 30, date);
    QVERIFY(!db.empty());
    const int postableBefore = postable(db, m_password, date, false);
    HeldReceipt hold(db, m_password, date);
    QVERIFY(hold.held());

    const QString password = QString::fromStdString(m_password);
    auto process =
        startTool({dataHost(), "SYSDBA", "-", "held", "N", "--timeout", "6", "--log", "-"}, {}, ordinaryProcess());
    process->write((password + "\n").toLatin1());
    process->closeWriteChannel();
    QVERIFY(process->waitForStarted());
    // Connected with the password it read, the run waits on the receipt.
    QVERIFY2(postingAtWork(db, m_password, [&] { return process->waitForFinished(0); }),
             "the run was not seen waiting on the held receipt");
    // Holding the password, the run keeps its memory from the user's other
    // processes; the probe itself opens that of one that does not.
    const QStringList sleeper = ordinaryProcess() + QStringList{QStringLiteral("sleep"), QStringLiteral("60")};
    QProcess other;
    other.start(sleeper.first(), sleeper.mid(1));
    QVERIFY(other.waitForStarted());
    // Until setpriv has become sleep, the process still has every privilege.
    bool probeOpens = false;
    for (QDeadlineTimer deadline(10000); !probeOpens && !deadline.hasExpired(); QThread::msleep(50))
        probeOpens = memoryOpenToTheUser(other.processId());
    other.kill();
    other.waitForFinished();
    QVERIFY2(probeOpens, "the probe cannot open the memory of an ordinary process of the user");
    QVERIFY2(!memoryOpenToTheUser(process->processId()), "the run's memory, password and all, is open to the user");

    const ToolRun run = finish(*process);
    QCOMPARE(run.exitCode, 75);
    QCOMPARE(run.err, QStringLiteral("contardc: timed out after 6 s during the posting; the database rolls it back, "
                                     "unless its commit was already on its way\n"));
    hold.release();
    QCOMPARE(posted(db, m_password, date, false), 0);

    const ToolRun rerun = finish(*startTool({dataHost(), "SYSDBA", password, "held", "N", "--timeout", "120"}));
    QCOMPARE(rerun.exitCode, 0);
    QCOMPARE(posted(db, m_password, date, false), postableBefore);
}

// Days the daily run missed: each posted on its own under its date, oldest
// first; a rerun of the same range finds nothing left.
void TestReliability::catchUpPostsEachDay()
{
    const QDate today = QDate::currentDate();
    const QDate first = today.addDays(-2);
    const std::string db = companyDatabase("catchup", 0, todayText());
    QVERIFY(!db.empty());
    for (int d = 0; d < 3; ++d)
        QCOMPARE(fbtest::addReceipts(QString::fromStdString(db), QString::fromStdString(m_password),
                                     first.addDays(d).toString("yyyy/MM/dd"), 5 + d),
                 QString());
    const QStringList args{dataHost(), "SYSDBA", QString::fromStdString(m_password), "catchup", "N",
                           "--from", isoDate(first), "--log", "-"};
    const ToolRun run = finish(*startTool(args));
    QCOMPARE(run.exitCode, 0);
    QStringList headings;
    for (const QString& line : run.out.split('\n'))
        if (line.endsWith(':'))
            headings << line;
    QCOMPARE(headings, (QStringList{isoDate(first) + ":", isoDate(first.addDays(1)) + ":", isoDate(today) + ":"}));
    for (int d = 0; d < 3; ++d) {
        const QString date = first.addDays(d).toString("yyyy/MM/dd");
        QCOMPARE(posted(db, m_password, date, false), postable(db, m_password, date, false));
    }
    // Again: nothing is posted a second time; only the receipts that cannot
    // post (the fixture's, without accounts) come back, and the oldest day,
    // which had none of those, has nothing left at all.
    const ToolRun again = finish(*startTool(args));
    QCOMPARE(again.exitCode, 0);
    QVERIFY2(!again.out.contains("CONTABILIZADO"), qPrintable(again.out));
    QVERIFY2(again.out.startsWith(isoDate(first) + ":\nNo hay recibos por contabilizar.\n"), qPrintable(again.out));
    for (int d = 0; d < 3; ++d) {
        const QString date = first.addDays(d).toString("yyyy/MM/dd");
        QCOMPARE(posted(db, m_password, date, false), postable(db, m_password, date, false));
    }
}

// A server that stops answering in the middle of the posting (the proxy in
// front of it stops forwarding): the deadline ends the run, nothing is
// committed, and once the proxy is gone a rerun posts everything once.
void TestReliability::silentServerTimesOut()
{
    const QString date = todayText();
    const std::string db = companyDatabase("silent", 20, date);
    QVERIFY(!db.empty());
    const int postableBefore = postable(db, m_password, date, false);
    // "127.0.0.1/PORT"
    const int serverPort = m_server.section('/', 1).toInt();
    QVERIFY(serverPort > 0);
    const QString path = m_dir + "/data";
    const QString password = QString::fromStdString(m_password);
    {
        auto proxy = std::make_unique<StallingProxy>(serverPort);
        QVERIFY(proxy->port() > 0);
        // The posting waits on a held receipt; the proxy stops forwarding
        // meanwhile, and then the receipt is let go: the server can go on,
        // but its answer never reaches the run, which never commits.
        HeldReceipt hold(db, m_password, date);
        QVERIFY(hold.held());
        auto process = startTool({QStringLiteral("127.0.0.1/%1:%2").arg(proxy->port()).arg(path), "SYSDBA", password,
                                  "silent", "N", "--timeout", "8", "--log", "-"});
        QVERIFY2(postingAtWork(db, m_password, [&] { return process->waitForFinished(0); }),
                 "the run was not seen waiting on the held receipt");
        proxy->stall();
        hold.release();
        const ToolRun run = finish(*process);
        QCOMPARE(run.exitCode, 75);
        QCOMPARE(run.err, QStringLiteral("contardc: timed out after 8 s during the posting; the database rolls it back, "
                                         "unless its commit was already on its way\n"));
        QCOMPARE(posted(db, m_password, date, false), 0);
    }
    // The proxy gone, its connections closed: the server ends the run's
    // attachment and rolls its work back.
    const ToolRun rerun = finish(*startTool({dataHost(), "SYSDBA", password, "silent", "N", "--timeout", "120"}));
    QCOMPARE(rerun.exitCode, 0);
    QCOMPARE(posted(db, m_password, date, false), postableBefore);
}

// Started as some schedulers start their jobs, with standard output or error
// closed: the connection's socket must not take their place, or the report
// is written into the database connection (a single day "succeeds" after
// sending its rows to the server, a catch-up fails on its second day).
void TestReliability::closedStandardStreams_data()
{
    QTest::addColumn<QList<int>>("closed");
    QTest::addColumn<int>("days");
    QTest::newRow("output closed, one day") << QList<int>{STDOUT_FILENO} << 1;
    QTest::newRow("output and error closed, four days") << QList<int>{STDOUT_FILENO, STDERR_FILENO} << 4;
}

void TestReliability::closedStandardStreams()
{
    QFETCH(QList<int>, closed);
    QFETCH(int, days);
    const QDate today = QDate::currentDate();
    const QString company = QStringLiteral("closed%1").arg(days);
    const std::string db = companyDatabase(company, 0, todayText());
    QVERIFY(!db.empty());
    for (int d = 0; d < days; ++d)
        QCOMPARE(fbtest::addReceipts(QString::fromStdString(db), QString::fromStdString(m_password), today.addDays(-d).toString("yyyy/MM/dd"), 6), QString());
    QStringList args{dataHost(), "SYSDBA", QString::fromStdString(m_password), company, "N"};
    if (days > 1)
        args << "--from" << isoDate(today.addDays(1 - days));
    const ToolRun run = finish(*startTool(args, {}, {}, [closed] {
        for (int fd : closed)
            ::close(fd);
    }));
    QCOMPARE(run.exitCode, 0);
    for (int d = 0; d < days; ++d) {
        const QString date = today.addDays(-d).toString("yyyy/MM/dd");
        QCOMPARE(posted(db, m_password, date, false), postable(db, m_password, date, false));
    }
}

// A catch-up run ended from outside while its third day waits on a receipt
// a user holds: it ends at once with exit code 75 (the range was not posted
// whole: run it again later), and its line, on standard error and in the run log, says which
// days were posted; they stay posted, the others are left for a rerun.
void TestReliability::catchUpEndedFromOutside_data()
{
    QTest::addColumn<int>("signal");  // 0: the deadline
    QTest::addColumn<QString>("cause");
    QTest::newRow("SIGTERM") << int(SIGTERM) << "stopped by SIGTERM";
    QTest::newRow("SIGHUP, the terminal gone") << int(SIGHUP) << "stopped by SIGHUP";
    QTest::newRow("the deadline") << 0 << "timed out after 20 s";
}

void TestReliability::catchUpEndedFromOutside()
{
    QFETCH(int, signal);
    QFETCH(QString, cause);
    const QDate first = QDate::currentDate().addDays(-3);
    const QString company = QStringLiteral("ended%1").arg(signal);
    const std::string db = companyDatabase(company, 0, todayText());
    QVERIFY(!db.empty());
    for (int d = 0; d < 4; ++d)
        QCOMPARE(fbtest::addReceipts(QString::fromStdString(db), QString::fromStdString(m_password), first.addDays(d).toString("yyyy/MM/dd"), 4), QString());
    const QString third = first.addDays(2).toString("yyyy/MM/dd");
    HeldReceipt hold(db, m_password, third);
    QVERIFY(hold.held());
    const QString log = m_work.filePath(company + ".log");
    QStringList args{dataHost(), "SYSDBA", QString::fromStdString(m_password), company, "N",
                     "--from", isoDate(first), "--to", isoDate(first.addDays(3)), "--log", log};
    if (signal == 0)
        args << "--timeout" << "20";
    auto process = startTool(args);
    QVERIFY(process->waitForStarted());
    // The third day's statement at work on the server, waiting on the receipt.
    // (Not this query itself, whose text names the date too.)
    const std::string running = "select count(*) from mon$statements where mon$state = 1 and "
                                "mon$attachment_id <> current_connection and "
                                "mon$sql_text containing '" + third.toStdString() + "'";
    bool atWork = false;
    for (int i = 0; i < 1500 && !atWork && process->state() == QProcess::Running; ++i) {
        QThread::msleep(20);
        atWork = fbtest::scalar(db, m_password, running) != "0";
    }
    QVERIFY2(atWork, "the third day's posting was not seen at work");
    if (signal != 0)
        ::kill(static_cast<pid_t>(process->processId()), signal);
    const ToolRun run = finish(*process);
    hold.release();
    const QString line = cause + " during the posting of " + isoDate(first.addDays(2)) +
                         "; the database rolls it back, unless its commit was already on its way; posted: " +
                         isoDate(first) + " to " + isoDate(first.addDays(1)) + "; not posted: " +
                         isoDate(first.addDays(2)) + " to " + isoDate(first.addDays(3));
    QCOMPARE(run.exitCode, 75);
    QCOMPARE(run.err, "contardc: " + line + "\n");
    QFile written(log);
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QList<QByteArray> fields = written.readAll().split('\t');
    QCOMPARE(fields.size(), 7);
    QCOMPARE(QString::fromLatin1(fields[4]), line);
    QCOMPARE(fields[5], QByteArray("75"));
    for (int d = 0; d < 4; ++d) {
        const QString date = first.addDays(d).toString("yyyy/MM/dd");
        QCOMPARE(posted(db, m_password, date, false), d < 2 ? postable(db, m_password, date, false) : 0);
    }
}

// The second day of a catch-up fails (the server refuses its posting) and
// the report's reader has gone: the closing line still says which days were
// posted, not that nothing was; the exit code is the procedure's failure's,
// 1, and the first day stays posted.
void TestReliability::catchUpDayFailsReportLost()
{
    const QDate first = QDate::currentDate().addDays(-2);
    const std::string db = companyDatabase("dayfails", 0, todayText());
    QVERIFY(!db.empty());
    for (int d = 0; d < 3; ++d)
        QCOMPARE(fbtest::addReceipts(QString::fromStdString(db), QString::fromStdString(m_password), first.addDays(d).toString("yyyy/MM/dd"), 4), QString());
    // The ERP closed the second day: posting any of its receipts is refused.
    const QString closed = first.addDays(1).toString("yyyy-MM-dd");
    SqlConnection setup;
    setup.settings().database = db;
    setup.settings().password = m_password;
    fbtest::Rows none;
    setup.fetchAll("create exception DIA_CERRADO 'dia cerrado'", none);
    setup.fetchAll("create trigger DIA_CERRADO for RECIBO_CAJA before update as begin if (new.RECI_FECHA = '" +
                       closed.toStdString() + "' and new.COMP_ID is not null) then exception DIA_CERRADO; end",
                   none);
    setup.close();
    const QString log = m_work.filePath("dayfails.log");
    const ToolRun run = finish(*startTool({dataHost(), "SYSDBA", QString::fromStdString(m_password), "dayfails", "N",
                                           "--from", isoDate(first), "--log", log},
                                          {}, {}, [] {
                                              int gone[2];
                                              if (::pipe(gone) == 0) {
                                                  ::close(gone[0]);
                                                  ::dup2(gone[1], STDOUT_FILENO);
                                              }
                                          }));
    QCOMPARE(run.exitCode, 1);
    const QString days = "posted: " + isoDate(first) + "; not posted: " + closed + " to " + isoDate(first.addDays(2));
    QVERIFY2(run.err.startsWith("dbExpress Error: [0x0019]: Unable to fetch the rows\nSQL Server Error: exception "),
             qPrintable(run.err));
    QVERIFY2(run.err.contains("\nDIA_CERRADO\ndia cerrado\n"), qPrintable(run.err));
    QVERIFY2(run.err.endsWith("\ncontardc: the report could not be written to standard output (Broken pipe); " +
                              days + "\n"),
             qPrintable(run.err));
    QFile written(log);
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QList<QByteArray> fields = written.readAll().split('\t');
    QCOMPARE(fields.size(), 7);
    QCOMPARE(QString::fromLatin1(fields[4]), "dbExpress Error: [0x0019]: Unable to fetch the rows; " + days);
    for (int d = 0; d < 3; ++d) {
        const QString date = first.addDays(d).toString("yyyy/MM/dd");
        QCOMPARE(posted(db, m_password, date, false), d == 0 ? postable(db, m_password, date, false) : 0);
    }
}

// Standard error a pipe that is full and never read, the run waiting on a
// held receipt: the deadline's line cannot be written, yet the process ends
// at the deadline (not when somebody reads), with its code, its line in the
// run log, and nothing committed.
void TestReliability::deadlineWithStandardErrorNobodyReads()
{
    const QString date = todayText();
    const std::string db = companyDatabase("stalled", 10, date);
    QVERIFY(!db.empty());
    HeldReceipt hold(db, m_password, date);
    QVERIFY(hold.held());
    int stalled[2];
    QVERIFY(::pipe(stalled) == 0);
    const int flags = ::fcntl(stalled[1], F_GETFL);
    ::fcntl(stalled[1], F_SETFL, flags | O_NONBLOCK);
    const QByteArray block(4096, '#');
    while (::write(stalled[1], block.constData(), std::size_t(block.size())) > 0) {
    }
    ::fcntl(stalled[1], F_SETFL, flags);
    const int errorEnd = stalled[1];
    const QString log = m_work.filePath("stalled.log");
    auto process = startTool({dataHost(), "SYSDBA", QString::fromStdString(m_password), "stalled", "N",
                              "--timeout", "4", "--log", log},
                             {}, {}, [errorEnd] { ::dup2(errorEnd, STDERR_FILENO); });
    const bool started = process->waitForStarted();
    ::close(stalled[1]);
    QVERIFY(started);
    // Ended while the receipt is still held and the pipe still full.
    QVERIFY2(process->waitForFinished(60000), "the run did not end at its deadline");
    ::close(stalled[0]);
    QCOMPARE(process->exitCode(), 75);
    QFile written(log);
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QList<QByteArray> fields = written.readAll().split('\t');
    QCOMPARE(fields.size(), 7);
    QCOMPARE(fields[4], QByteArray("timed out after 4 s during the posting; the database rolls it back, unless its "
                                   "commit was already on its way"));
    hold.release();
    QCOMPARE(posted(db, m_password, date, false), 0);
}

// With --timeout, a receipt another user holds is refused by the server a
// little before the deadline: a procedure that does not take the conflict
// itself fails with the server's own error, the client rolls the run back,
// and the run ends before the deadline has to end it, with the code of a
// run to try again later (75).
void TestReliability::heldReceiptEndsAsTheServersError()
{
    const QString date = todayText();
    const std::string db = companyDatabase("lockwait", 5, date);
    QVERIFY(!db.empty());
    // A posting procedure that claims every receipt of the day at once and
    // leaves a conflict to its caller.
    SqlConnection setup;
    setup.settings().database = db;
    setup.settings().password = m_password;
    fbtest::Rows none;
    setup.fetchAll("alter procedure RECIBOS_SIN_CONTABILIDAD (FECHA_INI VARCHAR(30), FECHA_FIN VARCHAR(30), "
                   "PREFIJO VARCHAR(4)) returns (ID INTEGER, PREF VARCHAR(4), NUMERO VARCHAR(6), ESTADO VARCHAR(20), "
                   "IDI INTEGER, IDC INTEGER) as begin update RECIBO_CAJA set COMP_ID = -1 where RECI_FECHA = "
                   "cast(:FECHA_INI as date) and COMP_ID is null; ID = 0; PREF = 'X'; NUMERO = '0'; "
                   "ESTADO = 'CONTABILIZADO'; suspend; end",
                   none);
    setup.close();
    HeldReceipt hold(db, m_password, date);
    QVERIFY(hold.held());
    const ToolRun run = finish(*startTool({dataHost(), "SYSDBA", QString::fromStdString(m_password), "lockwait", "N",
                                           "--timeout", "6"}));
    QCOMPARE(run.exitCode, 75);
    QVERIFY2(run.err.startsWith("dbExpress Error: [0x0019]: Unable to fetch the rows\nSQL Server Error: deadlock\n"
                                "update conflicts with concurrent update\n"),
             qPrintable(run.err));
    QVERIFY2(!run.err.contains("timed out"), qPrintable(run.err));
    hold.release();
    QCOMPARE(fbtest::scalar(db, m_password, "select count(*) from RECIBO_CAJA where COMP_ID = -1"), "0");
}

QTEST_GUILESS_MAIN(TestReliability)
#include "tst_reliability.moc"
