#include "posting/firebird.h"

#include "posting/messages.h"
#include "posting/sql_error.h"

#include <ibase.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string_view>
#include <vector>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

// Entry points, resolved by name from whichever client library was loaded.
struct ClientApi {
    decltype(&isc_attach_database) attach_database = nullptr;
    decltype(&isc_detach_database) detach_database = nullptr;
    decltype(&isc_database_info) database_info = nullptr;
    decltype(&isc_start_multiple) start_multiple = nullptr;
    decltype(&isc_commit_transaction) commit_transaction = nullptr;
    decltype(&isc_rollback_transaction) rollback_transaction = nullptr;
    decltype(&isc_dsql_allocate_statement) dsql_allocate_statement = nullptr;
    decltype(&isc_dsql_prepare) dsql_prepare = nullptr;
    decltype(&isc_dsql_describe) dsql_describe = nullptr;
    decltype(&isc_dsql_sql_info) dsql_sql_info = nullptr;
    decltype(&isc_dsql_execute) dsql_execute = nullptr;
    decltype(&isc_dsql_execute2) dsql_execute2 = nullptr;
    decltype(&isc_dsql_fetch) dsql_fetch = nullptr;
    decltype(&isc_dsql_free_statement) dsql_free_statement = nullptr;
    decltype(&fb_interpret) interpret = nullptr;
    decltype(&isc_sqlcode) sqlcode = nullptr;
};

#ifdef _WIN32
using LibraryHandle = HMODULE;
LibraryHandle openLibrary(const std::string& name) { return LoadLibraryA(name.c_str()); }
void* findSymbol(LibraryHandle lib, const char* name)
{
    return reinterpret_cast<void*>(GetProcAddress(lib, name));
}
#else
using LibraryHandle = void*;
LibraryHandle openLibrary(const std::string& name) { return dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL); }
void* findSymbol(LibraryHandle lib, const char* name) { return dlsym(lib, name); }
#endif

template <typename Fn>
void resolve(LibraryHandle lib, Fn& fn, const char* name)
{
    void* symbol = findSymbol(lib, name);
    if (!symbol)
        throw SqlError(msg::format(msg::kUnableToFindProcedure, {name}));
    fn = reinterpret_cast<Fn>(symbol);
}

// The client library is never unloaded: it keeps threads and exit handlers
// of its own, and unloading it under them ends the process badly.
std::mutex g_libraryMutex;
std::map<std::string, ClientApi> g_loaded;
const ClientApi* g_api = nullptr;

const ClientApi& api()
{
    std::lock_guard lock(g_libraryMutex);
    const std::string wanted = clientLibraryName();
    if (auto it = g_loaded.find(wanted); it != g_loaded.end())
        return *(g_api = &it->second);

    std::vector<std::string> candidates{wanted};
#ifdef _WIN32
    if (const char* env = std::getenv("LEDGARA_FBCLIENT"); !env || !*env)
        candidates.push_back("gds32.dll");
#endif
    LibraryHandle lib{};
    for (const auto& name : candidates)
        if ((lib = openLibrary(name)))
            break;
    if (!lib)
        throw SqlError(msg::format(msg::kUnableToLoad, {wanted}));

    ClientApi a;
    resolve(lib, a.attach_database, "isc_attach_database");
    resolve(lib, a.detach_database, "isc_detach_database");
    resolve(lib, a.database_info, "isc_database_info");
    resolve(lib, a.start_multiple, "isc_start_multiple");
    resolve(lib, a.commit_transaction, "isc_commit_transaction");
    resolve(lib, a.rollback_transaction, "isc_rollback_transaction");
    resolve(lib, a.dsql_allocate_statement, "isc_dsql_allocate_statement");
    resolve(lib, a.dsql_prepare, "isc_dsql_prepare");
    resolve(lib, a.dsql_describe, "isc_dsql_describe");
    resolve(lib, a.dsql_sql_info, "isc_dsql_sql_info");
    resolve(lib, a.dsql_execute, "isc_dsql_execute");
    resolve(lib, a.dsql_execute2, "isc_dsql_execute2");
    resolve(lib, a.dsql_fetch, "isc_dsql_fetch");
    resolve(lib, a.dsql_free_statement, "isc_dsql_free_statement");
    resolve(lib, a.interpret, "fb_interpret");
    resolve(lib, a.sqlcode, "isc_sqlcode");
    return *(g_api = &g_loaded.emplace(wanted, a).first->second);
}

bool failed(const ISC_STATUS* status) { return status[0] == 1 && status[1] != 0; }

