// The unattended run: five arguments fill the window, connect, post today's
// receipts and close; and the same run as a process without a display.

#include "../ui/recording_messenger.h"
#include "fbtest.h"

#include "app/application.h"
#include "posting/receipt_posting.h"
#include "ui/status_panel.h"
#include "ui/main_window.h"
#include "ui/server_combo.h"
#include "ui/speed_button.h"

#include <algorithm>
#include <csignal>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <QCheckBox>
#include <QDateEdit>
#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kPassword = QStringLiteral("demo-pw-77");

// A messenger whose notices take the focus away like a real message window
// and give it back when they are dismissed.
class FocusStealingMessenger final : public Messenger {
public:
    FocusStealingMessenger() { m_previous = setMessenger(this); }
    ~FocusStealingMessenger() override { setMessenger(m_previous); }
    FocusStealingMessenger(const FocusStealingMessenger&) = delete;
    FocusStealingMessenger& operator=(const FocusStealingMessenger&) = delete;

    void information(const std::string& text) override
    {
        informations.push_back(text);
        QWidget* back = QApplication::activeWindow();
        QWidget box;
        box.show();
        QApplication::setActiveWindow(&box);
        activated = QTest::qWaitForWindowActive(&box) && activated;
        box.close();
        if (back) {
            QApplication::setActiveWindow(back);
            activated = QTest::qWaitForWindowActive(back) && activated;
        }
    }
    void error(const std::string& text) override { errors.push_back(text); }

    std::vector<std::string> informations;
    std::vector<std::string> errors;
    bool activated = true;  // every hand-over of the focus took place

private:
    Messenger* m_previous = nullptr;
};

std::vector<std::string> args(const QString& server, const QString& user, const QString& password,
                              const QString& company, const QString& flag)
{
    return {server.toStdString(), user.toStdString(), password.toStdString(), company.toStdString(),
            flag.toStdString()};
}

void activate(QWidget& w)
{
    w.show();
    QApplication::setActiveWindow(&w);
}

} // namespace

class TestUnattended : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();

    void argumentsFillTheWindow_data();
    void argumentsFillTheWindow();
    void postsAndCloses_data();
    void postsAndCloses();
    void nothingToPostEndsAfterTheMessage();
    void wrongPasswordLeavesTheWindowUsable();
    void textBeyondAsciiReachesTheClient_data();
    void textBeyondAsciiReachesTheClient();
    void headless_data();
    void headless();
    void withoutUsableDisplay_data();
    void withoutUsableDisplay();
    void consoleTextInTheLocale_data();
    void consoleTextInTheLocale();
    void stopRequestRollsTheRunBack();
    void readerGoneAway();
    void rowsThatCannotBeBoundAfterTheCommit_data();
    void rowsThatCannotBeBoundAfterTheCommit();
    void wordsAfterTheFive_data();
    void wordsAfterTheFive();
    void deadlineWhileWaitingForThePassword();
    void runLogThatIsAFifo();
    void dryRunPostsNothing_data();
    void dryRunPostsNothing();
    void journalPriorities_data();
    void journalPriorities();

private:
    QString makeCompany(const QString& name);
    QProcess* runHeadless(const QStringList& arguments, const QMap<QString, QString>& env = {});

    QTemporaryDir m_dir;
};

void TestUnattended::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // A server list that does not hold the servers the tests name.
    QDir().mkpath(m_dir.filePath("erp"));
    QFile list(m_dir.filePath("erp/SERVIDORES.cfg"));
    QVERIFY(list.open(QIODevice::WriteOnly));
    list.write("srv-uno\r\nsrv-dos\r\n");
    list.close();
    QFile reg(m_dir.filePath("hklm.reg"));
    QVERIFY(reg.open(QIODevice::WriteOnly));
    reg.write("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Vantel\\LedgaraERP2026]\r\n"
              "\"Directorio\"=\"" + m_dir.filePath("erp").toUtf8() + "\"\r\n");
    reg.close();
    qputenv("LEDGARA_HKLM", QFile::encodeName(m_dir.filePath("hklm.reg")));
    // The embedded engine's lock files: a folder of the test's own, so that
    // any user can run it; the processes it starts inherit it.
    qputenv("FIREBIRD_LOCK", QFile::encodeName(m_dir.filePath("lock")));
}

void TestUnattended::cleanup()
{
    qputenv("LEDGARA_HKLM", QFile::encodeName(m_dir.filePath("hklm.reg")));
}

// A company database under its own server folder: <folder>/datos/01/ledgara.fdb.
QString TestUnattended::makeCompany(const QString& name)
{
    const fbtest::Company company = fbtest::makeCompany(m_dir.filePath(name), kPassword);
    if (!company.error.isEmpty())
        qWarning("%s", qPrintable(company.error));
    return company.error.isEmpty() ? company.server : QString();
}

void TestUnattended::argumentsFillTheWindow_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("flag");
    QTest::addColumn<bool>("niif");
    QTest::addColumn<int>("selected");
    QTest::newRow("S ticks NIIF") << "srv-tres" << "S" << true << -1;
    QTest::newRow("lower-case s does not") << "srv-tres" << "s" << false << -1;
    QTest::newRow("SI does not") << "srv-tres" << "SI" << false << -1;
    QTest::newRow("N does not") << "srv-tres" << "N" << false << -1;
    QTest::newRow("blank then S does not") << "srv-tres" << " S" << false << -1;
    QTest::newRow("listed server is selected") << "srv-dos" << "S" << true << 1;
}

