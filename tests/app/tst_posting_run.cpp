// The posting run apart from any window: the steps the window's handlers call
// and the whole run without a display, against real embedded company
// databases, in a process that has no application object and no part of the
// window toolkit.

#include "fbtest.h"

#include "app/console.h"
#include "text/client_text.h"
#include "app/unattended.h"
#include "posting/receipt_posting.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstdio>
#include <functional>

#include <unistd.h>

namespace {

const QString kPassword = QStringLiteral("run-pw");

// What a stream received, read back after the run.
class Captured {
public:
    Captured() : m_file(std::tmpfile()) {}
    ~Captured() { std::fclose(m_file); }
    Captured(const Captured&) = delete;
    Captured& operator=(const Captured&) = delete;
    std::FILE* stream() { return m_file; }
    QByteArray text()
    {
        std::fflush(m_file);
        std::rewind(m_file);
        QByteArray all;
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, m_file)) > 0)
            all.append(buffer, static_cast<qsizetype>(n));
        return all;
    }

private:
    std::FILE* m_file;
};

std::string unpostedSql(bool niif)
{
    return std::string("select count(*) from RECIBO_CAJA where RECI_FECHA = current_date and ") +
           (niif ? "COMP_NIIF_ID" : "COMP_ID") + " is null";
}

} // namespace

// A front end that notes the steps' calls, in order.
struct StepLog final : PostingFront {
    QStringList calls;
    void connecting(const std::string& caption) override { calls << QString::fromLatin1(caption); }
    void connected(const CivilDate& today) override
    {
        calls << "connected " + QString::fromStdString(isoText(today));
        // The clock is read with the connection made: the attachment is there.
        if (!database.empty())
            attachments = fbtest::scalar(database, password, "select count(*) from mon$attachments where "
                                                             "mon$attachment_id <> current_connection and "
                                                             "mon$system_flag = 0");
    }
    void readyToPost() override { calls << "readyToPost"; }
    void dayBegun(const CivilDate& day) override { calls << "day " + QString::fromStdString(isoText(day)); }
    void posted(const ClientDataSet& rows) override { calls << "posted " + QString::number(rows.recordCount()); }
    void nothingToPost() override { calls << "nothing to post"; }

    std::string database;  // where to count the attachments when connected
    std::string password;
    QString attachments;
};

class TestPostingRun : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void noToolkitHere();
    void dateText_data();
    void dateText();
    void canConnect_data();
    void canConnect();
    void stepsPostOnceThenNothing_data();
    void stepsPostOnceThenNothing();
    void failuresKeepTheirTexts_data();
    void failuresKeepTheirTexts();
    void clientTextBecomesTheProgramsText();
    void runWithoutWindow();
    void companyCodeLeavingItsFolderIsRefused_data();
    void companyCodeLeavingItsFolderIsRefused();
    void reportThatCannotBeWritten_data();
    void reportThatCannotBeWritten();

private:
    QString makeCompany(const QString& name);
    QTemporaryDir m_dir{QDir::tempPath() + QStringLiteral("/contardc-run-XXXXXX")};
};

void TestPostingRun::initTestCase()
{
    QVERIFY(m_dir.isValid());
    qputenv("FIREBIRD_LOCK", QFile::encodeName(m_dir.filePath("lock")));
    qputenv("LEDGARA_HKLM", QFile::encodeName(m_dir.filePath("absent.reg")));
    // The character type the program takes (main() does the same).
    useLocaleCharacters();
}

// A server folder holding company 01: <server>/datos/01/ledgara.fdb.
QString TestPostingRun::makeCompany(const QString& name)
{
    const fbtest::Company company = fbtest::makeCompany(m_dir.filePath(name), kPassword);
    if (!company.error.isEmpty())
        qWarning("%s", qPrintable(company.error));
    return company.error.isEmpty() ? company.server : QString();
}

// The run needs no application object, and nothing it uses brings in the
// toolkit's GUI libraries.
void TestPostingRun::noToolkitHere()
{
    QVERIFY(QCoreApplication::instance() == nullptr);
    QFile maps(QStringLiteral("/proc/self/maps"));
    QVERIFY(maps.open(QIODevice::ReadOnly));
    const QByteArray mapped = maps.readAll();
    QVERIFY(!mapped.contains("libQt6Gui"));
    QVERIFY(!mapped.contains("libQt6Widgets"));
}

void TestPostingRun::dateText_data()
{
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("day");
    QTest::addColumn<QString>("text");
    QTest::newRow("the picker's first date") << 2003 << 1 << 20 << "2003/01/20";
    QTest::newRow("two-digit month and day") << 2026 << 12 << 31 << "2026/12/31";
    QTest::newRow("year below 1000 keeps four digits") << 999 << 5 << 7 << "0999/05/07";
}