// The one place a client status becomes an exception: every line the client
// interprets, the SQLCODE and the first GDS code.
[[noreturn]] void raise(const ISC_STATUS* status, DriverFailure context)
{
    const ClientApi& a = *g_api;
    std::vector<std::string> lines;
    const ISC_STATUS* cursor = status;
    char buffer[1024];
    while (a.interpret(buffer, sizeof buffer, &cursor) > 0)
        lines.emplace_back(buffer);
    throw SqlError(static_cast<int>(context), std::move(lines), static_cast<std::int32_t>(a.sqlcode(status)),
                   static_cast<std::int64_t>(status[1]));
}

void check(const ISC_STATUS* status, DriverFailure context)
{
    if (failed(status))
        raise(status, context);
}

// GDS codes after which the attachment is of no more use.
bool connectionLost(std::int64_t gds)
{
    switch (gds) {
    case isc_network_error:
    case isc_net_connect_err:
    case isc_net_read_err:
    case isc_net_write_err:
    case isc_conn_lost:
    case isc_lost_db_connection:
    case isc_att_shutdown:
    case isc_shutdown:
        return true;
    default:
        return false;
    }
}

class Transaction {
public:
    Transaction(const ClientApi& a, isc_db_handle* db) : m_api(a)
    {
        // Read committed, seeing the latest committed version of a row, and
        // waiting for a concurrent writer rather than failing at once.
        static const char tpb[] = {isc_tpb_version3, isc_tpb_write,    isc_tpb_read_committed,
                                   isc_tpb_rec_version, isc_tpb_wait};
        struct Teb {
            isc_db_handle* database;
            int tpbLength;
            const char* tpb;
        } teb{db, static_cast<int>(sizeof tpb), tpb};
        ISC_STATUS_ARRAY status{};
        m_api.start_multiple(status, &m_handle, 1, &teb);
        check(status, DriverFailure::StartTransaction);
    }
    ~Transaction()
    {
        if (m_handle) {
            ISC_STATUS_ARRAY status{};
            m_api.rollback_transaction(status, &m_handle);
        }
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void commit()
    {
        ISC_STATUS_ARRAY status{};
        m_api.commit_transaction(status, &m_handle);
        check(status, DriverFailure::Commit);
    }
    isc_tr_handle* handle() { return &m_handle; }

private:
    const ClientApi& m_api;
    isc_tr_handle m_handle = 0;
};

// Output descriptor and the buffers it points into.
class RowBuffer {
public:
    explicit RowBuffer(short columns) { resize(columns); }

    XSQLDA* sqlda() { return reinterpret_cast<XSQLDA*>(m_sqlda.data()); }

    void resize(short columns)
    {
        const short n = std::max<short>(columns, 1);
        m_sqlda.assign((XSQLDA_LENGTH(n) + sizeof(std::max_align_t) - 1) / sizeof(std::max_align_t), {});
        sqlda()->version = SQLDA_VERSION1;
        sqlda()->sqln = n;
    }

