// The connection and its statements over the Firebird client library, loaded
// at run time: the only file that knows the client's C API.
#include "posting/firebird.h"
#include "text/format.h"

#include "text/ansi_text.h"
#include "text/client_text.h"
#include "posting/messages.h"
#include "posting/dataset.h"
#include "posting/sql_connection.h"
#include "posting/sql_error.h"

#include <ibase.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#ifdef _WIN32
#include "text/ansi_text.h"

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
        throw SqlError(formatText(msg::kUnableToLoad, {libraryText(wanted)}));
    ClientApi api;
#define CONTARDC_RESOLVE(name)                                                    \
    if (!(api.name = reinterpret_cast<decltype(api.name)>(findSymbol(lib, #name)))) \
        throw SqlError(formatText(msg::kUnableToFindProcedure, {#name}));
    CONTARDC_CLIENT_ENTRIES(CONTARDC_RESOLVE)
#undef CONTARDC_RESOLVE
    loadedChoice = wanted;
    return loaded = api;
}

bool failed(const ISC_STATUS* status) { return status[0] == 1 && status[1] != 0; }

// A failure after which the attachment is of no more use.
bool connectionLost(std::int64_t gdsCode)
{
    static const ISC_STATUS lost[] = {isc_network_error, isc_net_connect_err,    isc_net_read_err, isc_net_write_err,
                                      isc_conn_lost,     isc_lost_db_connection, isc_att_shutdown, isc_shutdown};
    return std::find(std::begin(lost), std::end(lost), gdsCode) != std::end(lost);
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

// The output descriptor of a statement and the buffers it points into.
class RowBuffers {
public:
    XSQLDA* da() { return reinterpret_cast<XSQLDA*>(m_descriptor.data()); }

    void reserve(short columns)
    {
        m_descriptor.assign(XSQLDA_LENGTH(columns) / sizeof(std::max_align_t) + 1, {});
        da()->version = SQLDA_VERSION1;
        da()->sqln = columns;
    }

    // Gives every column an 8-byte aligned place for its value (a VARCHAR's
    // 2-byte length first), and its null flag.
    std::vector<Column> bind()
    {
        std::vector<Column> columns;
        m_data.resize(static_cast<std::size_t>(da()->sqld));
        m_nulls.assign(m_data.size(), 0);
        for (std::size_t i = 0; i < m_data.size(); ++i) {
            XSQLVAR& v = da()->sqlvar[i];
            columns.push_back(describe(v));
            m_data[i].assign((static_cast<std::size_t>(v.sqllen) + 2 + 7) / 8, 0);
            v.sqldata = reinterpret_cast<char*>(m_data[i].data());
            v.sqltype = static_cast<short>(v.sqltype | 1);
            v.sqlind = &m_nulls[i];
        }
        return columns;
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

private:
    std::vector<std::max_align_t> m_descriptor;
    std::vector<std::vector<std::uint64_t>> m_data;
    std::vector<short> m_nulls;
};

// Runs on every way out of a scope.
template <typename F>
struct Finally {
    F f;
    ~Finally() { f(); }
};

constexpr unsigned short kDialect = 3;

}  // namespace

std::string clientLibraryName()
{
    return libraryText(wantedLibrary());
}

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

// One attachment, from its attach to its quiet detach at the end of its life.
struct SqlConnection::Attachment {
    explicit Attachment(std::string& previous) : api(loadedApi()), lastError(previous) {}
    ~Attachment() { detach(nullptr); }
    Attachment(const Attachment&) = delete;
    Attachment& operator=(const Attachment&) = delete;

    const ClientApi api;
    std::string& lastError;
    isc_db_handle db = 0;

    // The one place a failure becomes an exception: every line the client
    // interprets from the status, its SQLCODE and first GDS code. A failure
    // without any text repeats the previous error.
    [[noreturn]] void raise(DriverFailure failure, const ISC_STATUS* status = nullptr)
    {
        std::vector<std::string> lines;
        char line[1024];
        // The client writes in its own encoding (the locale's on Linux, where
        // a file name in the text is UTF-8); the program's texts are Windows-1252.
        for (const ISC_STATUS* cursor = status; status && api.fb_interpret(line, sizeof line, &cursor) > 0;)
            lines.emplace_back(utf16ToAnsi(fromClientText(line)));
        SqlError error(static_cast<int>(failure), std::move(lines), status ? api.isc_sqlcode(status) : 0,
                       status ? status[1] : 0, lastError);
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

    void runInOwnTransaction(const std::string& sql, RowSink& sink)
    {
        // Read committed, seeing the latest committed version of a row, and
        // waiting for a concurrent writer rather than failing at once.
        static const char tpb[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_read_committed, isc_tpb_rec_version,
                                   isc_tpb_wait};
        struct {
            isc_db_handle* database;
            int tpbLength;
            const char* tpb;
        } teb{&db, static_cast<int>(sizeof tpb), tpb};
        ISC_STATUS_ARRAY status{}, ignored{};
        isc_tr_handle transaction = 0;
        isc_stmt_handle statement = 0;
        api.isc_start_multiple(status, &transaction, 1, &teb);
        check(status, DriverFailure::StartTransaction);
        // On any failure the statement is dropped, then the transaction rolls back.
        Finally rollback{[&] { transaction && api.isc_rollback_transaction(ignored, &transaction); }};
        Finally drop{[&] { statement && api.isc_dsql_free_statement(ignored, &statement, DSQL_drop); }};

        api.isc_dsql_allocate_statement(status, &db, &statement);
        check(status, DriverFailure::Prepare);
        RowBuffers out;
        out.reserve(20);
        api.isc_dsql_prepare(status, &transaction, &statement, 0, sql.c_str(), kDialect, out.da());
        check(status, DriverFailure::Prepare);
        if (out.da()->sqld > out.da()->sqln) {
            out.reserve(out.da()->sqld);
            api.isc_dsql_describe(status, &statement, 1, out.da());
            check(status, DriverFailure::Prepare);
        }
        const std::vector<Column> columns = out.bind();
        api.isc_dsql_execute(status, &transaction, &statement, 1, nullptr);
        check(status, DriverFailure::Execute);
        sink.begin(columns);
        if (!columns.empty()) {
            // A selectable procedure does its work while its rows are
            // fetched: read to the end, close the cursor, and only then commit.
            std::vector<ColumnValue> values(columns.size());
            while (api.isc_dsql_fetch(status, &statement, 1, out.da()) == 0) {
                out.read(values);
                sink.row(values.data());
            }
            check(status, DriverFailure::Fetch);
            api.isc_dsql_free_statement(status, &statement, DSQL_close);
            check(status, DriverFailure::Fetch);
        }
        api.isc_commit_transaction(status, &transaction);
        check(status, DriverFailure::Commit);
    }
};

SqlConnection::SqlConnection(std::string name) : m_name(std::move(name)) {}

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
    if (failed(status) && !connectionLost(status[1]))
        attachment->raise(DriverFailure::Disconnect, status);
}

void SqlConnection::fetchAll(const std::string& sql, RowSink& sink)
{
    open();
    try {
        m_attachment->runInOwnTransaction(sql, sink);
    } catch (const SqlError& e) {
        // Only the failing statement is undone; a connection that lost its
        // server says it is closed, so that the next step reconnects.
        if (connectionLost(e.gdsCode))
            m_attachment.reset();
        throw;
    }
}
