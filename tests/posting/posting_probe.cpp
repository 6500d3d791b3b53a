// Connects and runs one statement in a process of its own, for the cases
// that depend on how the client library was set up when it first loaded
// (its root folder, its lock folder). Prints "rows N" or the error text.
// Usage: posting_probe DATABASE USER PASSWORD [STATEMENT]
#include "posting/sql_connection.h"

#include <cstdio>
#include <exception>

namespace {

class Counter : public RowSink {
public:
    int rows = 0;
    void begin(const std::vector<Column>&) override {}
    void row(const ColumnValue*) override { ++rows; }
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: posting_probe DATABASE USER PASSWORD [STATEMENT]\n");
        return 2;
    }
    SqlConnection connection;
    connection.settings().database = argv[1];
    connection.settings().user = argv[2];
    connection.settings().password = argv[3];
    try {
        Counter counter;
        connection.fetchAll(argc > 4 ? argv[4] : "select 1 from rdb$database", counter);
        std::printf("rows %d\n", counter.rows);
        return 0;
    } catch (const std::exception& e) {
        std::printf("%s", e.what());
        return 1;
    }
}