void TestUnattended::argumentsFillTheWindow()
{
    QFETCH(QString, server);
    QFETCH(QString, flag);
    QFETCH(bool, niif);
    QFETCH(int, selected);
    RecordingMessenger messages;
    // None of these servers can be reached: the run stops in the connection step.
    Tfcontardc w(args(server, "SYSDBA", "pw", "01", flag));
    QCOMPARE(w.Servidor->currentIndex(), 0);
    activate(w);
    QTRY_COMPARE(messages.errors.size(), std::size_t(1));
    QCOMPARE(w.Servidor->serverText(), server);
    QCOMPARE(w.Servidor->currentIndex(), selected);
    QCOMPARE(w.Tusua->text(), QStringLiteral("SYSDBA"));
    QCOMPARE(w.TClave->text(), QStringLiteral("pw"));
    QCOMPARE(w.Cia->text(), QStringLiteral("01"));
    QCOMPARE(w.ckNiif->isChecked(), niif);
    // The connection step read the named server, not the listed one.
    QVERIFY2(QString::fromStdString(messages.errors[0]).contains(server + "/datos/01/ledgara.fdb"),
             messages.errors[0].c_str());
    QVERIFY(w.isVisible());
}

void TestUnattended::postsAndCloses_data()
{
    QTest::addColumn<QString>("flag");
    QTest::addColumn<QString>("ledgerColumn");
    QTest::newRow("plain procedure") << "N" << "COMP_ID";
    QTest::newRow("IFRS procedure") << "S" << "COMP_NIIF_ID";
}

void TestUnattended::postsAndCloses()
{
    QFETCH(QString, flag);
    QFETCH(QString, ledgerColumn);
    const QString server = makeCompany("posts-" + flag);
    QVERIFY(!server.isEmpty());
    const std::string database = (server + "/datos/01/ledgara.fdb").toStdString();
    const std::string unposted = "select count(*) from RECIBO_CAJA where RECI_FECHA = current_date and " +
                                 ledgerColumn.toStdString() + " is null";
    QVERIFY(fbtest::scalar(database, kPassword.toStdString(), unposted) != "0");

    RecordingMessenger messages;
    Tfcontardc w(args(server, "SYSDBA", kPassword, "01", flag));
    activate(w);
    QTRY_VERIFY(w.closed());
    QVERIFY(messages.errors.empty());
    QVERIFY(messages.informations.empty());
    QCOMPARE(w.EFecIni->date(), QDate::currentDate());
    QCOMPARE(fbtest::scalar(database, kPassword.toStdString(), unposted), QStringLiteral("0"));
}

void TestUnattended::nothingToPostEndsAfterTheMessage()
{
    const QString server = makeCompany("nothing");
    QVERIFY(!server.isEmpty());
    {
        RecordingMessenger messages;
        Tfcontardc first(args(server, "SYSDBA", kPassword, "01", "N"));
        activate(first);
        QTRY_VERIFY(first.closed());
    }
    FocusStealingMessenger messages;
    Tfcontardc w(args(server, "SYSDBA", kPassword, "01", "N"));
    activate(w);
    QTRY_VERIFY(w.closed());
    // The notice took the focus and gave it back; the run was not started again.
    QVERIFY(messages.activated);
    QCOMPARE(messages.informations, std::vector<std::string>{"No hay recibos por contabilizar."});
    QVERIFY(messages.errors.empty());
}

void TestUnattended::wrongPasswordLeavesTheWindowUsable()
{
    const QString tcp = fbtest::fixtureServer();
    QVERIFY2(!tcp.isEmpty(), fbtest::kNoFixtureServer);
    // The embedded engine checks no password: the refusal comes from a real server.
    const QString server = makeCompany("tcp");
    QVERIFY(!server.isEmpty());
    RecordingMessenger messages;
    Tfcontardc w(args(tcp + ":" + server, "SYSDBA", "not-the-password", "01", "N"));
    activate(w);
    QTRY_COMPARE(messages.errors.size(), std::size_t(1));
    const std::string& text = messages.errors[0];
    QVERIFY2(text.find("dbExpress Error:") == 0, text.c_str());
    QVERIFY2(text.find("not-the-password") == std::string::npos, text.c_str());
    QVERIFY(w.isVisible());
    QVERIFY(w.Panel5->isVisible());
    QCOMPARE(w.Panel5->caption(), QStringLiteral("Conectando a la base de datos 01 ..."));
    QCOMPARE(w.Tusua->text(), QStringLiteral("SYSDBA"));
    QCOMPARE(w.Cia->text(), QStringLiteral("01"));
    QVERIFY(!w.EFecIni->isEnabled());
    QCOMPARE(w.EFecIni->date(), QDate(2003, 1, 20));
    QVERIFY(!w.SpeedButton3->isEnabled());
    QVERIFY(!w.posting().connected());
}

