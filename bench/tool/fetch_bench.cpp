// Reads the rows of one statement into a set declared as the receipt set
// CRepArticulos is, through the data-access layer, as the posting run does,
// and holds them until exit:
//
//   fetch_bench DATABASE USER PASSWORD STATEMENT
//
// Prints the rows read and the resident memory right after the opening
// (KiB), to standard error so that standard output stays as quiet as a
// program that formats nothing.

#include "posting/dataset.h"
#include "posting/sql_connection.h"

#include <cstdio>
#include <exception>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

long residentKiB()
{
    std::ifstream statm("/proc/self/statm");
    long size = 0;
    long resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: fetch_bench DATABASE USER PASSWORD STATEMENT\n");
        return 1;
    }
    try {
        SqlConnection connection;
        connection.settings().database = argv[1];
        connection.settings().user = argv[2];
        connection.settings().password = argv[3];
        ClientDataSet set;
        set.setProvider([&](const std::string& sql, RowSink& rows) { connection.fetchAll(sql, rows); });
        set.declareField("ID", FieldKind::Integer);
        set.declareField("PREF", FieldKind::String, 4);
        set.declareField("NUMERO", FieldKind::String, 6);
        set.declareField("ESTADO", FieldKind::String, 20);
        set.declareField("IDI", FieldKind::Integer);
        set.declareField("IDC", FieldKind::Integer);
        set.setCommandText(argv[4]);
        set.open();
        std::fprintf(stderr, "rows %zu rss_kib %ld\n", set.recordCount(), residentKiB());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "fetch_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
