#include "config/install_dir.h"
#include "text/format.h"

#include "config/messages.h"
#include "text/error.h"

#include <stdexcept>

std::string lookupInstallDir(Registry& registry, const std::function<void(const std::string&)>& inform)
{
    const std::unique_ptr<RegistryKey> key = registry.openLocalMachine(std::string(kInstallKeyPath.substr(1)));
    if (!key) {
        inform(std::string(msg::kKeyNotFound));
        return {};
    }
    const std::string name(kInstallValueName);
    // The type is only looked at once there is data: an empty value of any
    // type is simply no directory.
    const std::optional<std::uint32_t> size = key->valueSize(name);
    if (!size || *size == 0)
        return {};
    const std::optional<RegistryValue> value = key->readValue(name, *size);
    if (!value)
        throw ProgramError(formatText(msg::kFailedToGetData, {name}), ErrorKind::Configuration);
    if (value->type != RegistryType::Sz && value->type != RegistryType::ExpandSz)
        throw ProgramError(formatText(msg::kInvalidDataType, {name}), ErrorKind::Configuration);
    return value->data.substr(0, value->data.find('\0'));
}
