#pragma once
// The server list file "SERVIDORES.cfg" of the ERP's installation directory:
// the database servers offered in the server drop-down, one per line.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::string_view kServerListFileName = "SERVIDORES.cfg";

// The longest line, in bytes before its line end; one byte more is an error.
inline constexpr std::size_t kServerLineMax = 255;

// The most entries kept. A drop-down of more servers than this cannot be used
// any more, and a file that holds more is damaged or was never a server list;
// the bound keeps the memory of any file to a few megabytes.
inline constexpr std::size_t kServerListMaxEntries = 10000;

// The file is read in pieces of this size.
inline constexpr std::size_t kServerListReadSize = 64 * 1024;

// installDir + the directory separator + "SERVIDORES.cfg", with no separator
// handling: a directory that already ends in one gets a second, an empty
// directory gives the file of that name in the root folder. The separator is
// "\" on Windows and "/" elsewhere.
std::string serverListPath(const std::string& installDir);

// The entries of a server list file whose bytes arrive in pieces of any size,
// in file order:
//   - each line end adds the bytes of its line as one entry, an empty line an
//     empty entry; no trimming, no comments, duplicates stay;
//   - LF, CR LF and a CR alone each end a line: a CR takes a directly
//     following LF with it, and nothing else, also when the two arrive in
//     different pieces;
//   - a NUL ends the entry's text, but the rest of its line still counts
//     towards the line's length;
//   - bytes after the last line end are no entry;
//   - the 256th byte of a line throws ProgramError("Range check error")
//     at once, so that the caller stops reading there and offers nothing, not
//     even the lines before it;
//   - only the first kServerListMaxEntries entries are kept. The lines after
//     them are still read and checked, so that an overlong line further down
//     fails the file exactly as it would in a shorter one; the kept entries
//     are the file's first ones, in order, the first one still the one shown.
class ServerListParser {
public:
    void feed(std::string_view bytes);
    // The entries; a last line without its line end is dropped.
    std::vector<std::string> finish() &&;

private:
    void endLine();

    std::vector<std::string> m_entries;
    std::array<char, kServerLineMax> m_text{}; // the line's bytes up to its first NUL
    std::size_t m_textLength = 0;
    std::size_t m_lineLength = 0; // every byte of the line, NULs and what follows them included
    bool m_cut = false;           // a NUL has ended the line's text
    bool m_afterCr = false;       // the last piece ended in a CR: a first LF goes with it
};

// The entries of a server list file's bytes held whole in memory.
std::vector<std::string> parseServerList(std::string_view bytes);

// The entries of the server list file at `path` (on Windows a Windows-1252
// path, whatever the system's code page), parsed while it is read in
// pieces of kServerListReadSize, so that any file costs the same bounded
// memory. The file is held without sharing while it is read: on Windows
// opened with share mode 0; elsewhere with a non-blocking exclusive flock, so
// that a writer that takes the lock cannot change the file under the reading.
// A file that does not exist, is not a regular file, cannot be read or is held
// by another gives an empty list and no message. The "Range check error"
// passes to the caller; the reading stops at the byte that caused it. The
// file is closed on every path.
std::vector<std::string> readServerList(const std::string& path);