// A password and a server folder with an "ñ", typed into the window, given
// as arguments or picked from a server list written by the ERP (Windows-1252)
// or on this machine (UTF-8): the client takes them in the locale's encoding
// (UTF-8 here), as the run without a window hands its arguments over, and the
// window shows them as they read.
void TestUnattended::textBeyondAsciiReachesTheClient_data()
{
    QTest::addColumn<QString>("source");
    QTest::newRow("typed into the window") << "typed";
    QTest::newRow("five arguments") << "arguments";
    QTest::newRow("server list in Windows-1252") << "list-1252";
    QTest::newRow("server list in UTF-8") << "list-utf8";
}

void TestUnattended::textBeyondAsciiReachesTheClient()
{
    QFETCH(QString, source);
    const QString server = makeCompany(QStringLiteral("se\u00F1or-") + source);
    QVERIFY(!server.isEmpty());
    const QString password = QStringLiteral("Contrase\u00F1a1");
    const std::string unposted = "select count(*) from RECIBO_CAJA where RECI_FECHA = current_date and COMP_ID is null";
    const std::string database = (server + "/datos/01/ledgara.fdb").toStdString();
    QVERIFY(fbtest::scalar(database, kPassword.toStdString(), unposted) != "0");
    if (source.startsWith("list")) {
        // An installation whose server list names only that folder.
        const QString erp = m_dir.filePath("erp-" + source);
        QVERIFY(QDir().mkpath(erp));
        QFile list(erp + "/SERVIDORES.cfg");
        QVERIFY(list.open(QIODevice::WriteOnly));
        list.write((source == "list-1252" ? server.toLatin1() : server.toUtf8()) + "\r\n");
        list.close();
        QFile reg(m_dir.filePath(source + ".reg"));
        QVERIFY(reg.open(QIODevice::WriteOnly));
        reg.write("REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\Software\\Vantel\\LedgaraERP2026]\r\n\"Directorio\"=\"" +
                  erp.toUtf8() + "\"\r\n");
        reg.close();
        qputenv("LEDGARA_HKLM", QFile::encodeName(reg.fileName()));
    }

    RecordingMessenger messages;
    std::vector<std::string> arguments;
    if (source == "arguments")
        arguments = {server.toUtf8().toStdString(), "SYSDBA", password.toUtf8().toStdString(), "01", "N"};
    Tfcontardc w(arguments);
    activate(w);
    if (source != "arguments") {
        QVERIFY(QTest::qWaitForWindowActive(&w));
        if (source == "typed")
            w.Servidor->setServerText(server);
        w.Tusua->setText(QStringLiteral("SYSDBA"));
        w.TClave->setText(password);
        w.Cia->setText(QStringLiteral("01"));
        w.Cia->setFocus();
        QTest::keyClick(w.Cia, Qt::Key_Tab);  // leaving the company box connects
        QVERIFY2(messages.errors.empty(), messages.errors.empty() ? "" : messages.errors[0].c_str());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F2);
    }
    QTRY_VERIFY2(w.closed() || !messages.errors.empty(), "the run neither ended nor failed");
    QVERIFY2(messages.errors.empty(), messages.errors.empty() ? "" : messages.errors[0].c_str());
    QCOMPARE(w.Servidor->serverText(), server);
    QCOMPARE(w.TClave->text(), password);
    QCOMPARE(fbtest::scalar(database, kPassword.toStdString(), unposted), QStringLiteral("0"));
}

QProcess* TestUnattended::runHeadless(const QStringList& arguments, const QMap<QString, QString>& extra)
{
    auto* p = new QProcess(this);
    QProcessEnvironment env = fbtest::environmentWithoutDisplay();
    for (auto it = extra.begin(); it != extra.end(); ++it)
        env.insert(it.key(), it.value());
    p->setProcessEnvironment(env);
    p->start(QStringLiteral(CONTARDC_PROGRAM), arguments);
    p->waitForFinished(120000);
    return p;
}

void TestUnattended::headless_data()
{
    QTest::addColumn<QString>("flag");
    QTest::newRow("plain") << "N";
    QTest::newRow("IFRS") << "S";
}

void TestUnattended::headless()
{
    QFETCH(QString, flag);
    const QString server = makeCompany("headless-" + flag);
    QVERIFY(!server.isEmpty());

    QProcess* first = runHeadless({server, "SYSDBA", kPassword, "01", flag});
    const QByteArray out = first->readAllStandardOutput();
    QCOMPARE(first->readAllStandardError(), QByteArray());
    QCOMPARE(first->exitCode(), 0);
    const QList<QByteArray> lines = out.trimmed().split('\n');
    QVERIFY2(lines.size() >= 2, out.constData());
    QCOMPARE(lines[0].simplified(), QByteArray("PREF NUMERO ESTADO"));
    for (qsizetype i = 1; i < lines.size(); ++i)
        QVERIFY2(lines[i].simplified().endsWith("CONTABILIZADO"), lines[i].constData());

    QProcess* second = runHeadless({server, "SYSDBA", kPassword, "01", flag});
    QCOMPARE(second->readAllStandardOutput(), QByteArray("No hay recibos por contabilizar.\n"));
    QCOMPARE(second->readAllStandardError(), QByteArray());
    QCOMPARE(second->exitCode(), 0);

    // A company that does not exist: the error on standard error, the exit
    // code of a configuration that needs mending (78), no password anywhere.
    QProcess* failed = runHeadless({server, "SYSDBA", kPassword, "99", flag});
    const QByteArray err = failed->readAllStandardError();
    QCOMPARE(failed->exitCode(), 78);
    QCOMPARE(failed->readAllStandardOutput(), QByteArray());
    QVERIFY2(err.startsWith("dbExpress Error: [0x0015]: Connection failed\n"), err.constData());
    // One error, its last line ending in the full stop the error message adds.
    QVERIFY2(err.endsWith(".\n") && err.count("dbExpress Error:") == 1, err.constData());
    QVERIFY(!err.contains(kPassword.toUtf8()));

    // Without five arguments there is nothing it can do without a display.
    QProcess* bare = runHeadless({server, "SYSDBA", kPassword, "01"});
    QCOMPARE(bare->exitCode(), 1);
    QCOMPARE(bare->readAllStandardError(),
             QByteArray("contardc: no display to show the window on; to post unattended give five arguments: "
                        "server user password company S|N\n"));
    QCOMPARE(bare->readAllStandardOutput(), QByteArray());
}

