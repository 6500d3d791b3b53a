// Reads the server list file named on the command line with the tool's own
// reader and says what came of it: how many entries, or the error.
//
//   server_list_bench FILE

#include "config/server_list.h"

#include <cstdio>
#include <stdexcept>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 2;
    }
    try {
        const std::vector<std::string> entries = readServerList(argv[1]);
        std::printf("entries %zu\n", entries.size());
    } catch (const std::runtime_error& error) {
        std::printf("error %s\n", error.what());
    }
    return 0;
}
