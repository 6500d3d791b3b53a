// Registry export files written from random keys and values the way the
// registry editor writes them, comments and doubled CRs included: the reading
// accepts every one and gives back each value's type and bytes, with later
// lines overriding and deleting earlier ones as importing the file would.

#include "config/reg_file_registry.h"
#include "fuzz_check.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Values = std::map<std::string, RegistryValue>; // by folded name

// Printable ASCII, as key and value names are in practice. A key name has no
// "\", and no ";", which after a "]" would start the key line's comment.
std::string nameFrom(FuzzedDataProvider& input, bool keyName)
{
    std::string name;
    const std::size_t length = input.ConsumeIntegralInRange<std::size_t>(keyName ? 1 : 0, 12);
    for (std::size_t i = 0; i < length; ++i) {
        char c = input.ConsumeIntegralInRange<char>(0x20, 0x7E);
        if (keyName && (c == '\\' || c == ';'))
            c = '_';
        name += c;
    }
    return name;
}

std::string quotedText(const std::string& text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string hexByte(unsigned value, bool upper)
{
    char text[3];
    std::snprintf(text, sizeof text, upper ? "%02X" : "%02x", value & 0xFFu);
    return text;
}

// "hex...:" bytes, comma-separated, carried over lines ending in "\", some of
// them with a comment after it.
std::string hexList(FuzzedDataProvider& input, const std::string& bytes, const std::string& eol)
{
    const bool upper = input.ConsumeBool();
    const std::size_t perLine = input.ConsumeIntegralInRange<std::size_t>(1, 40);
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        out += hexByte(static_cast<unsigned char>(bytes[i]), upper);
        if (i + 1 < bytes.size()) {
            out += ',';
            if ((i + 1) % perLine == 0)
                out += (input.ConsumeBool() ? "\\ ;\\" : "\\") + eol + "  ";
        }
    }
    return out;
}

struct Model {
    std::map<std::string, Values> keys; // by folded path
    std::vector<std::string> deleted;   // paths deleted at some point

