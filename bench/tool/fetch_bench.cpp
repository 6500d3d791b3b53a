// Reads the rows of one statement into the receipt set CRepArticulos through
// the data-access layer, as the posting run does, and holds them until exit:
//
//   fetch_bench DATABASE USER PASSWORD STATEMENT
//
// Prints the rows read and the resident memory right after the opening
// (KiB), to standard error so that standard output stays as quiet as a
// program that formats nothing.

#include "posting/receipt_posting.h"

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
        ReceiptPosting data;
        data.reconnect(argv[1], argv[2], argv[3]);
        data.CRepArticulos.setCommandText(argv[4]);
        data.CRepArticulos.open();
        std::fprintf(stderr, "rows %zu rss_kib %ld\n", data.CRepArticulos.recordCount(), residentKiB());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "fetch_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
