#pragma once
// Helpers for the tests that run against a real Firebird: making a database
// from the schema scripts with isql-fb, and reading rows back through a
// connection of its own.

#include "posting/dataset.h"
#include "posting/sql_connection.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <string>
#include <vector>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace fbtest {

inline QString sourceDir()
{
    return qEnvironmentVariable("CONTARDC_SOURCE_DIR", QStringLiteral(CONTARDC_SOURCE_DIR_FALLBACK));
}

// Runs isql-fb on a database (empty: no database, the script creates it).
// Returns isql's error output, empty on success.
inline QString isql(const QString& database, const QString& user, const QString& password, const QByteArray& input,
                    const QString& scriptFile = {})
{
    QStringList args{"-q", "-b"};
    if (!user.isEmpty())
        args << "-user" << user << "-password" << password;
    if (!scriptFile.isEmpty())
        args << "-i" << scriptFile;
    if (!database.isEmpty())
        args << database;
    QProcess p;
    p.setProcessChannelMode(QProcess::SeparateChannels);
    // The paths are UTF-8 (the test folders are named after the application,
    // "Contabilización ventas POS"); without a locale the client would take
    // them as ASCII and drop the accented letter.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (env.value("LC_ALL").isEmpty() && env.value("LC_CTYPE").isEmpty() && env.value("LANG").isEmpty())
        env.insert("LC_CTYPE", "C.UTF-8");
    p.setProcessEnvironment(env);
    p.start("isql-fb", args);
    if (!p.waitForStarted())
        return "isql-fb did not start";
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(120000);
    const QString err = QString::fromLocal8Bit(p.readAllStandardError());
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return err.isEmpty() ? QString("isql-fb exit %1").arg(p.exitCode()) : err;
    return {};
}

// A company database: the ERP schema, its demo data and the given extra
// scripts (file paths). Returns an error text, empty on success.
inline QString makeDatabase(const QString& database, const QString& password, const QStringList& extraScripts = {})
{
    const QString create = QString("create database '%1' user 'SYSDBA' password '%2' default character set NONE;\n")
                               .arg(database, password);
    QString error = isql({}, {}, {}, create.toUtf8());
    QStringList scripts{sourceDir() + "/db/schema.sql", sourceDir() + "/db/seed.sql"};
    scripts << extraScripts;
    for (const QString& script : scripts) {
        if (!error.isEmpty())
            break;
        error = isql(database, "SYSDBA", password, {}, script);
        if (!error.isEmpty())
            error = script + ": " + error;
    }
    return error;
}

// A company as the tool finds it under a server folder:
// <folder>/datos/<code>/ledgara.fdb, made afresh from the ERP schema and its
// demo data. With Accounts::All every point of sale has its accounts in both
// ledgers (tests/app/all_accounts.sql), so that one run posts every receipt
// and the next finds nothing left; with Accounts::AsSeeded one has none and
// one has none in the IFRS ledger, as the demo data has it. `host`
// ("127.0.0.1/PORT:") has that server make and hold it; empty, the embedded
// engine does.
enum class Accounts { All, AsSeeded };

struct Company {
    QString server;   // the server text the tool is given: host + folder
    QString database; // the path a connection opens
    QString error;    // why it could not be made; empty when it was
};

inline Company makeCompany(const QString& folder, const QString& password, Accounts accounts = Accounts::All,
                           const QString& host = {}, const QString& code = QStringLiteral("01"))
{
    const QString file = folder + "/datos/" + code + "/ledgara.fdb";
    Company company{host + folder, host + file, {}};
    if (!QDir().mkpath(folder + "/datos/" + code)) {
        company.error = "cannot make the folder of " + file;
        return company;
    }
    QFile::remove(file);
    QStringList scripts;
    if (accounts == Accounts::All)
        scripts << sourceDir() + "/tests/app/all_accounts.sql";
    company.error = makeDatabase(company.database, password, scripts);
    return company;
}

// Adds `count` receipts dated `date` (Firebird's date text) to a company
// (tests/app/more_receipts.sql says how they are spread over the points of
// sale). Returns isql's error output, empty on success.
inline QString addReceipts(const QString& database, const QString& password, const QString& date, int count)
{
    const QString input = QString("select rdb$set_context('USER_SESSION', 'RECEIPTS', %1), "
                                  "rdb$set_context('USER_SESSION', 'RECEIPTS_DATE', '%2') from rdb$database;\n"
                                  "input '%3';\n")
                              .arg(count)
                              .arg(date, sourceDir() + "/tests/app/more_receipts.sql");
    return isql(database, "SYSDBA", password, input.toUtf8());
}

// The environment of the tool started as a scheduler starts it: no display
// of any kind, whatever the test process itself was given.
inline QProcessEnvironment environmentWithoutDisplay()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    return env;
}