// A display that is named but cannot be used, or a platform nobody can see:
// with five arguments the run goes on without a window, without them the
// program says so in one line. It never aborts.
void TestUnattended::withoutUsableDisplay_data()
{
    QTest::addColumn<QString>("variable");
    QTest::addColumn<QString>("value");
    QTest::newRow("empty DISPLAY") << "DISPLAY" << "";
    QTest::newRow("DISPLAY naming no server") << "DISPLAY" << ":93";
    QTest::newRow("DISPLAY on an unknown host") << "DISPLAY" << "nohost.invalid:0";
    QTest::newRow("dead Wayland socket") << "WAYLAND_DISPLAY" << "wayland-dead";
    QTest::newRow("offscreen platform") << "QT_QPA_PLATFORM" << "offscreen";
    QTest::newRow("minimal platform") << "QT_QPA_PLATFORM" << "minimal";
    QTest::newRow("xcb platform, no X") << "QT_QPA_PLATFORM" << "xcb";
}

void TestUnattended::withoutUsableDisplay()
{
    QFETCH(QString, variable);
    QFETCH(QString, value);
    const QMap<QString, QString> env{{variable, value}, {"XDG_RUNTIME_DIR", m_dir.path()}};
    // The missing company makes the run end with its error: no posting is needed here.
    QProcess* run = runHeadless({m_dir.filePath("nowhere"), "SYSDBA", kPassword, "01", "N"}, env);
    QCOMPARE(run->exitStatus(), QProcess::NormalExit);
    QCOMPARE(run->exitCode(), 78);
    QVERIFY2(run->readAllStandardError().startsWith("dbExpress Error: [0x0015]: Connection failed\n"),
             qPrintable(variable));
    QProcess* bare = runHeadless({}, env);
    QCOMPARE(bare->exitStatus(), QProcess::NormalExit);
    QCOMPARE(bare->exitCode(), 1);
    QCOMPARE(bare->readAllStandardError().count('\n'), 1);
    QCOMPARE(bare->readAllStandardOutput(), QByteArray());
}

// The program's single-byte text reaches a terminal in the locale's encoding;
// with no locale at all, in UTF-8.
void TestUnattended::consoleTextInTheLocale_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QByteArray>("notice");
    const QByteArray utf8 = "No se encontr\xC3\xB3 la Clave HKEY_LOCAL_MACHINE\\Software\\Vantel\\LedgaraERP2026\\Directorio\n";
    QTest::newRow("C locale") << "C" << utf8;
    QTest::newRow("UTF-8 locale") << "C.UTF-8" << utf8;
}

void TestUnattended::consoleTextInTheLocale()
{
    QFETCH(QString, locale);
    QFETCH(QByteArray, notice);
    const QString server = makeCompany("locale-" + QString::number(QTest::currentDataTag()[0]));
    QVERIFY(!server.isEmpty());
    // No registry key: the run reports it and goes on.
    QProcess* run = runHeadless({server, "SYSDBA", kPassword, "01", "N"},
                                {{"LC_ALL", locale}, {"LEDGARA_HKLM", m_dir.filePath("absent.reg")}});
    QCOMPARE(run->exitCode(), 0);
    const QByteArray out = run->readAllStandardOutput();
    QVERIFY2(out.startsWith(notice), out.constData());
}

