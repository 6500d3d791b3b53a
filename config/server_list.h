#pragma once
// The server list file "SERVIDORES.cfg" of the ERP's installation directory:
// the database servers offered in the server drop-down, one per line.

#include <string>
#include <string_view>
#include <vector>

inline constexpr std::string_view kServerListFileName = "SERVIDORES.cfg";

// The longest line, in bytes before its line end; one byte more is an error.
inline constexpr std::size_t kServerLineMax = 255;

// installDir + the directory separator + "SERVIDORES.cfg", with no separator
// handling: a directory that already ends in one gets a second, an empty
// directory gives the file of that name in the root folder. The separator is
// "\" on Windows and "/" elsewhere.
std::string serverListPath(const std::string& installDir);

// The entries of a server list file's bytes, in file order:
//   - each line end adds the bytes of its line as one entry, an empty line an
//     empty entry; no trimming, no comments, duplicates stay;
//   - LF, CR LF and a CR alone each end a line: a CR takes a directly
//     following LF with it, and nothing else;
//   - a NUL ends the entry's text, but the rest of its line still counts
//     towards the line's length;
//   - bytes after the last line end are no entry;
//   - the 256th byte of a line throws std::runtime_error("Range check error")
//     and nothing is returned, not even the lines before it.
std::vector<std::string> parseServerList(std::string_view bytes);

// The entries of the server list file at `path` (see parseServerList), read
// while the file is held without sharing: on Windows opened with share mode
// 0; elsewhere with a non-blocking exclusive flock, so that a writer that
// takes the lock cannot change the file under the reading. A file that does
// not exist, is not a regular file, cannot be read or is held by another
// gives an empty list and no message. The "Range check error" passes to the
// caller. The file is closed on every path.
std::vector<std::string> readServerList(const std::string& path);
