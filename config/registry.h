#pragma once
// Read access to HKEY_LOCAL_MACHINE behind a small interface: the Windows
// registry itself on Windows, a registry export file elsewhere (and in tests).
//
// Names and data are byte strings in the encoding of the platform's file
// names, since the value the program reads becomes a path: on Windows the
// program's code page, Windows-1252, converted from and to the registry's
// UTF-16 whatever the system's ANSI code page (a character outside it
// becomes "?"); elsewhere what the export file stand-in gives, UTF-8 for
// Unicode text.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// A value's type, numbered as the Windows REG_* constants (REG_SZ is 1, ...).
// The enumerators do not repeat the REG_ names because <windows.h> defines
// those as macros. Types without an enumerator keep their number.
enum class RegistryType : std::uint32_t {
    None = 0,                      // REG_NONE
    Sz = 1,                        // REG_SZ
    ExpandSz = 2,                  // REG_EXPAND_SZ
    Binary = 3,                    // REG_BINARY
    Dword = 4,                     // REG_DWORD
    DwordBigEndian = 5,            // REG_DWORD_BIG_ENDIAN
    Link = 6,                      // REG_LINK
    MultiSz = 7,                   // REG_MULTI_SZ
    ResourceList = 8,              // REG_RESOURCE_LIST
    FullResourceDescriptor = 9,    // REG_FULL_RESOURCE_DESCRIPTOR
    ResourceRequirementsList = 10, // REG_RESOURCE_REQUIREMENTS_LIST
    Qword = 11,                    // REG_QWORD
};

struct RegistryValue {
    RegistryType type = RegistryType::None;
    // The raw bytes; the text of a string type (REG_SZ, REG_EXPAND_SZ,
    // REG_MULTI_SZ) keeps its stored NULs, its terminator among them.
    std::string data;
};

// An open key. Destroying it closes the key, so it is closed on every path.
class RegistryKey {
public:
    RegistryKey() = default;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    virtual ~RegistryKey() = default;

    // Size in bytes of the named value's data as the key stores it, which is
    // what readValue needs (on Windows a text's UTF-16, twice its length in
    // bytes); nullopt when the query fails (the value does not exist). The
    // empty name is the key's default value.
    virtual std::optional<std::uint32_t> valueSize(const std::string& name) = 0;

    // The named value's type and data, read into a buffer of `size` bytes;
    // nullopt when the read fails (for example the data no longer fits).
    virtual std::optional<RegistryValue> readValue(const std::string& name, std::uint32_t size) = 0;
};

class Registry {
public:
    virtual ~Registry() = default;

    // Opens an existing key of HKEY_LOCAL_MACHINE for reading. `subKey` is the
    // path below the hive's root, without a leading "\" ("Software\Vantel\...").
    // nullptr when the key cannot be opened, whatever the reason.
    // The export-file stand-in throws ProgramError when its file is not
    // in the export format, naming the file and the line.
    virtual std::unique_ptr<RegistryKey> openLocalMachine(const std::string& subKey) = 0;
};

// The registry the program reads. On Windows the real one, in the 32-bit view
// (the view the ERP writes; a 64-bit build asks for it explicitly). Elsewhere
// a registry export file stands in for HKEY_LOCAL_MACHINE: the file named by
// the environment variable LEDGARA_HKLM, else /etc/ledgara/hklm.reg, read when
// a key is opened. A missing file holds no keys.
std::unique_ptr<Registry> systemRegistry();

#ifndef _WIN32
// Path of the export file that stands in for HKEY_LOCAL_MACHINE off Windows.
std::string localMachineExportPath();
#endif