// A stop request (SIGTERM) while the database posts: the client library
// cancels the statement, the run's transaction is rolled back, and the
// program ends with exit code 75 (run it again later); the next run posts
// every receipt once.
void TestUnattended::stopRequestRollsTheRunBack()
{
    const QString tcp = fbtest::fixtureServer();
    QVERIFY2(!tcp.isEmpty(), fbtest::kNoFixtureServer);
    const QString server = makeCompany("stop");
    QVERIFY(!server.isEmpty());
    const QString database = server + "/datos/01/ledgara.fdb";
    const QString today = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
    QCOMPARE(fbtest::addReceipts(database, kPassword, today, 100000), QString());
    // Over TCP the server's own login holds.
    const QString password = qEnvironmentVariable("CONTARDC_FB_PASSWORD");
    const std::string db = (tcp + ":" + database).toStdString();
    const std::string unposted = "select count(*) from RECIBO_CAJA where RECI_FECHA = cast('" + today.toStdString() +
                                 "' as date) and COMP_ID is null";
    const QString before = fbtest::scalar(db, password.toStdString(), unposted);

    auto* stopped = new QProcess(this);
    stopped->setProcessEnvironment(fbtest::environmentWithoutDisplay());
    stopped->start(QStringLiteral(CONTARDC_PROGRAM), {tcp + ":" + server, "SYSDBA", password, "01", "N"});
    QVERIFY(stopped->waitForStarted());
    // Stop it once the procedure is at work: its statement is on the server.
    // (Not this query itself, whose text names the procedure too.)
    const std::string running = "select count(*) from mon$statements where mon$state = 1 and "
                                "mon$attachment_id <> current_connection and "
                                "mon$sql_text containing 'recibos_sin_contabilidad'";
    bool atWork = false;
    for (int i = 0; i < 500 && !atWork && stopped->state() == QProcess::Running; ++i) {
        QTest::qWait(20);
        atWork = fbtest::scalar(db, password.toStdString(), running) != "0";
    }
    QVERIFY2(atWork, "the posting run was not seen at work");
    ::kill(static_cast<pid_t>(stopped->processId()), SIGTERM);
    QVERIFY(stopped->waitForFinished(30000));
    QCOMPARE(stopped->exitStatus(), QProcess::NormalExit);
    QCOMPARE(stopped->exitCode(), 75);
    QCOMPARE(stopped->readAllStandardOutput(), QByteArray());
    // The client library's own handler runs first and ends the connection;
    // the posting may have failed back into the program (rolled back) by the
    // time the program's handler writes its line, which then says so.
    const QByteArray line = stopped->readAllStandardError();
    QVERIFY2(line == "contardc: stopped by SIGTERM during the posting; the database rolls it back, unless its "
                     "commit was already on its way\n" ||
                 line == "contardc: stopped by SIGTERM; nothing was posted\n",
             line.constData());
    QCOMPARE(fbtest::scalar(db, password.toStdString(), unposted), before);

    QProcess* rerun = runHeadless({tcp + ":" + server, "SYSDBA", password, "01", "N"});
    QCOMPARE(rerun->exitCode(), 0);
    QCOMPARE(fbtest::scalar(db, password.toStdString(), unposted), QStringLiteral("0"));
}

// Standard output a pipe whose reader has gone (`contardc ... | true`), the
// registry key missing so that the first write comes before connecting: the
// program is not killed by SIGPIPE, posts, says on standard error that its
// report was lost, and ends with the posting's exit code, 0.
void TestUnattended::readerGoneAway()
{
    const QString server = makeCompany("reader-gone");
    QVERIFY(!server.isEmpty());
    const std::string database = (server + "/datos/01/ledgara.fdb").toStdString();
    const std::string unposted = "select count(*) from RECIBO_CAJA where RECI_FECHA = current_date and COMP_ID is null";
    QVERIFY(fbtest::scalar(database, kPassword.toStdString(), unposted) != "0");
    int fds[2];
    QVERIFY(::pipe(fds) == 0);
    ::close(fds[0]);
    auto* p = new QProcess(this);
    QProcessEnvironment env = fbtest::environmentWithoutDisplay();
    env.insert("LEDGARA_HKLM", m_dir.filePath("absent.reg"));
    env.insert("LC_ALL", "C.UTF-8");
    p->setProcessEnvironment(env);
    const int writeEnd = fds[1];
    p->setChildProcessModifier([writeEnd] { ::dup2(writeEnd, STDOUT_FILENO); });
    p->start(QStringLiteral(CONTARDC_PROGRAM), {server, "SYSDBA", kPassword, "01", "N"});
    const bool started = p->waitForStarted();
    ::close(writeEnd);
    QVERIFY(started);
    QVERIFY(p->waitForFinished(120000));
    QCOMPARE(p->exitStatus(), QProcess::NormalExit);
    QCOMPARE(p->readAllStandardError(),
             QByteArray("contardc: the report could not be written to standard output (Broken pipe); "
                        "the receipts were posted\n"));
    QCOMPARE(p->exitCode(), 0);
    QCOMPARE(fbtest::scalar(database, kPassword.toStdString(), unposted), QStringLiteral("0"));
}

// The procedure's rows cannot be bound (a column of another kind, a column
// missing) after its work was committed: the receipts are posted, so the
// exit code is 0, and standard error says both the error and that the
// receipts were posted; the run log says what stopped the report.
void TestUnattended::rowsThatCannotBeBoundAfterTheCommit_data()
{
    QTest::addColumn<QByteArray>("returns");  // the plain procedure's columns, over the IFRS one's rows
    QTest::addColumn<QByteArray>("values");
    QTest::addColumn<QByteArray>("error");
    QTest::newRow("a column of another kind")
        << QByteArray("ID INTEGER, PREF VARCHAR(4), NUMERO VARCHAR(6), ESTADO INTEGER, IDI INTEGER, IDC INTEGER")
        << QByteArray(":ID, :PREF, :NUMERO, char_length(:E), :IDI, :IDC")
        << QByteArray("Type mismatch for field 'ESTADO', expecting: String actual: Integer");
    QTest::newRow("a column missing")
        << QByteArray("ID INTEGER, PREF VARCHAR(4), ESTADO VARCHAR(20), IDI INTEGER, IDC INTEGER")
        << QByteArray(":ID, :PREF, :E, :IDI, :IDC") << QByteArray("Field 'NUMERO' not found");
}

