#include "config/registry.h"

#include "config/reg_file_registry.h"

#include <cstdlib>

#ifdef _WIN32
#include "text/ansi_text.h"

#include "config/windows_api.h"

#include <cstring>

namespace {

// The registry keeps its texts in UTF-16 and its ANSI calls would hand them
// over in the system's code page, which need not be the ERP's: names go in,
// and string data comes back, through the program's own conversion instead.
bool isText(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// Stored UTF-16 (NULs and all) to Windows-1252, a character for a character;
// an odd last byte is no character.
std::string textFromUtf16(const std::string& stored)
{
    std::wstring units(stored.size() / 2, L'\0');
    std::memcpy(units.data(), stored.data(), units.size() * sizeof(wchar_t));
    return wideToAnsi(units);
}

class Win32Key final : public RegistryKey {
public:
    explicit Win32Key(HKEY key) : m_key(key) {}
    ~Win32Key() override { RegCloseKey(m_key); }

    std::optional<std::uint32_t> valueSize(const std::string& name) override
    {
        DWORD size = 0;
        if (RegQueryValueExW(m_key, ansiToWide(name).c_str(), nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS)
            return std::nullopt;
        return static_cast<std::uint32_t>(size);
    }

    std::optional<RegistryValue> readValue(const std::string& name, std::uint32_t size) override
    {
        std::string buffer(size, '\0');
        DWORD type = 0;
        DWORD length = size;
        if (RegQueryValueExW(m_key, ansiToWide(name).c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                             &length)
            != ERROR_SUCCESS)
            return std::nullopt;
        // The value may have shrunk since its size was asked for.
        if (length < buffer.size())
            buffer.resize(length);
        if (isText(type))
            buffer = textFromUtf16(buffer);
        return RegistryValue{static_cast<RegistryType>(type), std::move(buffer)};
    }

private:
    HKEY m_key;
};

class Win32Registry final : public Registry {
public:
    std::unique_ptr<RegistryKey> openLocalMachine(const std::string& subKey) override
    {
        REGSAM access = KEY_READ;
#ifdef _WIN64
        // The ERP is a 32-bit program and writes the 32-bit view; a 32-bit
        // build reads that view by itself, a 64-bit one must ask for it.
        access |= KEY_WOW64_32KEY;
#endif
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, ansiToWide(subKey).c_str(), 0, access, &key) != ERROR_SUCCESS)
            return nullptr;
        return std::make_unique<Win32Key>(key);
    }
};

} // namespace

std::unique_ptr<Registry> systemRegistry()
{
    return std::make_unique<Win32Registry>();
}

#else

std::unique_ptr<Registry> systemRegistry()
{
    return regFileRegistry(localMachineExportPath());
}

std::string localMachineExportPath()
{
    // An empty setting is taken as no setting, so "LEDGARA_HKLM= prog" cannot
    // turn the lookup into reading a file named "".
    const char* path = std::getenv("LEDGARA_HKLM");
    if (path != nullptr && *path != '\0')
        return path;
    return "/etc/ledgara/hklm.reg";
}

#endif
