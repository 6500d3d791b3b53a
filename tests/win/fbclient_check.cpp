// A Windows Firebird client library against a real server: the data-access
// layer, built for Windows, loads the library that LEDGARA_FBCLIENT names and
// logs in, queries and is refused through it, over TCP/IP.
//
//   fbclient_check.exe HOST/PORT FOLDER PASSWORD
//
// FOLDER is the server's folder (as the server sees it) holding check.fdb,
// owned by SYSDBA, whose password is PASSWORD; nothing.fdb must not exist
// there. fbclient_check.sh makes all that and runs this under Wine. Every
// failure prints one line; the last line is "N passed, M failed", and the
// exit code is 1 when anything failed.

#include "posting/dataset.h"
#include "posting/firebird.h"
#include "posting/sql_connection.h"
#include "text/error.h"

#include "config/windows_api.h"

#include <cstdio>
#include <exception>
#include <string_view>
#include <string>
#include <vector>

namespace {

int g_passed = 0;
int g_failed = 0;

std::string show(const std::string& bytes)
{
    std::string out = "\"";
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (b == '\n') {
            out += "\\n";
        } else if (b < 0x20 || b >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", b);
            out += hex;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

void check(bool ok, const std::string& test, const std::string& detail = {})
{
    if (ok) {
        ++g_passed;
        return;
    }
    ++g_failed;
    std::printf("FAIL %s%s%s\n", test.c_str(), detail.empty() ? "" : ": ", detail.c_str());
    std::fflush(stdout);
}

void checkEqual(const std::string& test, const std::string& actual, const std::string& expected)
{
    check(actual == expected, test, "got " + show(actual) + ", expected " + show(expected));
}

std::string trimmed(std::string_view text)
{
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return std::string(text);
}

// Every row as text, columns joined by '|'; NULL as "<null>".
class TextRows final : public RowSink {
public:
    void begin(const std::vector<Column>& columns) override { m_columns = columns; }
    void row(const ColumnValue* values) override
    {
        std::string line;
        for (std::size_t i = 0; i < m_columns.size(); ++i) {
            if (i > 0)
                line += '|';
            const ColumnValue& v = values[i];
            if (v.isNull)
                line += "<null>";
            else if (m_columns[i].kind == ColumnKind::Char || m_columns[i].kind == ColumnKind::VarChar)
                line += trimmed(v.text);
            else
                line += std::to_string(v.integer);
        }
        rows.push_back(line);
    }
    std::vector<std::string> rows;

private:
    std::vector<Column> m_columns;
};

// The connection as the window sets it up, for one database and login.
void setUp(SqlConnection& connection, const std::string& database, const std::string& user,
           const std::string& password)
{
    connection.settings().database = database;
    connection.settings().user = user;
    connection.settings().password = password;
}

std::string g_hostPort;  // "127.0.0.1/PORT"
std::string g_folder;
std::string g_password;

const char* const kConnectionFailed = "dbExpress Error: [0x0015]: Connection failed\nSQL Server Error: ";
const char* const kLoginRefused =
    "Your user name and password are not defined. Ask your database administrator to set up a Firebird login.";

std::string selfName()
{
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string full(path, length);
    return full.substr(full.find_last_of('\\') + 1);
}

// The library the layer loaded is the one named, not one found elsewhere.
void testLoadedLibrary()
{
    char named[MAX_PATH]{};
    GetEnvironmentVariableA("LEDGARA_FBCLIENT", named, MAX_PATH);
    check(named[0] != '\0', "LEDGARA_FBCLIENT names the library under test");
    // The library loads at the first attach; one that fails after the
    // library answered (no such database) had it loaded all the same.
    try {
        SqlConnection probe;
        probe.settings().database = "C:\\contardc-no-such-folder\\none.fdb";
        probe.open();
    } catch (const ProgramError& e) {
        if (e.database().driverCode == 0) {
            check(false, "the library loads", e.what());
            return;
        }
    }
    const HMODULE module = GetModuleHandleA(named);
    char loaded[MAX_PATH]{};
    if (module != nullptr)
        GetModuleFileNameA(module, loaded, MAX_PATH);
    check(module != nullptr, "the named library is the one in the process", loaded);
}

// A login with the right password in each address form, and a query whose
// answers only that attachment can give: who connected, how, with which
// program; and text outside ASCII, byte for byte, in character set NONE.
void testLogin()
{
    const std::string host = g_hostPort.substr(0, g_hostPort.find('/'));
    const std::string port = g_hostPort.substr(g_hostPort.find('/') + 1);
    const std::string sql =
        "select cast(6 * 7 as integer), a.mon$remote_protocol, a.mon$auth_method, "
        "rdb$get_context('SYSTEM', 'WIRE_ENCRYPTED'), upper(a.mon$remote_process), current_user, "
        "cast('Aplicaci\xF3n' as varchar(20)) "
        "from mon$attachments a where a.mon$attachment_id = current_connection";
    std::string process = selfName();
    for (char& c : process)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    struct Form {
        const char* name;
        std::string database;
    };
    const std::vector<Form> forms = {
        {"host/port:path", g_hostPort + ":" + g_folder + "/check.fdb"},
        {"inet://host:port/path", "inet://" + host + ":" + port + "/" + g_folder + "/check.fdb"},
    };
    for (const Form& form : forms) {
        const std::string test = std::string("login / ") + form.name;
        try {
            SqlConnection connection;
            setUp(connection, form.database, "SYSDBA", g_password);
            connection.open();
            TextRows rows;
            connection.fetchAll(sql, rows);
            if (rows.rows.size() != 1) {
                check(false, test, std::to_string(rows.rows.size()) + " rows");
                continue;
            }
            const std::string& row = rows.rows[0];
            // The process path is Windows' ("Z:\...\FBCLIENT_CHECK.EXE"): the
            // server heard from this program, through the library under test.
            const std::size_t at = row.find("\\" + process + "|");
            check(at != std::string::npos, test + " (the server saw this program)", show(row));
            const std::string withoutPath =
                at == std::string::npos ? row : row.substr(0, row.rfind('|', at) + 1) + row.substr(at + 1);
            checkEqual(test, withoutPath, "42|TCPv4|Srp|TRUE|" + process + "|SYSDBA|Aplicaci\xF3n");
            connection.close();
            check(!connection.connected(), test + " (closed)");
        } catch (const std::exception& e) {
            check(false, test, show(e.what()));
        }
    }
}

// Refusals: the server's texts, as the client library interprets them.
void testRefusals()
{
    struct Refusal {
        const char* name;
        std::string database;
        std::string user;
        std::string password;
        std::string expected;
    };
    const std::string missing = g_folder + "/nothing.fdb";
    const std::vector<Refusal> refusals = {
        {"wrong password", g_hostPort + ":" + g_folder + "/check.fdb", "SYSDBA", "Zq9-wrong-password",
         std::string(kConnectionFailed) + kLoginRefused},
        {"unknown user", g_hostPort + ":" + g_folder + "/check.fdb", "NADIE", g_password,
         std::string(kConnectionFailed) + kLoginRefused},
        {"missing database", g_hostPort + ":" + missing, "SYSDBA", g_password,
         std::string(kConnectionFailed) + "I/O error during \"open\" operation for file \"" + missing +
             "\"\nError while trying to open file\nNo such file or directory"},
        // Port 1 of the loopback address: nothing listens there; the text is
        // the library's own.
        {"no server on the port", "127.0.0.1/1:" + g_folder + "/check.fdb", "SYSDBA", g_password,
         std::string(kConnectionFailed) +
             "Unable to complete network request to host \"127.0.0.1\".\nFailed to establish a connection."},
    };
    for (const Refusal& r : refusals) {
        const std::string test = std::string("refused / ") + r.name;
        std::string error;
        try {
            SqlConnection connection;
            setUp(connection, r.database, r.user, r.password);
            connection.open();
        } catch (const std::exception& e) {
            error = e.what();
        }
        check(!error.empty(), test + " (refused)");
        checkEqual(test, error, r.expected);
        check(error.find(g_password) == std::string::npos, test + " (no password in the text)");
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: fbclient_check.exe HOST/PORT FOLDER PASSWORD\n");
        return 2;
    }
    g_hostPort = argv[1];
    g_folder = argv[2];
    g_password = argv[3];

    testLoadedLibrary();
    testLogin();
    testRefusals();

    std::printf("%d passed, %d failed\n", g_passed, g_failed);
    return g_failed == 0 ? 0 : 1;
}