void TestUnattended::rowsThatCannotBeBoundAfterTheCommit()
{
    QFETCH(QByteArray, returns);
    QFETCH(QByteArray, values);
    QFETCH(QByteArray, error);
    const QString server = makeCompany("unbound-" + QString::number(qHash(QTest::currentDataTag())));
    QVERIFY(!server.isEmpty());
    const QString database = server + "/datos/01/ledgara.fdb";
    // The plain procedure now posts the IFRS ledger and returns its rows in
    // columns the run does not expect.
    QByteArray outputs;
    for (const QByteArray& column : returns.split(','))
        outputs += (outputs.isEmpty() ? ":" : ", :") + column.trimmed().split(' ').first();
    QCOMPARE(fbtest::isql(database, "SYSDBA", kPassword,
                          "set term ^; alter procedure RECIBOS_SIN_CONTABILIDAD (FECHA_INI VARCHAR(30), "
                          "FECHA_FIN VARCHAR(30), PREFIJO VARCHAR(4)) returns (" + returns + ") as "
                          "declare variable ID2 integer; declare variable PREF2 varchar(4); "
                          "declare variable NUMERO2 varchar(6); declare variable E varchar(20); "
                          "declare variable IDI2 integer; declare variable IDC2 integer; begin "
                          "for select ID, PREF, NUMERO, ESTADO, IDI, IDC from "
                          "RECIBOS_SIN_CONTABILIDAD_NIIF(:FECHA_INI, :FECHA_FIN, :PREFIJO) "
                          "into :ID2, :PREF2, :NUMERO2, :E, :IDI2, :IDC2 do begin "
                          "select " + values.replace(":ID,", ":ID2,").replace(":PREF,", ":PREF2,")
                                             .replace(":NUMERO,", ":NUMERO2,").replace(":IDI,", ":IDI2,")
                                             .replace(":IDC", ":IDC2") +
                          " from rdb$database into " + outputs + "; suspend; end end^ set term ;^ commit;\n"),
             QString());
    const std::string unposted =
        "select count(*) from RECIBO_CAJA where RECI_FECHA = current_date and COMP_NIIF_ID is null";
    const std::string postable = "select count(*) from RECIBO_CAJA r where r.RECI_FECHA = current_date and "
                                 "r.RECI_VALOR > 0 and exists (select 1 from CUENTA_PUNTO_VENTA c where "
                                 "c.PTVT_ID = r.PTVT_ID and c.LIBRO = 'N')";
    const QString before = fbtest::scalar(database.toStdString(), kPassword.toStdString(), unposted);
    const QString canPost = fbtest::scalar(database.toStdString(), kPassword.toStdString(), postable);
    QVERIFY(canPost.toInt() > 0);

    const QString log = m_dir.filePath("unbound.log");
    QFile::remove(log);
    QProcess* run = runHeadless({server, "SYSDBA", kPassword, "01", "N", "--log", log});
    QCOMPARE(run->exitCode(), 0);
    QCOMPARE(run->readAllStandardOutput(), QByteArray());
    QCOMPARE(run->readAllStandardError(),
             error + ".\ncontardc: the receipts were posted before this error; their rows are not shown\n");
    QCOMPARE(fbtest::scalar(database.toStdString(), kPassword.toStdString(), unposted),
             QString::number(before.toInt() - canPost.toInt()));
    QFile written(log);
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QList<QByteArray> fields = written.readAll().split('\t');
    QCOMPARE(fields.size(), 7);
    QCOMPARE(fields[4], error);
    QCOMPARE(fields[5], QByteArray("0"));
}

// Words after the five arguments: one the run does not know is ignored, as
// words after the fifth always were, and named in a warning; an option with
// a value it cannot take refuses the run before anything connects; a
// password line that is empty or never ends is refused. Standard error is in
// the locale's encoding, the words as they were typed. The five arguments
// and these write no file anywhere: the run log only where --log names one.
void TestUnattended::wordsAfterTheFive_data()
{
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<QByteArray>("input");  // standard input, with the password "-"; empty: the password given
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("err");
    QTest::addColumn<bool>("posts");
    QTest::newRow("the five alone") << QStringList{} << QByteArray() << 0 << QByteArray() << true;
    QTest::newRow("a misspelt option and its value")
        << QStringList{QStringLiteral("--fr\u00F6m"), "2026-12-01"} << QByteArray() << 0
        << QByteArray("contardc: warning: ignored after the five arguments: \"--fr\xC3\xB6m\", \"2026-12-01\" (see "
                      "contardc --help)\n")
        << true;
    QTest::newRow("a known option with a value it cannot take")
        << QStringList{"--timeout", "abc"} << QByteArray() << 2
        << QByteArray("contardc: --timeout takes a whole number of seconds from 1 up, not \"abc\"; nothing was "
                      "posted\n")
        << false;
    QTest::newRow("a date it cannot read, beyond ASCII")
        << QStringList{"--to", QStringLiteral("2026-1\u00F1-01")} << QByteArray() << 2
        << QByteArray("contardc: --to takes a date as YYYY-MM-DD, not \"2026-1\xC3\xB1-01\"; nothing was posted\n")
        << false;
    QTest::newRow("an empty password line")
        << QStringList{} << QByteArray("\n") << 78
        << QByteArray("contardc: the password is \"-\" and ISC_PASSWORD is not set, but the line read from standard "
                      "input is empty; nothing was posted\n")
        << false;
    QTest::newRow("a password line that never ends")
        << QStringList{} << QByteArray(5000, '\0') << 78
        << QByteArray("contardc: the password line read from standard input is longer than 4096 bytes; nothing "
                      "was posted\n")
        << false;
}