void TestPostingRun::dateText()
{
    QFETCH(int, year);
    QFETCH(int, month);
    QFETCH(int, day);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(::dateText({year, month, day})), text);
}

void TestPostingRun::canConnect_data()
{
    QTest::addColumn<QString>("company");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("can");
    QTest::newRow("all three") << "01" << "SYSDBA" << "pw" << true;
    QTest::newRow("no company") << "" << "SYSDBA" << "pw" << false;
    QTest::newRow("no user") << "01" << "" << "pw" << false;
    QTest::newRow("no password") << "01" << "SYSDBA" << "" << false;
    QTest::newRow("blanks are text") << " " << " " << " " << true;
}

void TestPostingRun::canConnect()
{
    QFETCH(QString, company);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(bool, can);
    QCOMPARE(::canConnect({"srv", company.toStdString(), user.toStdString(), password.toStdString()}), can);
    // A step that cannot connect does nothing at all, not even show that it tries.
    if (!can) {
        ReceiptPosting posting;
        StepLog log;
        QVERIFY(!posting.connectStep({"srv", company.toStdString(), user.toStdString(), password.toStdString()}, log));
        QCOMPARE(log.calls, QStringList());
        QVERIFY(!posting.connected());
    }
}

void TestPostingRun::stepsPostOnceThenNothing_data()
{
    QTest::addColumn<bool>("niif");
    QTest::newRow("plain procedure") << false;
    QTest::newRow("IFRS procedure") << true;
}

void TestPostingRun::stepsPostOnceThenNothing()
{
    QFETCH(bool, niif);
    const QString server = makeCompany(niif ? "steps-niif" : "steps-plain");
    QVERIFY(!server.isEmpty());
    const std::string database = (server + "/datos/01/ledgara.fdb").toStdString();
    const QString waiting = fbtest::scalar(database, kPassword.toStdString(), unpostedSql(niif));
    QVERIFY(waiting != "0");

    const CivilDate date = today();
    const QString day = QString::fromStdString(isoText(date));
    ReceiptPosting data;
    StepLog log;
    log.database = database;
    log.password = kPassword.toStdString();
    QVERIFY(data.connectStep({server.toStdString(), "01", "SYSDBA", kPassword.toStdString()}, log));
    // The date was read with the connection made, as the window sets its
    // date picker, so that a step just before midnight takes the day it
    // connected on.
    QCOMPARE(log.attachments, QStringLiteral("1"));
    QVERIFY(data.pointsOfSale().active());
    QVERIFY(data.pointsOfSale().recordCount() > 0);
    data.postStep(date, niif, log);
    QCOMPARE(log.calls, (QStringList{"Conectando a la base de datos 01 ...", "connected " + day, "readyToPost",
                                     "day " + day, "posted " + waiting}));
    QCOMPARE(QString::number(data.receipts().dataSet()->recordCount()), waiting);
    QCOMPARE(fbtest::scalar(database, kPassword.toStdString(), unpostedSql(niif)), QStringLiteral("0"));
    // The other ledger is untouched.
    QVERIFY(fbtest::scalar(database, kPassword.toStdString(), unpostedSql(!niif)) != "0");

    log.calls.clear();
    data.postStep(date, niif, log);
    QCOMPARE(log.calls, (QStringList{"day " + day, "nothing to post"}));
    QVERIFY(data.receipts().dataSet()->isEmpty());
}

// Failures come back with the texts the window shows: a company that does
// not exist, a procedure refusing the statement.
void TestPostingRun::failuresKeepTheirTexts_data()
{
    QTest::addColumn<QString>("company");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("start");
    QTest::newRow("company without a database") << "99" << "2026/05/25" << "dbExpress Error: [0x0015]: Connection failed\n";
    QTest::newRow("date the procedure cannot read") << "01" << "2026/13/45" << "dbExpress Error: ";
}

void TestPostingRun::failuresKeepTheirTexts()
{
    QFETCH(QString, company);
    QFETCH(QString, date);
    QFETCH(QString, start);
    const QString server = makeCompany("failures-" + company);
    QVERIFY(!server.isEmpty());
    ReceiptPosting data;
    StepLog front;
    try {
        data.connectStep({server.toStdString(), company.toStdString(), "SYSDBA", kPassword.toStdString()}, front);
        data.postStep({date.left(4).toInt(), date.mid(5, 2).toInt(), date.right(2).toInt()}, false, front);
        QFAIL("no error");
    } catch (const std::exception& e) {
        QVERIFY2(QString::fromLatin1(e.what()).startsWith(start), e.what());
        QVERIFY2(!QString::fromLatin1(e.what()).contains(kPassword), e.what());
    }
    QVERIFY(!data.receipts().dataSet()->active());
    // A refused connection reads no date.
    QCOMPARE(front.calls.filter("connected").isEmpty(), company != "01");
}