    void create(const std::string& path)
    {
        for (std::size_t at = path.find('\\'); at != std::string::npos; at = path.find('\\', at + 1))
            keys[lowered(path.substr(0, at))];
        keys[lowered(path)];
    }
    void remove(const std::string& path)
    {
        const std::string key = lowered(path);
        const std::string children = key + '\\';
        for (auto it = keys.begin(); it != keys.end();) {
            if (it->first == key || it->first.compare(0, children.size(), children) == 0)
                it = keys.erase(it);
            else
                ++it;
        }
        deleted.push_back(path);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const bool unicode = input.ConsumeBool();
    // A UTF-8 mark as an editor on Linux may write it; a line end passed once
    // more through a program that writes LF as CR LF.
    const std::string mark = input.ConsumeBool() ? "\xEF\xBB\xBF" : "";
    const std::string eol = input.ConsumeBool() ? "\r\r\n" : "\r\n";
    const auto comment = [&] {
        return input.ConsumeIntegralInRange<int>(0, 3) == 0 ? std::string(" ; [\"x\"];") : std::string();
    };
    std::string file = mark + (unicode ? "Windows Registry Editor Version 5.00" : "REGEDIT4") + eol + eol;
    Model model;
    std::vector<std::string> paths;

    while (input.remaining_bytes() > 0 && paths.size() < 16) {
        std::string path;
        if (!paths.empty() && input.ConsumeBool()) {
            path = paths[input.ConsumeIntegralInRange<std::size_t>(0, paths.size() - 1)];
            if (input.ConsumeBool())
                path += '\\' + nameFrom(input, true);
        } else {
            path = nameFrom(input, true);
        }
        if (input.ConsumeBool())
            path = swappedCase(path);
        paths.push_back(path);

        if (input.ConsumeIntegralInRange<int>(0, 5) == 0) {
            file += "[-HKEY_LOCAL_MACHINE\\" + path + "]" + comment() + eol;
            model.remove(path);
            continue;
        }
        file += "[HKEY_LOCAL_MACHINE\\" + path + "]" + comment() + eol;
        model.create(path);
        Values& values = model.keys[lowered(path)];

        const std::size_t count = input.ConsumeIntegralInRange<std::size_t>(0, 4);
        for (std::size_t i = 0; i < count; ++i) {
            const std::string name = input.ConsumeBool() ? std::string() : nameFrom(input, false);
            file += name.empty() ? std::string("@") : quotedText(name);
            file += '=';
            RegistryValue value;
            switch (input.ConsumeIntegralInRange<int>(0, 4)) {
            case 0:
                file += "-" + comment() + eol;
                values.erase(lowered(name));
                continue;
            case 1: {
                std::string text = input.ConsumeRandomLengthString(64);
                std::erase(text, '\n');
                file += quotedText(text);
                value = {RegistryType::Sz, text + '\0'};
                break;
            }
            case 2: {
                const auto number = input.ConsumeIntegral<std::uint32_t>();
                char digits[9];
                std::snprintf(digits, sizeof digits, input.ConsumeBool() ? "%08x" : "%X", number);
                file += std::string("dword:") + digits;
                value.type = RegistryType::Dword;
                for (int b = 0; b < 4; ++b)
                    value.data += static_cast<char>((number >> (8 * b)) & 0xFF);
                break;
            }
            case 3: {
                const std::string bytes = input.ConsumeRandomLengthString(80);
                file += "hex:" + hexList(input, bytes, eol);
                value = {RegistryType::Binary, bytes};
                break;
            }
            default: {
                // hex(N): any type number; the string types hold UTF-16 in a
                // 5.00 file and come back as UTF-8, the encoding of the file
                // names here.
                const auto type = input.ConsumeIntegralInRange<std::uint32_t>(0, 12);
                std::string bytes;
                std::string expected;
                const std::string text = input.ConsumeRandomLengthString(40);
                const bool stringType = type == 1 || type == 2 || type == 7;
                for (char c : text) {
                    if (unicode && stringType) {
                        const bool wide = input.ConsumeIntegralInRange<int>(0, 7) == 0;
                        bytes += c;
                        bytes += static_cast<char>(wide ? 0x01 : 0x00);
                        const unsigned unit = (wide ? 0x100u : 0u) | static_cast<unsigned char>(c);
                        if (unit < 0x80) {
                            expected += c;
                        } else {
                            expected += static_cast<char>(0xC0 | (unit >> 6));
                            expected += static_cast<char>(0x80 | (unit & 0x3F));
                        }
                    } else {
                        bytes += c;
                        expected += c;
                    }
                }
                char typeText[9];
                std::snprintf(typeText, sizeof typeText, "%x", type);
                file += std::string("hex(") + typeText + "):" + hexList(input, bytes, eol);
                value = {static_cast<RegistryType>(type), expected};
                break;
            }
            }
            file += comment() + eol;
            values[lowered(name)] = value;
        }
        file += eol;
    }

    std::optional<RegFileRegistry> registry;
    try {
        registry.emplace(RegFileRegistry::fromBytes(file, "values.reg"));
    } catch (const std::exception& error) {
        FUZZ_CHECK(false, std::string(error.what()) + "\n" + file);
    }

    for (const auto& [path, values] : model.keys) {
        auto key = registry->openLocalMachine(swappedCase(path));
        FUZZ_CHECK(key != nullptr, path + "\n" + file);
        for (const auto& [name, wanted] : values) {
            const std::string asked = swappedCase(name);
            const auto valueSize = key->valueSize(asked);
            FUZZ_CHECK(valueSize && *valueSize == wanted.data.size(), path + " " + name + "\n" + file);
            const auto got = key->readValue(asked, *valueSize);
            FUZZ_CHECK(got && got->type == wanted.type && got->data == wanted.data,
                       path + " " + name + "\n" + file);
        }
    }
    for (const std::string& path : model.deleted) {
        if (model.keys.count(lowered(path)) == 0)
            FUZZ_CHECK(registry->openLocalMachine(path) == nullptr, path + "\n" + file);
    }
    return 0;
}
