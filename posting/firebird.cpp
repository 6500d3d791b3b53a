// The connection and its statements over the Firebird client library, loaded
// at run time: the only file that knows the client's C API.
#include "posting/firebird.h"
#include "text/format.h"

#include "text/ansi_text.h"
#include "text/client_text.h"
#include "posting/messages.h"
#include "posting/dataset.h"
#include "posting/sql_connection.h"

#include <ibase.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

// Every entry point the layer uses, resolved in this order.
#define CONTARDC_CLIENT_ENTRIES(X)                                                                      \
    X(isc_attach_database) X(isc_detach_database) X(isc_start_multiple) X(isc_commit_transaction)       \
    X(isc_rollback_transaction) X(isc_dsql_allocate_statement) X(isc_dsql_prepare) X(isc_dsql_describe) \
    X(isc_dsql_execute) X(isc_dsql_fetch) X(isc_dsql_free_statement) X(fb_interpret) X(isc_sqlcode)

struct ClientApi {
#define CONTARDC_ENTRY(name) decltype(&::name) name = nullptr;
    CONTARDC_CLIENT_ENTRIES(CONTARDC_ENTRY)
#undef CONTARDC_ENTRY
};

#ifdef _WIN32
// What is asked for: LEDGARA_FBCLIENT as Windows holds it, in UTF-16, since
// a path in it may have characters that no code page has; empty when unset
// or empty, which asks for fbclient.dll, then gds32.dll.
using LibraryChoice = std::wstring;

LibraryChoice wantedLibrary()
{
    std::wstring value(256, L'\0');
    for (;;) {
        const DWORD n = GetEnvironmentVariableW(L"LEDGARA_FBCLIENT", value.data(), static_cast<DWORD>(value.size()));
        // Too small a buffer gives the size it needs, its NUL counted.
        if (n < value.size()) {
            value.resize(n);
            return value;
        }
        value.resize(n);
    }
}

std::string libraryText(const LibraryChoice& choice)
{
    return choice.empty() ? std::string("fbclient.dll") : wideToAnsi(choice);
}

std::wstring fullPath(const std::wstring& path)
{
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (n == 0)
            return {};
        if (n < full.size()) {
            full.resize(n);
            return full;
        }
        full.resize(n);
    }
}

void* openLibrary(const LibraryChoice& choice)
{
    if (choice.empty()) {
        // The client shipped beside the program, else one installed in the
        // system folder; never the current folder or those on PATH, where
        // anybody may have left a fbclient.dll.
        constexpr DWORD search = LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32;
        HMODULE lib = LoadLibraryExW(L"fbclient.dll", nullptr, search);
        if (!lib)
            lib = LoadLibraryExW(L"gds32.dll", nullptr, search);
        return lib;
    }
    // A named client is taken from the current folder when its path is a
    // relative one, and the libraries it needs from its own folder.
    const std::wstring path = fullPath(choice);
    if (path.empty())
        return nullptr;
    return LoadLibraryExW(path.c_str(), nullptr,
                          LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_APPLICATION_DIR
                              | LOAD_LIBRARY_SEARCH_SYSTEM32);
}

void* findSymbol(void* lib, const char* name)
{
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(lib), name));
}
#else
using LibraryChoice = std::string;

LibraryChoice wantedLibrary()
{
    const char* env = std::getenv("LEDGARA_FBCLIENT");
    return env && *env ? env : "libfbclient.so.2";
}

std::string libraryText(const LibraryChoice& choice) { return choice; }

void* openLibrary(const LibraryChoice& name) { return dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL); }
void* findSymbol(void* lib, const char* name) { return dlsym(lib, name); }
#endif