    // Gives every column a place for its value and its null flag.
    void bind()
    {
        XSQLDA* da = sqlda();
        std::size_t size = 0;
        std::vector<std::size_t> offsets;
        for (short i = 0; i < da->sqld; ++i) {
            XSQLVAR& v = da->sqlvar[i];
            std::size_t bytes = static_cast<std::size_t>(v.sqllen);
            if ((v.sqltype & ~1) == SQL_VARYING)
                bytes += sizeof(short);
            size = (size + 7) & ~std::size_t{7};
            offsets.push_back(size);
            size += bytes;
        }
        m_data.assign(size / sizeof(std::max_align_t) + 1, {});
        m_nulls.assign(static_cast<std::size_t>(std::max<short>(da->sqld, 1)), 0);
        auto* base = reinterpret_cast<char*>(m_data.data());
        for (short i = 0; i < da->sqld; ++i) {
            XSQLVAR& v = da->sqlvar[i];
            v.sqldata = base + offsets[static_cast<std::size_t>(i)];
            v.sqltype = static_cast<short>(v.sqltype | 1);  // always ask for the null flag
            v.sqlind = &m_nulls[static_cast<std::size_t>(i)];
        }
    }

private:
    std::vector<std::max_align_t> m_sqlda;
    std::vector<std::max_align_t> m_data;
    std::vector<short> m_nulls;
};

class Statement {
public:
    Statement(const ClientApi& a, isc_db_handle* db) : m_api(a)
    {
        ISC_STATUS_ARRAY status{};
        m_api.dsql_allocate_statement(status, db, &m_handle);
        check(status, DriverFailure::Prepare);
    }
    ~Statement()
    {
        if (m_handle) {
            ISC_STATUS_ARRAY status{};
            m_api.dsql_free_statement(status, &m_handle, DSQL_drop);
        }
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    isc_stmt_handle* handle() { return &m_handle; }

    void closeCursor()
    {
        ISC_STATUS_ARRAY status{};
        m_api.dsql_free_statement(status, &m_handle, DSQL_close);
        check(status, DriverFailure::Fetch);
    }

    int type()
    {
        const char item = isc_info_sql_stmt_type;
        char buffer[16]{};
        ISC_STATUS_ARRAY status{};
        m_api.dsql_sql_info(status, &m_handle, 1, &item, sizeof buffer, buffer);
        check(status, DriverFailure::Prepare);
        if (buffer[0] != isc_info_sql_stmt_type)
            return 0;
        const int length = static_cast<unsigned char>(buffer[1]) | static_cast<unsigned char>(buffer[2]) << 8;
        int value = 0;
        for (int i = 0; i < length && i < 4; ++i)
            value |= static_cast<unsigned char>(buffer[3 + i]) << (8 * i);
        return value;
    }

private:
    const ClientApi& m_api;
    isc_stmt_handle m_handle = 0;
};

int bytesPerCharacter(int charset)
{
    switch (charset) {
    case 3: return 3;                                   // UNICODE_FSS
    case 4: case 69: return 4;                          // UTF8, GB18030
    case 5: case 6: case 44: case 56: case 57: case 64: case 67: case 68: return 2;  // East Asian double-byte sets
    default: return 1;
    }
}

Column describe(const XSQLVAR& v)
{
    Column c;
    c.name.assign(v.aliasname, static_cast<std::size_t>(std::clamp<short>(v.aliasname_length, 0, 31)));
    if (c.name.empty())
        c.name.assign(v.sqlname, static_cast<std::size_t>(std::clamp<short>(v.sqlname_length, 0, 31)));
    c.length = v.sqllen;
    c.scale = v.sqlscale;
    switch (v.sqltype & ~1) {
    case SQL_SHORT: c.kind = v.sqlscale < 0 ? ColumnKind::Numeric : ColumnKind::SmallInt; break;
    case SQL_LONG: c.kind = v.sqlscale < 0 ? ColumnKind::Numeric : ColumnKind::Integer; break;
    case SQL_INT64: c.kind = v.sqlscale < 0 ? ColumnKind::Numeric : ColumnKind::BigInt; break;
    case SQL_TEXT:
    case SQL_VARYING:
        c.kind = (v.sqltype & ~1) == SQL_TEXT ? ColumnKind::Char : ColumnKind::VarChar;
        c.length = v.sqllen / bytesPerCharacter(v.sqlsubtype & 0xFF);
        break;
    case SQL_FLOAT: c.kind = ColumnKind::Float; break;
    case SQL_DOUBLE:
    case SQL_D_FLOAT: c.kind = ColumnKind::Double; break;
    case SQL_TYPE_DATE: c.kind = ColumnKind::Date; break;
    case SQL_TYPE_TIME: c.kind = ColumnKind::Time; break;
    case SQL_TIMESTAMP: c.kind = ColumnKind::Timestamp; break;
    case SQL_BLOB: c.kind = ColumnKind::Blob; break;
    case SQL_BOOLEAN: c.kind = ColumnKind::Boolean; break;
    default: c.kind = ColumnKind::Other; break;
    }
    return c;
}

// Days since 17 November 1858 to a civil date (the proleptic Gregorian calendar).
void civilFromDays(std::int64_t mjd, int& year, int& month, int& day)
{
    std::int64_t z = mjd + 678881;  // days since 0000-03-01
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

std::string dateText(ISC_DATE date)
{
    int y = 0, m = 0, d = 0;
    civilFromDays(date, y, m, d);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d/%02d/%02d", y, m, d);
    return buffer;
}

std::string timeText(ISC_TIME time)
{
    const unsigned seconds = time / 10000;
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02u:%02u:%02u", seconds / 3600, seconds / 60 % 60, seconds % 60);
    return buffer;
}

template <typename T>
T load(const char* p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Turns the fetched buffers into values; texts point into the buffers or
// into scratch strings that live until the next row.
void convert(const XSQLDA* da, std::vector<ColumnValue>& values, std::vector<std::string>& scratch)
{
    for (short i = 0; i < da->sqld; ++i) {
        const XSQLVAR& v = da->sqlvar[i];
        ColumnValue& out = values[static_cast<std::size_t>(i)];
        out = ColumnValue{};
        out.isNull = *v.sqlind < 0;
        if (out.isNull)
            continue;
        const char* p = v.sqldata;
        std::string& text = scratch[static_cast<std::size_t>(i)];
        switch (v.sqltype & ~1) {
        case SQL_SHORT: out.integer = load<ISC_SHORT>(p); break;
        case SQL_LONG: out.integer = load<ISC_LONG>(p); break;
        case SQL_INT64: out.integer = load<ISC_INT64>(p); break;
        case SQL_BOOLEAN: out.integer = load<FB_BOOLEAN>(p) ? 1 : 0; break;
        case SQL_FLOAT: out.real = load<float>(p); break;
        case SQL_DOUBLE:
        case SQL_D_FLOAT: out.real = load<double>(p); break;
        case SQL_TEXT: out.text = std::string_view(p, static_cast<std::size_t>(v.sqllen)); break;
        case SQL_VARYING: {
            const auto length = std::clamp<short>(load<short>(p), 0, v.sqllen);
            out.text = std::string_view(p + sizeof(short), static_cast<std::size_t>(length));
            break;
        }
        case SQL_TYPE_DATE:
            text = dateText(load<ISC_DATE>(p));
            out.text = text;
            break;
        case SQL_TYPE_TIME:
            text = timeText(load<ISC_TIME>(p));
            out.text = text;
            break;
        case SQL_TIMESTAMP: {
            const auto ts = load<ISC_TIMESTAMP>(p);
            text = dateText(ts.timestamp_date) + " " + timeText(ts.timestamp_time);
            out.text = text;
            break;
        }
        default:
            break;  // blobs and other kinds carry no value the sets can hold
        }
    }
}

void appendItem(std::string& dpb, char item, std::string_view value)
{
    if (value.size() > 255)
        throw SqlError(static_cast<int>(DriverFailure::ParameterTooLong), {}, 0, 0);
    dpb += item;
    dpb += static_cast<char>(value.size());
    dpb.append(value);
}

}  // namespace

std::string clientLibraryName()
{
    if (const char* env = std::getenv("LEDGARA_FBCLIENT"); env && *env)
        return env;
#ifdef _WIN32
    return "fbclient.dll";
#else
    return "libfbclient.so.2";
#endif
}

void loadClientLibrary() { api(); }

bool isLocalPath(const std::string& database)
{
    // "host:path", "host/port:path", "inet://host/path", "\\host\path": a
    // server is named. A drive letter ("C:\...") is not a host.
    if (database.rfind("\\\\", 0) == 0 || database.rfind("[", 0) == 0 ||
        database.find("://") != std::string::npos)
        return false;
    std::size_t colon = database.find(':');
    if (colon == std::string::npos)
        return true;
#ifdef _WIN32
    if (colon == 1 && std::isalpha(static_cast<unsigned char>(database[0])))
        return true;
#endif
    // A colon after the first slash belongs to the path, not to a host.
    std::size_t slash = database.find_first_of("/\\");
    if (slash != std::string::npos && slash < colon) {
        std::string_view host(database.data(), slash);
        std::string_view port(database.data() + slash + 1, colon - slash - 1);
        // "host/port:path" names a server; "/some/dir:x" does not.
        return host.empty() || port.empty() || port.find_first_of("/\\") != std::string_view::npos;
    }
    return colon == 0;
}

struct FirebirdAttachment::Handles {
    const ClientApi* api = nullptr;
    isc_db_handle db = 0;
    unsigned short dialect = 3;
};

FirebirdAttachment::FirebirdAttachment(std::unique_ptr<Handles> handles) : m(std::move(handles)) {}

FirebirdAttachment::~FirebirdAttachment()
{
    if (m && m->db) {
        ISC_STATUS_ARRAY status{};
        m->api->detach_database(status, &m->db);
    }
}

std::unique_ptr<FirebirdAttachment> FirebirdAttachment::attach(const AttachSettings& settings)
{
    const ClientApi& a = api();
    if (settings.database.size() > 4096)
        throw SqlError(static_cast<int>(DriverFailure::ParameterTooLong), {}, 0, 0);

    std::string dpb(1, static_cast<char>(isc_dpb_version1));
    appendItem(dpb, isc_dpb_user_name, settings.user);
    appendItem(dpb, isc_dpb_password, settings.password);
    if (!settings.role.empty())
        appendItem(dpb, isc_dpb_sql_role_name, settings.role);
    dpb += static_cast<char>(isc_dpb_sql_dialect);
    dpb += static_cast<char>(1);
    dpb += static_cast<char>(settings.dialect);

    // Which providers open a path without a host (the embedded engine, a
    // server on this machine) and in what order is the client's own
    // configuration: Firebird 3 names its engine Engine12, 4 and 5 Engine13.
    const bool local = isLocalPath(settings.database);

    auto handles = std::make_unique<Handles>();
    handles->api = &a;
    handles->dialect = static_cast<unsigned short>(settings.dialect);
    ISC_STATUS_ARRAY status{};
    a.attach_database(status, static_cast<short>(settings.database.size()), settings.database.data(),
                      &handles->db, static_cast<short>(dpb.size()), dpb.data());
    if (failed(status)) {
        handles->db = 0;
        try {
            raise(status, DriverFailure::Connect);
        } catch (const SqlError& e) {
            if (local && (e.gdsCode() == isc_unavailable || e.gdsCode() == isc_network_error ||
                          e.gdsCode() == isc_net_connect_err))
                throw SqlError(static_cast<int>(DriverFailure::EmbeddedEngine), e.serverLines(), e.sqlCode(),
                               e.gdsCode());
            throw;
        }
    }
    return std::unique_ptr<FirebirdAttachment>(new FirebirdAttachment(std::move(handles)));
}

void FirebirdAttachment::detach()
{
    if (!m->db)
        return;
    ISC_STATUS_ARRAY status{};
    m->api->detach_database(status, &m->db);
    if (failed(status)) {
        const bool gone = connectionLost(status[1]);
        m->db = 0;  // the handle is of no more use whatever the outcome
        if (!gone)
            raise(status, DriverFailure::Disconnect);
    }
}

bool FirebirdAttachment::alive()
{
    if (!m->db)
        return false;
    const char item = isc_info_attachment_id;
    char buffer[32]{};
    ISC_STATUS_ARRAY status{};
    m->api->database_info(status, &m->db, 1, &item, sizeof buffer, buffer);
    if (failed(status) && connectionLost(status[1])) {
        ISC_STATUS_ARRAY ignored{};
        m->api->detach_database(ignored, &m->db);
        m->db = 0;
        return false;
    }
    return true;
}

void FirebirdAttachment::fetchAll(const std::string& sql, RowSink& sink)
{
    const ClientApi& a = *m->api;
    // Declared in this order so that on any failure the statement is dropped
    // before the transaction rolls back.
    Transaction transaction(a, &m->db);
    Statement statement(a, &m->db);

    RowBuffer out(20);
    ISC_STATUS_ARRAY status{};
    a.dsql_prepare(status, transaction.handle(), statement.handle(), 0, sql.c_str(), m->dialect, out.sqlda());
    check(status, DriverFailure::Prepare);
    if (out.sqlda()->sqld > out.sqlda()->sqln) {
        out.resize(out.sqlda()->sqld);
        a.dsql_describe(status, statement.handle(), 1, out.sqlda());
        check(status, DriverFailure::Prepare);
    }
    out.bind();

    const XSQLDA* da = out.sqlda();
    std::vector<Column> columns;
    for (short i = 0; i < da->sqld; ++i)
        columns.push_back(describe(da->sqlvar[i]));
    std::vector<ColumnValue> values(columns.size());
    std::vector<std::string> scratch(columns.size());

    const int type = statement.type();
    if (type == isc_info_sql_stmt_select || type == isc_info_sql_stmt_select_for_upd) {
        a.dsql_execute(status, transaction.handle(), statement.handle(), 1, nullptr);
        check(status, DriverFailure::Execute);
        sink.begin(columns);
        // A selectable procedure does its work while its rows are fetched:
        // read to the end, close the cursor, and only then commit.
        for (;;) {
            const ISC_STATUS rc = a.dsql_fetch(status, statement.handle(), 1, out.sqlda());
            if (rc == 100)
                break;
            check(status, DriverFailure::Fetch);
            convert(da, values, scratch);
            sink.row(values.data());
        }
        statement.closeCursor();
    } else {
        a.dsql_execute2(status, transaction.handle(), statement.handle(), 1, nullptr,
                        da->sqld > 0 ? out.sqlda() : nullptr);
        check(status, DriverFailure::Execute);
        sink.begin(columns);
        if (da->sqld > 0) {
            convert(da, values, scratch);
            sink.row(values.data());
        }
    }
    transaction.commit();
}