// The client writes its messages in its own encoding (UTF-8 here); a file
// name with "ñ" in one comes back as the program's Windows-1252 text, which
// the console and the window show whole, not as two characters of UTF-8.
void TestPostingRun::clientTextBecomesTheProgramsText()
{
    const QString server = m_dir.filePath(QStringLiteral("se\u00F1al-nowhere"));
    ReceiptPosting data;
    PostingFront front;
    try {
        data.connectStep({QFile::encodeName(server).toStdString(), "01", "SYSDBA", kPassword.toStdString()}, front);
        QFAIL("no error");
    } catch (const std::exception& e) {
        const QByteArray text(e.what());
        QVERIFY2(text.contains("se\xF1" "al-nowhere/datos/01/ledgara.fdb"), e.what());
        QVERIFY2(!text.contains("\xC3\xB1"), e.what());
    }
}

// The whole run without a display, as the program makes it: the missing
// registry key reported, the rows as a table, and nothing left the next time.
void TestPostingRun::runWithoutWindow()
{
    const QString server = makeCompany("console");
    QVERIFY(!server.isEmpty());
    const std::string database = (server + "/datos/01/ledgara.fdb").toStdString();
    const std::vector<std::string> arguments{server.toStdString(), "SYSDBA", kPassword.toStdString(), "01", "N"};
    const QByteArray notice =
        "No se encontr\xC3\xB3 la Clave HKEY_LOCAL_MACHINE\\Software\\Vantel\\LedgaraERP2026\\Directorio\n";
    {
        Captured out, err;
        Console console(out.stream(), err.stream());
        QCOMPARE(::runWithoutWindow(arguments, {}, console).exitCode, 0);
        const QList<QByteArray> lines = out.text().split('\n');
        QVERIFY(lines.size() >= 3);
        QCOMPARE(lines[0] + '\n', notice);
        QCOMPARE(lines[1], QByteArray("PREF  NUMERO  ESTADO"));
        for (qsizetype i = 2; i < lines.size() - 1; ++i)
            QVERIFY2(lines[i].endsWith("  CONTABILIZADO"), lines[i].constData());
        QCOMPARE(err.text(), QByteArray());
    }
    {
        Captured out, err;
        Console console(out.stream(), err.stream());
        QCOMPARE(::runWithoutWindow(arguments, {}, console).exitCode, 0);
        QCOMPARE(out.text(), notice + "No hay recibos por contabilizar.\n");
        QCOMPARE(err.text(), QByteArray());
    }
    {
        Captured out, err;
        Console console(out.stream(), err.stream());
        std::vector<std::string> wrong = arguments;
        wrong[3] = "99";
        QCOMPARE(::runWithoutWindow(wrong, {}, console).exitCode, 78);
        QCOMPARE(out.text(), notice);
        QVERIFY2(err.text().startsWith("dbExpress Error: [0x0015]: Connection failed\n"), err.text().constData());
        QVERIFY(err.text().endsWith(".\n"));
    }
}

// A company code is a folder inside the server's "datos": one that leads out
// of it is refused before anything connects, the steps after it are refused
// too (not run over the company connected before), and no database is
// touched, the one it points at included.
void TestPostingRun::companyCodeLeavingItsFolderIsRefused_data()
{
    QTest::addColumn<QString>("company");
    QTest::newRow("up into a sibling folder") << "../travdir";
    QTest::newRow("up with the Windows separator") << "..\\travdir";
    QTest::newRow("into the company and out twice") << "01/../../travdir";
    QTest::newRow("the parent folder") << "..";
}