// The library is never unloaded: it keeps threads and exit handlers of its
// own, and unloading it under them ends the process badly. Each attachment
// keeps a copy of the entry points it was made with, so a library named
// differently later (LEDGARA_FBCLIENT changed) only serves later attachments.
const ClientApi& loadedApi()
{
    static LibraryChoice loadedChoice;
    static ClientApi loaded;
    const LibraryChoice wanted = wantedLibrary();
    if (loaded.isc_attach_database && wanted == loadedChoice)
        return loaded;
    void* lib = openLibrary(wanted);
    if (!lib)
        throw ProgramError(formatText(msg::kUnableToLoad, {libraryText(wanted)}), ErrorKind::Configuration);
    ClientApi api;
#define CONTARDC_RESOLVE(name)                                                    \
    if (!(api.name = reinterpret_cast<decltype(api.name)>(findSymbol(lib, #name)))) \
        throw ProgramError(formatText(msg::kUnableToFindProcedure, {#name}), ErrorKind::Configuration);
    CONTARDC_CLIENT_ENTRIES(CONTARDC_RESOLVE)
#undef CONTARDC_RESOLVE
    loadedChoice = wanted;
    return loaded = api;
}

bool failed(const ISC_STATUS* status) { return status[0] == 1 && status[1] != 0; }

// Every GDS code of a status vector, in order.
std::vector<std::int64_t> gdsCodes(const ISC_STATUS* status)
{
    std::vector<std::int64_t> codes;
    for (const ISC_STATUS* p = status; *p != isc_arg_end;) {
        const ISC_STATUS type = *p++;
        if (type == isc_arg_gds)
            codes.push_back(*p);
        p += type == isc_arg_cstring ? 2 : 1;
    }
    return codes;
}

template <typename... Codes>
bool anyOf(const std::vector<std::int64_t>& codes, Codes... wanted)
{
    return std::any_of(codes.begin(), codes.end(), [&](std::int64_t c) { return ((c == wanted) || ...); });
}

// A failure after which the attachment is of no more use.
bool connectionLost(const std::vector<std::int64_t>& codes)
{
    return anyOf(codes, isc_network_error, isc_net_connect_err, isc_net_read_err, isc_net_write_err, isc_conn_lost,
                 isc_lost_db_connection, isc_att_shutdown, isc_shutdown);
}

// A value of the client's buffers, which need not be aligned for its type.
template <typename T>
T readUnaligned(const char* p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

Column describe(const XSQLVAR& v)
{
    const bool aliased = v.aliasname_length > 0;
    const short nameLength = std::clamp<short>(aliased ? v.aliasname_length : v.sqlname_length, 0, 31);
    Column c{std::string(aliased ? v.aliasname : v.sqlname, static_cast<std::size_t>(nameLength)), ColumnKind::Other,
             v.sqllen, v.sqlscale};
    const bool scaled = v.sqlscale < 0;
    switch (v.sqltype & ~1) {
    case SQL_SHORT: c.kind = scaled ? ColumnKind::Numeric : ColumnKind::SmallInt; break;
    case SQL_LONG: c.kind = scaled ? ColumnKind::Numeric : ColumnKind::Integer; break;
    case SQL_INT64: c.kind = scaled ? ColumnKind::Numeric : ColumnKind::BigInt; break;
    case SQL_TEXT: c.kind = ColumnKind::Char; break;
    case SQL_VARYING: c.kind = ColumnKind::VarChar; break;
    case SQL_FLOAT: case SQL_DOUBLE: case SQL_D_FLOAT: c.kind = ColumnKind::Float; break;
    case SQL_TYPE_DATE: c.kind = ColumnKind::Date; break;
    case SQL_TYPE_TIME: c.kind = ColumnKind::Time; break;
    case SQL_TIMESTAMP: c.kind = ColumnKind::Timestamp; break;
    case SQL_BLOB: c.kind = ColumnKind::Blob; break;
    case SQL_BOOLEAN: c.kind = ColumnKind::Boolean; break;
    }
    return c;
}

constexpr unsigned short kDialect = 3;

}  // namespace

bool isLocalPath(const std::string& database)
{
    // "host:path", "host/port:path", "inet://host/path", "\\host\path": a
    // server is named. A drive letter ("C:\...") is not a host.
    if (database.rfind("\\\\", 0) == 0 || database.rfind("[", 0) == 0 || database.find("://") != std::string::npos)
        return false;
    const std::size_t colon = database.find(':');
    if (colon == std::string::npos)
        return true;
#ifdef _WIN32
    if (colon == 1 && std::isalpha(static_cast<unsigned char>(database[0])))
        return true;
#endif
    // A colon after the first slash belongs to the path, unless what comes
    // before it is "host/port".
    const std::size_t slash = database.find_first_of("/\\");
    if (slash != std::string::npos && slash < colon) {
        const std::string port = database.substr(slash + 1, colon - slash - 1);
        return slash == 0 || port.empty() || port.find_first_of("/\\") != std::string::npos;
    }
    return colon == 0;
}

std::string databaseErrorText(int driverCode, const std::vector<std::string>& serverLines, const std::string& previous)
{
    // The driver's texts, in the order of DriverFailure.
    static const char* const driverTexts[] = {
        "Connection failed", "Disconnection failed", "Unable to prepare the statement",
        "Unable to execute the statement", "Unable to fetch the rows", "Unable to commit the transaction",
        "Unable to start a transaction",
        "Connection failed: the database path names no server, and neither the embedded Firebird engine nor a "
        "Firebird server on this machine could open it",
        "Connection failed: user name, password, role or path too long"};
    std::string text;
    const auto index = static_cast<std::size_t>(driverCode - static_cast<int>(DriverFailure::Connect));
    if (index < std::size(driverTexts)) {
        char prefix[16];
        std::snprintf(prefix, sizeof prefix, "[0x%04X]: ", static_cast<unsigned>(driverCode));
        text = formatText(msg::kDriverError, {prefix + std::string(driverTexts[index])});
    }
    if (!serverLines.empty()) {
        std::string joined = serverLines.front();
        for (std::size_t i = 1; i < serverLines.size(); ++i)
            joined.append("\n").append(serverLines[i]);
        text.append(text.empty() ? "" : "\n").append(formatText(msg::kServerError, {joined}));
    }
    if (!text.empty())
        return text;
    return previous.empty() ? formatText(msg::kUnknownErrorCode, {std::to_string(driverCode)}) : previous;
}

ErrorKind databaseErrorKind(int driverCode, const std::vector<std::int64_t>& codes, std::int32_t sqlCode)
{
    const auto failure = static_cast<DriverFailure>(driverCode);
    if (anyOf(codes, isc_login))
        return ErrorKind::LoginRefused;
    if (connectionLost(codes) || (failure == DriverFailure::Connect && anyOf(codes, isc_unavailable)))
        return ErrorKind::Unreachable;
    // A receipt another transaction holds; a database file another process
    // has open in an engine of its own.
    if (anyOf(codes, isc_lock_conflict, isc_deadlock, isc_update_conflict, isc_lock_timeout, isc_already_opened))
        return ErrorKind::Busy;
    if (anyOf(codes, isc_cancelled))
        return ErrorKind::Stopped;
    if (anyOf(codes, isc_except, isc_except2))
        return ErrorKind::Procedure;
    // A database that is not there, is no database, or lacks what the ERP's
    // has (-204: an unknown table or procedure; -206: an unknown column).
    if (failure == DriverFailure::NoLocalProvider || sqlCode == -204 || sqlCode == -206 ||
        anyOf(codes, isc_io_error, isc_bad_db_format, isc_wrong_ods, isc_no_priv, isc_dsql_relation_err,
              isc_dsql_procedure_err, isc_dsql_field_err))
        return ErrorKind::Configuration;
    if (failure == DriverFailure::ParameterTooLong)
        return ErrorKind::Usage;
    if (failure == DriverFailure::Execute || failure == DriverFailure::Fetch || failure == DriverFailure::Commit)
        return ErrorKind::Procedure;
    return ErrorKind::Other;
}

// One attachment, from its attach to its quiet detach at the end of its
// life, and the transactions and statements that work over it.
struct SqlConnection::Attachment {
    explicit Attachment(std::string& previous) : api(loadedApi()), lastError(previous) {}
    ~Attachment() { detach(nullptr); }
    Attachment(const Attachment&) = delete;
    Attachment& operator=(const Attachment&) = delete;

    const ClientApi api;
    std::string& lastError;
    isc_db_handle db = 0;

    // The one place a failure of the client becomes an exception: every line
    // it interprets from the status, its SQLCODE and its GDS codes. A failure
    // without any text repeats the previous error.
    [[noreturn]] void raise(DriverFailure failure, const ISC_STATUS* status = nullptr)
    {
        DatabaseReport report;
        report.driverCode = static_cast<int>(failure);
        char line[1024];
        // The client writes in its own encoding (the locale's on Linux, where
        // a file name in the text is UTF-8); the program's texts are Windows-1252.
        for (const ISC_STATUS* cursor = status; status && api.fb_interpret(line, sizeof line, &cursor) > 0;)
            report.serverLines.emplace_back(utf16ToAnsi(fromClientText(line)));
        if (status) {
            report.sqlCode = api.isc_sqlcode(status);
            report.gdsCodes = gdsCodes(status);
        }
        const ErrorKind kind = databaseErrorKind(report.driverCode, report.gdsCodes, report.sqlCode);
        const std::string text = databaseErrorText(report.driverCode, report.serverLines, lastError);
        ProgramError error(text, kind, std::move(report));
        lastError = error.what();
        throw error;
    }

    void check(const ISC_STATUS* status, DriverFailure failure)
    {
        if (failed(status))
            raise(failure, status);
    }

    // Ends the attachment whatever the outcome: the handle is of no more use.
    void detach(ISC_STATUS* status)
    {
        ISC_STATUS_ARRAY ignored{};
        if (db)
            api.isc_detach_database(status ? status : ignored, &db);
        db = 0;
    }

    void attach(const std::string& database, const ConnectionSettings& settings)
    {
        std::string dpb(1, static_cast<char>(isc_dpb_version1));
        const auto add = [&](char item, const std::string& value) {
            if (value.size() > 255)
                raise(DriverFailure::ParameterTooLong);
            dpb += item;
            dpb += static_cast<char>(value.size());
            dpb += value;
        };
        add(isc_dpb_user_name, settings.user);
        if (!settings.passwordFromEnvironment)
            add(isc_dpb_password, settings.password);
        add(isc_dpb_sql_role_name, settings.role);
        add(isc_dpb_sql_dialect, std::string(1, static_cast<char>(kDialect)));
        if (database.size() > 4096)
            raise(DriverFailure::ParameterTooLong);
        ISC_STATUS_ARRAY status{};
        api.isc_attach_database(status, static_cast<short>(database.size()), database.data(), &db,
                                static_cast<short>(dpb.size()), dpb.data());
        if (!failed(status))
            return;
        // A path without a host goes to the providers the client's own
        // configuration lists (Firebird 3 names its engine Engine12, 4 and 5
        // Engine13). When none could open it the client tells only of the
        // last, so the driver text says what was tried.
        const ISC_STATUS gds = status[1];
        const bool noProvider = isLocalPath(database) &&
                                (gds == isc_unavailable || gds == isc_network_error || gds == isc_net_connect_err);
        raise(noProvider ? DriverFailure::NoLocalProvider : DriverFailure::Connect, status);
    }

    // A transaction of the attachment, rolled back when it ends without a
    // commit: read committed, seeing the latest committed version of a row,
    // and waiting for a concurrent writer rather than failing at once.
    class Transaction {
    public:
        Transaction(Attachment& a, int lockTimeoutSeconds) : m_a(a)
        {
            std::string tpb{isc_tpb_version3, isc_tpb_write, isc_tpb_read_committed, isc_tpb_rec_version,
                            isc_tpb_wait};
            if (lockTimeoutSeconds > 0) {
                // The time as a clumplet: its length, then its bytes, lowest first.
                tpb += static_cast<char>(isc_tpb_lock_timeout);
                tpb += static_cast<char>(4);
                for (int shift = 0; shift < 32; shift += 8)
                    tpb += static_cast<char>((static_cast<unsigned>(lockTimeoutSeconds) >> shift) & 0xFF);
            }
            struct {
                isc_db_handle* database;
                int tpbLength;
                const char* tpb;
            } teb{&a.db, static_cast<int>(tpb.size()), tpb.data()};
            ISC_STATUS_ARRAY status{};
            a.api.isc_start_multiple(status, &m_handle, 1, &teb);
            a.check(status, DriverFailure::StartTransaction);
        }
        ~Transaction()
        {
            ISC_STATUS_ARRAY ignored{};
            if (m_handle)
                m_a.api.isc_rollback_transaction(ignored, &m_handle);
        }
        Transaction(const Transaction&) = delete;
        Transaction& operator=(const Transaction&) = delete;

        isc_tr_handle* handle() { return &m_handle; }
        void commit()
        {
            ISC_STATUS_ARRAY status{};
            m_a.api.isc_commit_transaction(status, &m_handle);
            m_a.check(status, DriverFailure::Commit);
        }

    private:
        Attachment& m_a;
        isc_tr_handle m_handle = 0;
    };

    // A prepared statement and the buffers its rows are fetched into,
    // dropped when it ends.
    class Statement {
    public:
        Statement(Attachment& a, Transaction& transaction, const std::string& sql) : m_a(a), m_transaction(transaction)
        {
            ISC_STATUS_ARRAY status{};
            a.api.isc_dsql_allocate_statement(status, &a.db, &m_handle);
            a.check(status, DriverFailure::Prepare);
            reserve(20);
            a.api.isc_dsql_prepare(status, transaction.handle(), &m_handle, 0, sql.c_str(), kDialect, da());
            a.check(status, DriverFailure::Prepare);
            if (da()->sqld > da()->sqln) {
                reserve(da()->sqld);
                a.api.isc_dsql_describe(status, &m_handle, 1, da());
                a.check(status, DriverFailure::Prepare);
            }
            bind();
        }
        ~Statement()
        {
            ISC_STATUS_ARRAY ignored{};
            if (m_handle)
                m_a.api.isc_dsql_free_statement(ignored, &m_handle, DSQL_drop);
        }
        Statement(const Statement&) = delete;
        Statement& operator=(const Statement&) = delete;

        const std::vector<Column>& columns() const { return m_columns; }

        void execute()
        {
            ISC_STATUS_ARRAY status{};
            m_a.api.isc_dsql_execute(status, m_transaction.handle(), &m_handle, 1, nullptr);
            m_a.check(status, DriverFailure::Execute);
        }

        // Reads every row into the sink, then closes the cursor. A selectable
        // procedure does its work while its rows are fetched.
        void fetchAll(RowSink& sink)
        {
            ISC_STATUS_ARRAY status{};
            std::vector<ColumnValue> values(m_columns.size());
            while (m_a.api.isc_dsql_fetch(status, &m_handle, 1, da()) == 0) {
                read(values);
                sink.row(values.data());
            }
            m_a.check(status, DriverFailure::Fetch);
            m_a.api.isc_dsql_free_statement(status, &m_handle, DSQL_close);
            m_a.check(status, DriverFailure::Fetch);
        }

    private:
        XSQLDA* da() { return reinterpret_cast<XSQLDA*>(m_descriptor.data()); }

        void reserve(short columns)
        {
            m_descriptor.assign(XSQLDA_LENGTH(columns) / sizeof(std::max_align_t) + 1, {});
            da()->version = SQLDA_VERSION1;
            da()->sqln = columns;
        }

        // Gives every column an 8-byte aligned place for its value (a
        // VARCHAR's 2-byte length first), and its null flag.
        void bind()
        {
            m_data.resize(static_cast<std::size_t>(da()->sqld));
            m_nulls.assign(m_data.size(), 0);
            for (std::size_t i = 0; i < m_data.size(); ++i) {
                XSQLVAR& v = da()->sqlvar[i];
                m_columns.push_back(describe(v));
                m_data[i].assign((static_cast<std::size_t>(v.sqllen) + 2 + 7) / 8, 0);
                v.sqldata = reinterpret_cast<char*>(m_data[i].data());
                v.sqltype = static_cast<short>(v.sqltype | 1);
                v.sqlind = &m_nulls[i];
            }
        }

        // The fetched row, texts pointing into the buffers. Only the kinds a
        // field can hold carry a value.
        void read(std::vector<ColumnValue>& values)
        {
            for (short i = 0; i < da()->sqld; ++i) {
                const XSQLVAR& v = da()->sqlvar[i];
                ColumnValue& out = values[static_cast<std::size_t>(i)] = ColumnValue{};
                out.isNull = *v.sqlind < 0;
                switch (out.isNull ? 0 : v.sqltype & ~1) {
                case SQL_SHORT: out.integer = readUnaligned<ISC_SHORT>(v.sqldata); break;
                case SQL_LONG: out.integer = readUnaligned<ISC_LONG>(v.sqldata); break;
                case SQL_INT64: out.integer = readUnaligned<ISC_INT64>(v.sqldata); break;
                case SQL_TEXT: out.text = {v.sqldata, static_cast<std::size_t>(v.sqllen)}; break;
                case SQL_VARYING: {
                    const short length = std::clamp<short>(readUnaligned<short>(v.sqldata), 0, v.sqllen);
                    out.text = {v.sqldata + 2, static_cast<std::size_t>(length)};
                    break;
                }
                default: out.isNull = true; break;
                }
            }
        }

        Attachment& m_a;
        Transaction& m_transaction;
        isc_stmt_handle m_handle = 0;
        std::vector<std::max_align_t> m_descriptor;
        std::vector<Column> m_columns;
        std::vector<std::vector<std::uint64_t>> m_data;
        std::vector<short> m_nulls;
    };
};

SqlConnection::SqlConnection() = default;

SqlConnection::~SqlConnection() = default;

void SqlConnection::open()
{
    if (m_attachment)
        return;
    std::string database = m_settings.database;
    const auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    database.erase(std::find_if_not(database.rbegin(), database.rend(), blank).base(), database.end());
    database.erase(database.begin(), std::find_if_not(database.begin(), database.end(), blank));
    auto attachment = std::make_unique<Attachment>(m_lastError);
    attachment->attach(database, m_settings);
    m_attachment = std::move(attachment);
}

void SqlConnection::close()
{
    if (!m_attachment)
        return;
    const std::unique_ptr<Attachment> attachment = std::move(m_attachment);
    ISC_STATUS_ARRAY status{};
    attachment->detach(status);
    if (failed(status) && !connectionLost(gdsCodes(status)))
        attachment->raise(DriverFailure::Disconnect, status);
}

void SqlConnection::fetchAll(const std::string& sql, RowSink& sink, Outcome outcome)
{
    open();
    try {
        // The statement is dropped before the transaction ends; the work is
        // committed only once every row is read and the cursor closed.
        Attachment::Transaction transaction(*m_attachment, m_settings.lockTimeoutSeconds);
        {
            Attachment::Statement statement(*m_attachment, transaction, sql);
            statement.execute();
            sink.begin(statement.columns());
            if (!statement.columns().empty())
                statement.fetchAll(sink);
        }
        if (outcome == Outcome::Commit)
            transaction.commit();
    } catch (const ProgramError& e) {
        // Only the failing statement is undone; a connection that lost its
        // server says it is closed, so that the next step reconnects.
        if (connectionLost(e.database().gdsCodes))
            m_attachment.reset();
        throw;
    }
}
