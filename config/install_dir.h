#pragma once
// The ERP's installation directory, as its registry key records it.

#include "config/registry.h"

#include <functional>
#include <string>
#include <string_view>

// Where the ERP records its installation directory. The leading "\" of the
// key path means "from the hive's root".
inline constexpr std::string_view kInstallKeyPath = "\\Software\\Vantel\\LedgaraERP2026";
inline constexpr std::string_view kInstallValueName = "Directorio";

// The installation directory: the text of the value "Directorio" under the
// ERP's key of HKEY_LOCAL_MACHINE, exactly as stored up to its first NUL
// (no trimming, no expansion of %...% references, separators left as they
// are). "" means there is none:
//   - key cannot be opened: `inform` is called with msg::kKeyNotFound, then "";
//   - value absent or 0 bytes long: "" with no message, whatever its type;
//   - data unreadable after its size was obtained: throws ProgramError
//     "Failed to get data for 'Directorio'";
//   - a type other than REG_SZ or REG_EXPAND_SZ: throws ProgramError
//     "Invalid data type for 'Directorio'".
// The registry's own errors (a malformed export file) pass through as they
// are. The key is closed before the function returns or throws.
std::string lookupInstallDir(Registry& registry, const std::function<void(const std::string&)>& inform);
