// The least a program can do to hold the rows of the posting procedure's
// shape: the client library's own calls, the ones the tool's data-access
// layer makes and in the same order (attach, start a read-committed
// transaction, prepare, execute, fetch to the end, close, commit, detach),
// each row copied into a fixed struct appended to one vector. What fetch_bench
// takes beyond this is the price of the tool's own layer.
//
//   fetch_bare DATABASE USER PASSWORD STATEMENT
//
// The statement must give ID, PREF, NUMERO, ESTADO, IDI, IDC in that order
// (integer, text of up to 4, 6 and 20 bytes, integer, integer). Prints the rows
// read and the resident memory right after the fetch (KiB) to standard error,
// as fetch_bench does.

#include <ibase.h>

#include <dlfcn.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Row {
    std::int32_t id;
    std::int32_t idi;
    std::int32_t idc;
    std::uint8_t nulls;  // one bit per column, in column order
    std::uint8_t prefLength;
    std::uint8_t numeroLength;
    std::uint8_t estadoLength;
    char pref[4];
    char numero[6];
    char estado[20];
};

struct Client {
    decltype(&isc_attach_database) attach;
    decltype(&isc_detach_database) detach;
    decltype(&isc_start_multiple) start;
    decltype(&isc_commit_transaction) commit;
    decltype(&isc_dsql_allocate_statement) allocate;
    decltype(&isc_dsql_prepare) prepare;
    decltype(&isc_dsql_execute) execute;
    decltype(&isc_dsql_fetch) fetch;
    decltype(&isc_dsql_free_statement) free;
    decltype(&isc_print_status) print;
};

template <typename T>
bool resolve(void* library, const char* name, T& entry)
{
    entry = reinterpret_cast<T>(dlsym(library, name));
    if (!entry)
        std::fprintf(stderr, "fetch_bare: %s not in the client library\n", name);
    return entry != nullptr;
}

bool failed(const ISC_STATUS* status) { return status[0] == 1 && status[1] != 0; }