void TestPostingRun::companyCodeLeavingItsFolderIsRefused()
{
    QFETCH(QString, company);
    const QString server = makeCompany("refused-" + QString::number(QTest::currentDataTag()[3]));
    QVERIFY(!server.isEmpty());
    // The database that "../travdir" leads to, with receipts of its own.
    QVERIFY(QDir().mkpath(server + "/travdir"));
    QVERIFY(QFile::copy(server + "/datos/01/ledgara.fdb", server + "/travdir/ledgara.fdb"));
    const std::string ours = (server + "/datos/01/ledgara.fdb").toStdString();
    const std::string theirs = (server + "/travdir/ledgara.fdb").toStdString();
    const QString waiting = fbtest::scalar(ours, kPassword.toStdString(), unpostedSql(false));
    QVERIFY(waiting != "0");
    QCOMPARE(fbtest::scalar(theirs, kPassword.toStdString(), unpostedSql(false)), waiting);
    const QString refused = QStringLiteral("El código de empresa no es válido: no puede contener \"/\" ni \"\\\" ni "
                                           "ser solo puntos o espacios.");

    ReceiptPosting data;
    PostingFront front;
    data.connectStep({server.toStdString(), "01", "SYSDBA", kPassword.toStdString()}, front);
    const auto refusal = [&](const std::function<void()>& step) {
        try {
            step();
        } catch (const std::exception& e) {
            return QString::fromLatin1(e.what());
        }
        return QStringLiteral("no error");
    };
    QCOMPARE(refusal([&] {
                 data.connectStep({server.toStdString(), company.toStdString(), "SYSDBA", kPassword.toStdString()},
                                  front);
             }),
             refused);
    QVERIFY(!data.connected());
    QCOMPARE(refusal([&] { data.postStep(today(), false, front); }), refused);
    QVERIFY(!data.connected());
    QCOMPARE(fbtest::scalar(ours, kPassword.toStdString(), unpostedSql(false)), waiting);
    QCOMPARE(fbtest::scalar(theirs, kPassword.toStdString(), unpostedSql(false)), waiting);

    // Without a display: the same text on standard error, the exit code of a
    // usage that will not work, 2.
    Captured out, err;
    Console console(out.stream(), err.stream());
    const std::vector<std::string> arguments{server.toStdString(), "SYSDBA", kPassword.toStdString(),
                                             company.toStdString(), "N"};
    QCOMPARE(::runWithoutWindow(arguments, {}, console).exitCode, 2);
    QCOMPARE(err.text(), refused.toLatin1().replace("\xF3", "\xC3\xB3").replace("\xE1", "\xC3\xA1") + "\n");
    QCOMPARE(fbtest::scalar(theirs, kPassword.toStdString(), unpostedSql(false)), waiting);

    // A code that stays in its folder connects again, and posts there.
    data.connectStep({server.toStdString(), "01", "SYSDBA", kPassword.toStdString()}, front);
    data.postStep(today(), false, front);
    QCOMPARE(QString::number(data.receipts().dataSet()->recordCount()), waiting);
    QCOMPARE(fbtest::scalar(theirs, kPassword.toStdString(), unpostedSql(false)), waiting);
}

// Standard output that takes nothing (a full disk, a reader gone away): the
// posting is done and stays done, the run says on standard error that its
// report was lost and what it did, and the exit code is the posting's: 0.
void TestPostingRun::reportThatCannotBeWritten_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<QByteArray>("reason");
    QTest::newRow("a full device") << "/dev/full" << QByteArray("No space left on device");
    QTest::newRow("a pipe nobody reads") << "pipe" << QByteArray("Broken pipe");
}

void TestPostingRun::reportThatCannotBeWritten()
{
    QFETCH(QString, output);
    QFETCH(QByteArray, reason);
    const QString server = makeCompany("lost-" + output.right(4));
    QVERIFY(!server.isEmpty());
    const std::string database = (server + "/datos/01/ledgara.fdb").toStdString();
    const std::vector<std::string> arguments{server.toStdString(), "SYSDBA", kPassword.toStdString(), "01", "N"};
    // The program ignores SIGPIPE; this process does too, for the pipe's case.
    const auto previous = std::signal(SIGPIPE, SIG_IGN);
    const auto open = [&]() -> std::FILE* {
        if (output != "pipe")
            return std::fopen(QFile::encodeName(output).constData(), "w");
        int fds[2];
        if (::pipe(fds) != 0)
            return nullptr;
        ::close(fds[0]);
        return ::fdopen(fds[1], "w");
    };
    const QList<QByteArray> outcomes{"the receipts were posted", "there were no receipts to post"};
    for (const QByteArray& outcome : outcomes) {
        std::FILE* out = open();
        QVERIFY(out);
        Captured err;
        Console console(out, err.stream());
        QCOMPARE(::runWithoutWindow(arguments, {}, console).exitCode, 0);
        std::fclose(out);
        // The missing registry key's notice failed first; the report is the
        // reason all the same.
        QCOMPARE(err.text(), "contardc: the report could not be written to standard output (" + reason + "); " +
                                 outcome + "\n");
        QCOMPARE(fbtest::scalar(database, kPassword.toStdString(), unpostedSql(false)), QStringLiteral("0"));
    }
    std::signal(SIGPIPE, previous);
}

QTEST_APPLESS_MAIN(TestPostingRun)
#include "tst_posting_run.moc"
