// Reading a registry export file, the registry's stand-in off Windows.

#include "config/reg_file_registry.h"
#include "fuzz_check.h"
#include "tests/cases/install_dir_cases.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

// A file name with format marks in it: the error must name it as it is.
const std::string kFileName = "C:\\ERP %s 100%\\hklm %d.reg";

// What can be wrong, as the user reads it.
const std::array<std::string, 10> kReasons = {
    cases::kBadHeader, cases::kBadKey,  cases::kOutsideKey, cases::kBadValueName, cases::kBadString,
    cases::kBadDword,  cases::kBadHex,  cases::kBadLine,
    "l\xED" "nea de m\xE1" "s de 12582912 bytes",
    "los valores de la clave ocupan m\xE1" "s de 12582912 bytes",
};

// The ERP's key, the one the file on disk is read for.
const std::string kErpKey = "Software\\Vantel\\LedgaraERP2026";

// The error names the file, a line that the file has, and what is wrong.
void checkError(std::string_view message, std::string_view bytes)
{
    const std::string prefix = "Error en el archivo de registro " + kFileName + ", l\xED" "nea ";
    FUZZ_CHECK(message.substr(0, prefix.size()) == prefix, message);
    std::string_view rest = message.substr(prefix.size());
    std::size_t digits = 0;
    while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9')
        ++digits;
    FUZZ_CHECK(digits > 0 && digits <= 9 && rest[0] != '0', message);
    const std::size_t line = std::stoul(std::string(rest.substr(0, digits)));
    // UTF-16 text has no more line ends than the bytes 0x0A that it holds.
    const auto lines = static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n')) + 1;
    FUZZ_CHECK(line >= 1 && line <= lines, message);
    rest.remove_prefix(digits);
    FUZZ_CHECK(rest.substr(0, 2) == ": ", message);
    rest.remove_prefix(2);
    FUZZ_CHECK(std::find(kReasons.begin(), kReasons.end(), rest) != kReasons.end(), message);
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// Every key that the file names and that is there after the import has its
// parents, answers to its name in any letter case, and has values that can
// be read in a buffer of the size that it gives for them.
void checkKeys(RegFileRegistry& registry, std::string_view bytes)
{
    FUZZ_CHECK(registry.openLocalMachine("") != nullptr, "the hive itself");
    constexpr std::string_view kPrefix = "[HKEY_LOCAL_MACHINE\\";
    std::size_t checked = 0;
    std::size_t start = 0;
    while (start < bytes.size() && checked < 64) {
        std::size_t end = bytes.find('\n', start);
        if (end == std::string_view::npos)
            end = bytes.size();
        const std::string_view line = trimmed(bytes.substr(start, end - start));
        start = end + 1;
        if (line.size() <= kPrefix.size() || line.back() != ']'
            || lowered(line.substr(0, kPrefix.size())) != lowered(kPrefix))
            continue;
        ++checked;
        const std::string path(line.substr(kPrefix.size(), line.size() - kPrefix.size() - 1));
        auto key = registry.openLocalMachine(path);
        if (!key)
            continue;
        FUZZ_CHECK(registry.openLocalMachine(swappedCase(path)) != nullptr, path);
        for (std::size_t at = path.find('\\'); at != std::string::npos; at = path.find('\\', at + 1))
            FUZZ_CHECK(registry.openLocalMachine(path.substr(0, at)) != nullptr, path);
        for (const std::string& name : {std::string(), std::string("Directorio")}) {
            const auto size = key->valueSize(name);
            if (!size)
                continue;
            const auto value = key->readValue(name, *size);
            FUZZ_CHECK(value && value->data.size() == *size, path);
            if (*size > 0)
                FUZZ_CHECK(!key->readValue(name, *size - 1), path);
        }
    }
}

// What a registry holds for a key: nothing, or its default value and
// "Directorio" with their types and bytes.
std::string described(RegFileRegistry& registry, const std::string& path)
{
    auto key = registry.openLocalMachine(path);
    if (!key)
        return "no key";
    std::string text = "key";
    for (const std::string& name : {std::string(), std::string("Directorio")}) {
        const auto size = key->valueSize(name);
        const auto value = size ? key->readValue(name, *size) : std::nullopt;
        text += value ? " " + std::to_string(static_cast<std::uint32_t>(value->type)) + ":" + value->data : " -";
    }
    return text;
}

// The keys that the file's key lines name, and the ERP's key.
std::vector<std::string> namedKeys(std::string_view bytes)
{
    std::vector<std::string> paths = {kErpKey};
    constexpr std::string_view kPrefix = "[HKEY_LOCAL_MACHINE\\";
    std::size_t start = 0;
    while (start < bytes.size() && paths.size() < 64) {
        std::size_t end = bytes.find('\n', start);
        if (end == std::string_view::npos)
            end = bytes.size();
        const std::string_view line = trimmed(bytes.substr(start, end - start));
        start = end + 1;
        if (line.size() > kPrefix.size() && line.back() == ']'
            && lowered(line.substr(0, kPrefix.size())) == lowered(kPrefix))
            paths.emplace_back(line.substr(kPrefix.size(), line.size() - kPrefix.size() - 1));
    }
    return paths;
}

// The outcome of parsing: the error, or what the keys hold.
std::string outcome(std::string_view bytes, std::size_t pieceSize, const std::optional<std::string>& onlyKey,
                    const std::vector<std::string>& paths)
{
    try {
        RegFileParser parser(kFileName, onlyKey);
        for (std::size_t at = 0; at < bytes.size(); at += pieceSize)
            parser.feed(bytes.substr(at, pieceSize));
        RegFileRegistry registry = std::move(parser).finish();
        std::string text;
        for (const std::string& path : paths)
            text += path + ": " + described(registry, path) + "\n";
        return text;
    } catch (const std::runtime_error& error) {
        return std::string("error ") + error.what();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    try {
        RegFileRegistry registry = RegFileRegistry::fromBytes(bytes, kFileName);
        const bool unicode = size >= 2 && data[0] == 0xFF && data[1] == 0xFE;
        if (!unicode)
            checkKeys(registry, bytes);
    } catch (const std::runtime_error& error) {
        checkError(error.what(), bytes);
    } catch (...) {
        FUZZ_CHECK(false, "an exception other than std::runtime_error");
    }

    // The same bytes in pieces, as the file is read, give the same keys or the
    // same error; read for the ERP's key alone, the same for that key. (The
    // inputs stay far below the bounds, where holding fewer keys could matter.)
    const std::size_t pieceSize = 1 + (size > 0 ? data[size - 1] % 17 : 0);
    const std::vector<std::string> paths = namedKeys(bytes);
    const std::string whole = outcome(bytes, bytes.size() + 1, std::nullopt, paths);
    FUZZ_CHECK(outcome(bytes, pieceSize, std::nullopt, paths) == whole, whole);
    const std::string erpWhole = outcome(bytes, bytes.size() + 1, std::nullopt, {kErpKey});
    FUZZ_CHECK(outcome(bytes, pieceSize, kErpKey, {kErpKey}) == erpWhole, erpWhole);
    return 0;
}