void TestUnattended::wordsAfterTheFive()
{
    QFETCH(QStringList, words);
    QFETCH(QByteArray, input);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, err);
    QFETCH(bool, posts);
    const QString server = makeCompany("words-" + QString::number(qHash(QTest::currentDataTag())));
    QVERIFY(!server.isEmpty());
    const std::string database = (server + "/datos/01/ledgara.fdb").toStdString();
    const std::string unposted = "select count(*) from RECIBO_CAJA where RECI_FECHA = current_date and COMP_ID is null";
    const QString before = fbtest::scalar(database, kPassword.toStdString(), unposted);
    QVERIFY(before != "0");
    // Where a default log would go: it must stay empty.
    QTemporaryDir home;
    QVERIFY(home.isValid());
    auto* p = new QProcess(this);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "ISC_PASSWORD"})
        env.remove(name);
    env.insert("HOME", home.path());
    env.insert("XDG_STATE_HOME", home.filePath("state"));
    env.insert("LC_ALL", "C.UTF-8");
    p->setProcessEnvironment(env);
    p->start(QStringLiteral(CONTARDC_PROGRAM),
             QStringList{server, "SYSDBA", input.isEmpty() ? kPassword : "-", "01", "N"} + words);
    QVERIFY(p->waitForStarted());
    p->write(input);
    p->closeWriteChannel();
    QVERIFY(p->waitForFinished(120000));
    QCOMPARE(p->exitStatus(), QProcess::NormalExit);
    QCOMPARE(p->readAllStandardError(), err);
    QCOMPARE(p->exitCode(), exitCode);
    QCOMPARE(fbtest::scalar(database, kPassword.toStdString(), unposted) == "0", posts);
    QCOMPARE(QDir(home.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
}

// The deadline counts from the first instant: a password that never comes on
// standard input (a pipe whose writer waits) ends the run at the deadline,
// with its line in the run log.
void TestUnattended::deadlineWhileWaitingForThePassword()
{
    const QString log = m_dir.filePath("password-never.log");
    QFile::remove(log);
    auto* p = new QProcess(this);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "ISC_PASSWORD"})
        env.remove(name);
    p->setProcessEnvironment(env);
    p->start(QStringLiteral(CONTARDC_PROGRAM),
             {m_dir.filePath("nowhere"), "SYSDBA", "-", "01", "N", "--timeout", "2", "--log", log});
    // Standard input stays open and empty until the run has ended.
    QVERIFY(p->waitForFinished(60000));
    QCOMPARE(p->exitStatus(), QProcess::NormalExit);
    QCOMPARE(p->exitCode(), 75);
    QCOMPARE(p->readAllStandardError(), QByteArray("contardc: timed out after 2 s; nothing was posted\n"));
    QFile written(log);
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QList<QByteArray> fields = written.readAll().split('\t');
    QCOMPARE(fields.size(), 7);
    QCOMPARE(fields[4], QByteArray("timed out after 2 s; nothing was posted"));
    QCOMPARE(fields[5], QByteArray("75"));
}

// A FIFO named as the run log (nobody reads it) would hold the run and its
// deadline for ever: the run says so and goes on without a log.
void TestUnattended::runLogThatIsAFifo()
{
    const QString server = makeCompany("fifo-log");
    QVERIFY(!server.isEmpty());
    const QString fifo = m_dir.filePath("fifo.log");
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QProcess* run = runHeadless({server, "SYSDBA", kPassword, "01", "N", "--log", fifo, "--timeout", "60"});
    QCOMPARE(run->exitStatus(), QProcess::NormalExit);
    QCOMPARE(run->exitCode(), 0);
    QCOMPARE(run->readAllStandardError(),
             "contardc: the run log " + QFile::encodeName(fifo) + " could not be written: it is not a regular file\n");
    QVERIFY(run->readAllStandardOutput().contains("CONTABILIZADO"));
}

// A dry run shows what the posting would post and posts nothing: every
// receipt stays unposted, but what the procedure does outside the
// transaction stays done (it takes a voucher number from a sequence for
// every receipt it posts). The log and the metrics say it was a dry run.
void TestUnattended::dryRunPostsNothing_data()
{
    QTest::addColumn<bool>("catchUp");
    QTest::newRow("today") << false;
    QTest::newRow("yesterday and today") << true;
}

