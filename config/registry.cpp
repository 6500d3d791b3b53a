#include "config/registry.h"

#include "config/reg_file_registry.h"

#include <cstdlib>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace {

class Win32Key final : public RegistryKey {
public:
    explicit Win32Key(HKEY key) : m_key(key) {}
    ~Win32Key() override { RegCloseKey(m_key); }

    std::optional<std::uint32_t> valueSize(const std::string& name) override
    {
        DWORD size = 0;
        if (RegQueryValueExA(m_key, name.c_str(), nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS)
            return std::nullopt;
        return static_cast<std::uint32_t>(size);
    }

    std::optional<RegistryValue> readValue(const std::string& name, std::uint32_t size) override
    {
        std::string buffer(size, '\0');
        DWORD type = 0;
        DWORD length = size;
        if (RegQueryValueExA(m_key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &length)
            != ERROR_SUCCESS)
            return std::nullopt;
        // The value may have shrunk since its size was asked for.
        if (length < buffer.size())
            buffer.resize(length);
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
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey.c_str(), 0, access, &key) != ERROR_SUCCESS)
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

#endif

std::string localMachineExportPath()
{
    // An empty setting is taken as no setting, so "LEDGARA_HKLM= prog" cannot
    // turn the lookup into reading a file named "".
    const char* path = std::getenv("LEDGARA_HKLM");
    if (path != nullptr && *path != '\0')
        return path;
    return "/etc/ledgara/hklm.reg";
}
