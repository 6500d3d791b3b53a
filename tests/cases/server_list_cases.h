#pragma once
// Cases for reading the server list file's bytes. Plain C++ (no Qt), so that
// a console test program for Windows can run the same table.

#include "config/server_list.h"

#include <string>
#include <vector>

namespace cases {

inline const std::string kRangeCheckError = "Range check error";

struct ServerListCase {
    const char* name;
    std::string bytes;
    std::vector<std::string> entries; // when no error
    bool rangeError;                  // "Range check error" and no entries at all
};

inline std::string repeated(std::size_t count, char c = 'x') { return std::string(count, c); }

// "srv0", "srv1", ...
inline std::vector<std::string> numberedEntries(std::size_t count)
{
    std::vector<std::string> entries;
    for (std::size_t i = 0; i < count; ++i)
        entries.push_back("srv" + std::to_string(i));
    return entries;
}

// The same, each ended by CR LF.
inline std::string numberedLines(std::size_t count)
{
    std::string bytes;
    for (const std::string& entry : numberedEntries(count))
        bytes += entry + "\r\n";
    return bytes;
}

inline const std::vector<ServerListCase> kServerListCases = {
    {"two lines ended by CR LF", "A\r\nB\r\n", {"A", "B"}, false},
    {"last line without a line end is dropped", "A\r\nB", {"A"}, false},
    {"lines ended by LF alone", "A\nB\n", {"A", "B"}, false},
    {"CR alone ends the line and keeps the next one whole", "srv1\rsrv2\r\n", {"srv1", "srv2"}, false},
    {"CR alone before an empty line end", "A\r\r\n", {"A", ""}, false},
    {"CR LF then LF gives an empty entry", "A\r\n\n", {"A", ""}, false},
    {"LF then CR gives an empty entry", "A\n\rB\r\n", {"A", "", "B"}, false},
    {"NUL right after a CR alone cuts the next entry", std::string("A\r\0B\r\n", 7), {"A", ""}, false},
    {"the byte after a CR alone counts towards the next line", "A\r" + repeated(256) + "\r\n", {}, true},
    {"line of 255 bytes after a CR alone", "A\r" + repeated(255) + "\r\n", {"A", repeated(255)}, false},
    {"file ending in a CR", "A\r\nB\r", {"A", "B"}, false},
    {"file of a single CR", "\r", {""}, false},
    {"empty first line", "\r\nA\r\n", {"", "A"}, false},
    {"leading and trailing blanks stay", "  srv1 \t\r\n", {"  srv1 \t"}, false},
    {"duplicates stay in file order", "B\r\nA\r\nB\r\n", {"B", "A", "B"}, false},
    {"NUL after the first byte", std::string("A\0BC\r\nD\r\n", 9), {"A", "D"}, false},
    {"NUL at the start", std::string("\0A\r\n", 4), {""}, false},
    {"byte-order mark is part of the first entry", "\xEF\xBB\xBFsrv\r\n", {"\xEF\xBB\xBFsrv"}, false},
    {"bytes 0x80-0xFF stay", "Servidor Aplicaci\xF3n\r\n", {"Servidor Aplicaci\xF3n"}, false},
    {"empty file", "", {}, false},
    {"no line end at all", "srv1", {}, false},
    {"line of 255 bytes", repeated(255) + "\r\n", {repeated(255)}, false},
    {"line of 255 bytes ended by CR alone", repeated(255) + "\rB\r\n", {repeated(255), "B"}, false},
    {"two lines of 255 bytes: the count starts again", repeated(255) + "\n" + repeated(255, 'y') + "\n",
     {repeated(255), repeated(255, 'y')}, false},
    {"line of 255 bytes without a line end", repeated(255), {}, false},
    {"line of 256 bytes", repeated(256) + "\r\n", {}, true},
    {"line of 256 bytes without a line end", "A\r\n" + repeated(256), {}, true},
    {"line of 300 bytes after a good line", "A\r\n" + repeated(300) + "\r\n", {}, true},
    {"NUL bytes count towards the length", "A" + std::string(254, '\0') + "B\r\n", {}, true},
    {"NUL bytes within the length", "A" + std::string(254, '\0') + "\r\n", {"A"}, false},
    {"entries past the bound are not kept", numberedLines(kServerListMaxEntries + 5),
     numberedEntries(kServerListMaxEntries), false},
    {"a long line past the bound still fails", numberedLines(kServerListMaxEntries + 5) + repeated(256) + "\n", {},
     true},
};

inline const std::string kSeparator =
#ifdef _WIN32
    "\\";
#else
    "/";
#endif

} // namespace cases
