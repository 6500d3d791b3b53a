// Looks up the ERP's installation directory in the registry export file named
// on the command line with the tool's own reader and says what came of it:
// the directory's length, the key's absence, or the error.
//
//   reg_file_bench FILE

#include "config/install_dir.h"
#include "config/reg_file_registry.h"

#include <cstdio>
#include <stdexcept>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 2;
    }
    try {
        const std::unique_ptr<Registry> registry = regFileRegistry(argv[1]);
        bool absent = false;
        const std::string directory = lookupInstallDir(*registry, [&](const std::string&) { absent = true; });
        if (absent)
            std::printf("key absent\n");
        else
            std::printf("directory of %zu bytes\n", directory.size());
    } catch (const std::runtime_error& error) {
        // The message names the file; only what follows it is of interest here.
        const std::string text = error.what();
        const std::size_t line = text.find(", l");
        std::printf("error%s\n", line == std::string::npos ? (" " + text).c_str() : text.substr(line + 1).c_str());
    }
    return 0;
}
