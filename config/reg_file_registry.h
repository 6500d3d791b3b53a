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
// Anything else is an error, thrown as ProgramError naming the file and
// the line: a mistyped configuration must not pass for an absent one.
//
// The file is parsed as it is read, a piece at a time, and only the key asked
// for is kept, so that the memory a file costs does not grow with its size.
// What the reading must still hold has bounds that no export reaches (the
// ERP's key is a few hundred bytes, and Windows' own guidance is to keep a
// value of more than 2,048 bytes in a file of its own and only its name in
// the registry); past them the file is refused with the same kind of error,
// naming the line where the bound was passed:
//   - a line of more than kRegFileLineMax bytes (a string value is written on
//     one line, so this is also the longest string);
//   - a key whose values take more than kRegFileKeyMax bytes together, counted
//     as each value's name and data plus kRegFileValueBookkeeping, at any
//     point of the file, the value being read included. Only the keys that
//     the reading holds count: every key for fromBytes(), the one asked for
//     when the file is read from disk.
// Reading a file of any size then holds no more than one line and one key,
// each within its bound, and takes a time in proportion to the file's size.

#include "config/registry.h"

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// 12 MiB: a value of that size read through a lookup is held three times
// over (in the key, in the copy that readValue gives, in the text made of it),
// and the reading of any file then stays under 50 MB.
inline constexpr std::size_t kRegFileLineMax = 12 * 1024 * 1024;
inline constexpr std::size_t kRegFileKeyMax = 12 * 1024 * 1024;
// About what a value costs besides the bytes of its name and data: its node
// in the key's map and the strings' headers.
inline constexpr std::size_t kRegFileValueBookkeeping = 128;

// The file is read in pieces of this size.
inline constexpr std::size_t kRegFileReadSize = 64 * 1024;

class RegFileRegistry final : public Registry {
public:
    // Parses an export held in memory; `fileNameForErrors` is the name that
    // the error messages give. Throws ProgramError on a malformed file.
    static RegFileRegistry fromBytes(std::string_view bytes, const std::string& fileNameForErrors);

    std::unique_ptr<RegistryKey> openLocalMachine(const std::string& subKey) override;
    // The same, moving the key's values out of this registry instead of
    // copying them.
    std::unique_ptr<RegistryKey> takeLocalMachine(const std::string& subKey) &&;

    // Value names and data by folded value name.
    using Values = std::map<std::string, RegistryValue>;

private:
    struct Key {
        Values values;
        std::size_t held = 0; // what the values take, as kRegFileKeyMax counts it
    };

    RegFileRegistry() = default;
    // Keys of HKEY_LOCAL_MACHINE by folded path below the hive ("" is the hive).
    std::map<std::string, Key> m_keys;

    friend class RegFileParser;
};

// The parsing of an export whose bytes arrive in pieces of any size, in file
// order; feeding a file whole or in pieces gives the same keys and the same
// errors. feed() throws as soon as the bytes it has been given are wrong;
// finish() checks the end of the file.
class RegFileParser {
public:
    // `onlyKey`: the one key of HKEY_LOCAL_MACHINE to keep (a path below the
    // hive, in any letter case); the others are checked but not held.
    explicit RegFileParser(std::string fileNameForErrors, std::optional<std::string> onlyKey = std::nullopt);

    void feed(std::string_view bytes);
    RegFileRegistry finish() &&;

private:
    struct PendingHex {
        std::string name;
        RegistryType type = RegistryType::None;
        std::string data;
        bool kept = false; // the data is collected, not only checked
    };
    enum class Encoding { Undecided, Bytes, Utf8, Utf16 };

    void decide();
    void decodeUtf16(std::string_view bytes);
    void convertUnits();
    void decodeUtf8(std::string_view bytes, bool atEnd);
    void text(std::string_view text);
    void appendPartial(std::string_view piece);
    void line(std::string_view line);

    [[noreturn]] void fail(std::size_t lineNumber, std::string_view reason) const;
    [[noreturn]] void fail(std::string_view reason) const;
    bool holds(const std::string& key) const;
    RegFileRegistry::Key* currentKeyHeld();
    void keyLine(std::string_view line);
    void valueLine(std::string_view line);
    void hexLine(std::string_view rest);
    void store(const std::string& name, std::optional<RegistryValue> value);

    std::string m_fileName;
    std::optional<std::string> m_onlyKey; // folded
    Encoding m_encoding = Encoding::Undecided;
    std::string m_head;     // the first bytes, until the byte-order mark is known
    std::string m_carry;    // bytes of a character that the next piece completes
    std::u16string m_units; // UTF-16 text on its way to conversion; between pieces
                            // at most a high surrogate that waits for its partner
    std::string m_partial;  // the start of a line that the next piece goes on with
    std::size_t m_lineNumber = 0;
    std::optional<PendingHex> m_hex; // a hex list that goes on on the next line
    bool m_unicode = false;
    bool m_inKey = false;
    bool m_inLocalMachine = false;
    std::string m_currentKey;
    RegFileRegistry m_result;
};

// A Registry over the export file at `path`. The file is read and parsed
// each time a key is opened, so a parse error reaches the lookup that opened
// the key. A file that is missing, is not a regular file (a FIFO, a device, a
// directory) or cannot be read holds no keys. Only the bytes that the file
// holds when it is opened are read, so a file that grows meanwhile does not
// keep the reading going.
std::unique_ptr<Registry> regFileRegistry(const std::string& path);
