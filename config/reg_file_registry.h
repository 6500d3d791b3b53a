#pragma once
// HKEY_LOCAL_MACHINE read from a registry export file: the text format that
// the Windows registry editor writes ("Export") and reads, which the people
// who install the ERP already know.
//
// Accepted:
//   - a first line "Windows Registry Editor Version 5.00" or "REGEDIT4";
//   - the file as UTF-16LE with its byte-order mark (what the registry editor
//     writes), as UTF-8 with its byte-order mark, or without a mark as 8-bit
//     bytes taken as they stand;
//   - CR LF, CR CR LF or LF line ends, blank lines, comment lines starting
//     with ";", and a ";" comment after a key line or a value's data;
//   - key lines "[HKEY_LOCAL_MACHINE\Software\...]"; "[-...]" deletes a key
//     with its subkeys. Key and value names match regardless of ASCII letter
//     case, and a key's parents exist with it. Keys of the other hives are
//     checked and then ignored: they are not HKEY_LOCAL_MACHINE;
//   - values under the last key line, "@" naming the default value:
//       "name"="text"        REG_SZ; "\\" and "\"" are the only escapes
//       "name"=dword:0000002a REG_DWORD, up to 8 hex digits
//       "name"=hex:01,02,... REG_BINARY (no bytes at all is allowed)
//       "name"=hex(2):...    REG_EXPAND_SZ; hex(N) gives type N (hex)
//       "name"=-             deletes the value
//     A hex list continues on the next line after a "\" at the line's end.
//
// Hex data of the string types (hex(1), hex(2), hex(7)) is UTF-16LE in a
// "Version 5.00" file, since that editor stores strings as UTF-16; in a
// REGEDIT4 file the same data already is 8-bit text and stays as it is.
//
// Unicode text (a marked file, UTF-16 hex data) comes back in the encoding
// of the platform's file names, because the value read is a directory that
// becomes a path: UTF-8 off Windows, so that an accented folder name matches
// the folder; on Windows, where only the tests read an export, the program's
// code page, Windows-1252, a character outside it becoming "?": the bytes the
// program reads from the registry for the same value. Unmarked 8-bit text is
// not converted: a file written on Linux holds UTF-8 already.
//
// Anything else is an error, thrown as std::runtime_error naming the file and
// the line: a mistyped configuration must not pass for an absent one.

#include "config/registry.h"

#include <map>
#include <memory>
#include <string>
#include <string_view>

class RegFileRegistry final : public Registry {
public:
    // Parses an export held in memory; `fileNameForErrors` is the name that
    // the error messages give. Throws std::runtime_error on a malformed file.
    static RegFileRegistry fromBytes(std::string_view bytes, const std::string& fileNameForErrors);

    std::unique_ptr<RegistryKey> openLocalMachine(const std::string& subKey) override;

    // Value names and data by folded value name.
    using Values = std::map<std::string, RegistryValue>;

private:
    RegFileRegistry() = default;
    // Keys of HKEY_LOCAL_MACHINE by folded path below the hive ("" is the hive).
    std::map<std::string, Values> m_keys;

    friend class RegFileParser;
};

// A Registry over the export file at `path`. The file is read and parsed
// each time a key is opened, so a parse error reaches the lookup that opened
// the key. A file that is missing or cannot be read holds no keys.
std::unique_ptr<Registry> regFileRegistry(const std::string& path);