// Every row of a statement as text: integers in decimal (scaled ones unscaled),
// NULL and the kinds the layer does not read as "<null>".
class Rows : public RowSink {
public:
    std::vector<Column> columns;
    std::vector<QStringList> rows;

    void begin(const std::vector<Column>& c) override { columns = c; }
    void row(const ColumnValue* values) override
    {
        QStringList r;
        for (std::size_t i = 0; i < columns.size(); ++i) {
            const ColumnValue& v = values[i];
            if (v.isNull)
                r << "<null>";
            else if (columns[i].kind == ColumnKind::Char || columns[i].kind == ColumnKind::VarChar)
                r << QString::fromLatin1(v.text.data(), static_cast<qsizetype>(v.text.size()));
            else
                r << QString::number(v.integer);
        }
        rows.push_back(r);
    }
    QStringList column(std::size_t index) const
    {
        QStringList out;
        for (const auto& r : rows)
            out << r.value(static_cast<qsizetype>(index));
        return out;
    }
};

// Rows of a statement run on a connection of its own, closed afterwards.
inline Rows query(const std::string& database, const std::string& password, const std::string& sql)
{
    SqlConnection connection;
    connection.settings().database = database;
    connection.settings().user = "SYSDBA";
    connection.settings().password = password;
    Rows rows;
    connection.fetchAll(sql, rows);
    connection.close();
    return rows;
}

// A single value of a statement, as text.
inline QString scalar(const std::string& database, const std::string& password, const std::string& sql)
{
    Rows rows = query(database, password, sql);
    return rows.rows.empty() ? QString("<no row>") : rows.rows.front().value(0);
}

// The address "127.0.0.1/PORT" of the server that fbserver_start.sh started
// under dir (it writes it there once the server answers); empty when none.
inline QString serverAddress(const QString& dir)
{
    QFile file(dir + "/address");
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(file.readAll()).trimmed();
}

// The server ctest's fixture started (CONTARDC_FB_DIR its folder), or the
// one CONTARDC_FB_SERVER names instead; empty when there is neither.
inline QString fixtureServer()
{
    const QString named = qEnvironmentVariable("CONTARDC_FB_SERVER");
    if (!named.isEmpty())
        return named;
    const QString dir = qEnvironmentVariable("CONTARDC_FB_DIR");
    return dir.isEmpty() ? QString() : serverAddress(dir);
}

// Why a test that needs that server fails without it: the server is part
// of the suite (ctest starts it before the tests that need it), so its
// absence is a broken run, not a case to leave out.
inline constexpr const char* kNoFixtureServer =
    "no test server: ctest's fixture fbserver did not start it (see fbserver_start), or neither "
    "CONTARDC_FB_DIR nor CONTARDC_FB_SERVER names one";

// A port on 127.0.0.1 that nothing listens on.
inline int unusedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length) != 0)
        qFatal("no free port");
    ::close(fd);
    return ntohs(addr.sin_port);
}

// The posting procedure's result row (ID, PREF, NUMERO, ESTADO, IDI, IDC)
// declared in a set of the test's own, which runs its command text on the
// connection: for a procedure of a test's own, which the posting run never
// calls.
inline void declareReceiptRow(ClientDataSet& set, SqlConnection& connection)
{
    set.setProvider([&connection](const std::string& sql, RowSink& rows) { connection.fetchAll(sql, rows); });
    set.declareField("ID", FieldKind::Integer);
    set.declareField("PREF", FieldKind::String, 4);
    set.declareField("NUMERO", FieldKind::String, 6);
    set.declareField("ESTADO", FieldKind::String, 20);
    set.declareField("IDI", FieldKind::Integer);
    set.declareField("IDC", FieldKind::Integer);
}

// The vouchers of a ledger that do not balance or do not match their receipt.
inline std::string unbalancedVouchersSql(bool niif)
{
    const std::string c = niif ? "COMPROBANTE_NIIF" : "COMPROBANTE";
    const std::string m = niif ? "MOVIMIENTO_NIIF" : "MOVIMIENTO";
    return "select count(*) from " + c + " c join RECIBO_CAJA r on r.RECI_ID = c.RECI_ID "
           "where (select count(*) from " + m + " m where m.COMP_ID = c.COMP_ID) <> 2 "
           "or (select sum(m.DEBITO) from " + m + " m where m.COMP_ID = c.COMP_ID) <> r.RECI_VALOR "
           "or (select sum(m.CREDITO) from " + m + " m where m.COMP_ID = c.COMP_ID) <> r.RECI_VALOR "
           "or r." + (niif ? "COMP_NIIF_ID" : "COMP_ID") + " is distinct from c.COMP_ID";
}

}  // namespace fbtest