long residentKiB()
{
    std::ifstream statm("/proc/self/statm");
    long size = 0;
    long resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Copies a text column into a field of N bytes; false when it does not fit.
template <std::size_t N>
bool copyText(const XSQLVAR& v, char (&to)[N], std::uint8_t& length)
{
    const char* from = v.sqldata;
    std::size_t n = static_cast<std::size_t>(v.sqllen);
    if ((v.sqltype & ~1) == SQL_VARYING) {
        short declared;
        std::memcpy(&declared, v.sqldata, sizeof declared);
        from += 2;
        n = static_cast<std::size_t>(declared);
    }
    if (n > N)
        return false;
    std::memcpy(to, from, n);
    length = static_cast<std::uint8_t>(n);
    return true;
}

std::int32_t integer(const XSQLVAR& v)
{
    std::int32_t value;
    std::memcpy(&value, v.sqldata, sizeof value);
    return value;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: fetch_bare DATABASE USER PASSWORD STATEMENT\n");
        return 1;
    }
    void* library = dlopen("libfbclient.so.2", RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        std::fprintf(stderr, "fetch_bare: %s\n", dlerror());
        return 1;
    }
    Client api{};
    if (!resolve(library, "isc_attach_database", api.attach) || !resolve(library, "isc_detach_database", api.detach) ||
        !resolve(library, "isc_start_multiple", api.start) || !resolve(library, "isc_commit_transaction", api.commit) ||
        !resolve(library, "isc_dsql_allocate_statement", api.allocate) ||
        !resolve(library, "isc_dsql_prepare", api.prepare) || !resolve(library, "isc_dsql_execute", api.execute) ||
        !resolve(library, "isc_dsql_fetch", api.fetch) || !resolve(library, "isc_dsql_free_statement", api.free) ||
        !resolve(library, "isc_print_status", api.print))
        return 1;

    ISC_STATUS_ARRAY status{};
    const auto check = [&](const char* what) {
        if (!failed(status))
            return true;
        std::fprintf(stderr, "fetch_bare: %s failed\n", what);
        api.print(status);
        return false;
    };

    const std::string user = argv[2];
    const std::string password = argv[3];
    std::string dpb(1, static_cast<char>(isc_dpb_version1));
    dpb += static_cast<char>(isc_dpb_user_name);
    dpb += static_cast<char>(user.size());
    dpb += user;
    dpb += static_cast<char>(isc_dpb_password);
    dpb += static_cast<char>(password.size());
    dpb += password;
    dpb += static_cast<char>(isc_dpb_sql_dialect);
    dpb += '\1';
    dpb += '\3';
    isc_db_handle db = 0;
    const std::string database = argv[1];
    api.attach(status, static_cast<short>(database.size()), database.data(), &db, static_cast<short>(dpb.size()),
               dpb.data());
    if (!check("attach"))
        return 1;

    static const char tpb[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_read_committed, isc_tpb_rec_version,
                               isc_tpb_wait};
    struct {
        isc_db_handle* database;
        int tpbLength;
        const char* tpb;
    } teb{&db, static_cast<int>(sizeof tpb), tpb};
    isc_tr_handle transaction = 0;
    api.start(status, &transaction, 1, &teb);
    if (!check("start transaction"))
        return 1;

    isc_stmt_handle statement = 0;
    api.allocate(status, &db, &statement);
    if (!check("allocate"))
        return 1;
    constexpr short kColumns = 6;
    std::vector<char> descriptor(XSQLDA_LENGTH(kColumns));
    auto* da = reinterpret_cast<XSQLDA*>(descriptor.data());
    da->version = SQLDA_VERSION1;
    da->sqln = kColumns;
    api.prepare(status, &transaction, &statement, 0, argv[4], 3, da);
    if (!check("prepare"))
        return 1;
    static const short kinds[kColumns] = {SQL_LONG, SQL_VARYING, SQL_VARYING, SQL_VARYING, SQL_LONG, SQL_LONG};
    if (da->sqld != kColumns) {
        std::fprintf(stderr, "fetch_bare: %d columns, expected %d\n", da->sqld, kColumns);
        return 1;
    }
    std::uint64_t buffers[kColumns][4]{};
    short nullFlags[kColumns]{};
    for (short i = 0; i < kColumns; ++i) {
        XSQLVAR& v = da->sqlvar[i];
        if ((v.sqltype & ~1) != kinds[i] || v.sqllen + 2 > static_cast<short>(sizeof buffers[i])) {
            std::fprintf(stderr, "fetch_bare: column %d is not of the posting procedure's kind\n", i + 1);
            return 1;
        }
        v.sqldata = reinterpret_cast<char*>(buffers[i]);
        v.sqltype = static_cast<short>(v.sqltype | 1);
        v.sqlind = &nullFlags[i];
    }

    api.execute(status, &transaction, &statement, 1, nullptr);
    if (!check("execute"))
        return 1;
    std::vector<Row> rows;
    while (api.fetch(status, &statement, 1, da) == 0) {
        Row& row = rows.emplace_back();
        for (short i = 0; i < kColumns; ++i)
            if (nullFlags[i] < 0)
                row.nulls = static_cast<std::uint8_t>(row.nulls | 1u << i);
        row.id = integer(da->sqlvar[0]);
        row.idi = integer(da->sqlvar[4]);
        row.idc = integer(da->sqlvar[5]);
        if (!copyText(da->sqlvar[1], row.pref, row.prefLength) ||
            !copyText(da->sqlvar[2], row.numero, row.numeroLength) ||
            !copyText(da->sqlvar[3], row.estado, row.estadoLength)) {
            std::fprintf(stderr, "fetch_bare: a text longer than its column at row %zu\n", rows.size());
            return 1;
        }
    }
    if (!check("fetch"))
        return 1;
    api.free(status, &statement, DSQL_close);
    if (!check("close"))
        return 1;
    api.commit(status, &transaction);
    if (!check("commit"))
        return 1;
    api.free(status, &statement, DSQL_drop);
    api.detach(status, &db);
    if (!check("detach"))
        return 1;
    std::fprintf(stderr, "rows %zu rss_kib %ld\n", rows.size(), residentKiB());
    return 0;
}