void TestUnattended::dryRunPostsNothing()
{
    QFETCH(bool, catchUp);
    const QString server = makeCompany(catchUp ? "dry-two" : "dry-one");
    QVERIFY(!server.isEmpty());
    const QString database = server + "/datos/01/ledgara.fdb";
    const std::string db = database.toStdString();
    const QDate yesterday = QDate::currentDate().addDays(-1);
    if (catchUp)
        QCOMPARE(fbtest::addReceipts(database, kPassword, yesterday.toString("yyyy/MM/dd"), 4), QString());
    const std::string unposted = "select count(*) from RECIBO_CAJA where COMP_ID is null";
    const std::string sequence = "select gen_id(GEN_COMPROBANTE, 0) from rdb$database";
    const QString before = fbtest::scalar(db, kPassword.toStdString(), unposted);
    const QString numbered = fbtest::scalar(db, kPassword.toStdString(), sequence);
    const QString log = m_dir.filePath(QString("dry-%1.log").arg(catchUp));
    const QString metrics = m_dir.filePath(QString("dry-%1.prom").arg(catchUp));
    QStringList words{server, "SYSDBA", kPassword, "01", "N", "--dry-run", "--log", log, "--metrics", metrics};
    if (catchUp)
        words << "--from" << yesterday.toString("yyyy-MM-dd");
    QProcess* run = runHeadless(words);
    QCOMPARE(run->readAllStandardError(), QByteArray());
    QCOMPARE(run->exitCode(), 0);
    const QList<QByteArray> lines = run->readAllStandardOutput().split('\n');
    QCOMPARE(lines.value(0), QByteArray("dry run: nothing was posted"));
    QCOMPARE(lines.count(QByteArray("PREF  NUMERO  ESTADO")), catchUp ? 2 : 1);
    QVERIFY(std::count_if(lines.begin(), lines.end(), [](const QByteArray& l) { return l.endsWith("CONTABILIZADO"); }) >=
            (catchUp ? 2 : 1));
    QCOMPARE(fbtest::scalar(db, kPassword.toStdString(), unposted), before);
    QVERIFY2(fbtest::scalar(db, kPassword.toStdString(), sequence).toLongLong() > numbered.toLongLong(),
             "the procedure took no voucher numbers");
    QFile written(log);
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QList<QByteArray> fields = written.readAll().split('\t');
    QCOMPARE(fields.size(), 7);
    QVERIFY2(fields[4].startsWith("dry run: nothing was posted; ") && fields[4].contains(" CONTABILIZADO"),
             fields[4].constData());
    QFile figures(metrics);
    QVERIFY(figures.open(QIODevice::ReadOnly));
    QVERIFY(figures.readAll().contains("contardc_dry_run{company=\"01\",ledger=\"plain\"} 1\n"));

    // The same without --dry-run posts them.
    QProcess* real = runHeadless(words.mid(0, 5));
    QCOMPARE(real->exitCode(), 0);
    QVERIFY(fbtest::scalar(db, kPassword.toStdString(), unposted).toInt() < before.toInt());
}

// Standard output or error that is the journal (JOURNAL_STREAM names its
// device and inode) gets each line with its priority: <6> the report, <4> a
// warning, <3> an error, every line of a text of several lines. A file that
// is not the one named gets the lines as they are.
void TestUnattended::journalPriorities_data()
{
    QTest::addColumn<bool>("journal");
    QTest::newRow("the journal") << true;
    QTest::newRow("a file that is not the journal") << false;
}

void TestUnattended::journalPriorities()
{
    QFETCH(bool, journal);
    const QString server = makeCompany(journal ? "journal" : "not-journal");
    QVERIFY(!server.isEmpty());
    const QString stream = m_dir.filePath(QString("stream-%1").arg(journal));
    const QString other = m_dir.filePath(QString("other-%1").arg(journal));
    for (const QString& path : {stream, other}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    struct stat named {};
    QCOMPARE(::stat(QFile::encodeName(journal ? stream : other).constData(), &named), 0);
    const QString variable = QString("%1:%2").arg(qulonglong(named.st_dev)).arg(qulonglong(named.st_ino));
    const auto run = [&](const QStringList& words) {
        auto* p = new QProcess(this);
        QProcessEnvironment env = fbtest::environmentWithoutDisplay();
        env.insert("JOURNAL_STREAM", variable);
        env.insert("LEDGARA_HKLM", m_dir.filePath("hklm.reg"));
        p->setProcessEnvironment(env);
        // Both streams into the one file, as systemd gives a service one socket.
        p->setStandardOutputFile(stream, QIODevice::Append);
        p->setStandardErrorFile(stream, QIODevice::Append);
        p->start(QStringLiteral(CONTARDC_PROGRAM), words);
        p->waitForFinished(120000);
        return p->exitCode();
    };
    QCOMPARE(run({server, "SYSDBA", kPassword, "01", "N", "--verbose"}), 0);
    QCOMPARE(run({server, "SYSDBA", kPassword, "99", "N"}), 78);
    QFile file(stream);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    const QByteArray info = journal ? "<6>" : "";
    const QByteArray warning = journal ? "<4>" : "";
    const QByteArray error = journal ? "<3>" : "";
    QCOMPARE(lines.value(0), warning + "contardc: warning: ignored after the five arguments: \"--verbose\" (see "
                                       "contardc --help)");
    QCOMPARE(lines.value(1), info + "PREF  NUMERO  ESTADO");
    QVERIFY2(lines.value(2).startsWith(info + "PV") && lines.value(2).endsWith("CONTABILIZADO"), lines.value(2).constData());
    const qsizetype failure = lines.indexOf(error + "dbExpress Error: [0x0015]: Connection failed");
    QVERIFY2(failure > 2, lines.join('|').constData());
    QVERIFY2(lines.value(failure + 1).startsWith(error + "SQL Server Error: I/O error during \"open\" operation"),
             lines.value(failure + 1).constData());
    QCOMPARE(lines.value(failure + 2), error + "Error while trying to open file");
}

int main(int argc, char** argv)
{
    ContardcApplication app(argc, argv);
    TestUnattended test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_unattended.moc"
