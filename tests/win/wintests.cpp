// The configuration code and the client library loading over the real Win32
// calls: the registry (32-bit view), files opened without sharing, the
// process's own command line and LoadLibraryA/GetProcAddress.
//
// The same case tables as the tests of the other platforms run here first,
// then checks that only Windows can make. run_under_wine.sh writes the
// registry keys that the "written by reg.exe" checks expect, in a prefix of
// its own. Every failure prints one line; the last line is
// "N passed, M failed", and the exit code is 1 when anything failed.
//
// The program also serves as its own child process (CONTARDC_WINTESTS_CHILD
// set): to report the command line it was given, to hold a file open, or to
// load the client library from a folder of its own.

#include "cases/command_line_cases.h"
#include "cases/install_dir_cases.h"
#include "cases/server_list_cases.h"
#include "config/command_line.h"
#include "config/install_dir.h"
#include "config/messages.h"
#include "config/reg_file_registry.h"
#include "config/registry.h"
#include "config/server_list.h"
#include "posting/firebird.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdio>
#include <exception>
#include <fcntl.h>
#include <io.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr const char* kChildVariable = "CONTARDC_WINTESTS_CHILD";
constexpr const char* kErpKey = "Software\\Vantel\\LedgaraERP2026";
// Written by run_under_wine.sh: the installation directory in the 32-bit
// view, and a different one at the same place in the 64-bit view.
constexpr const char* kErpDirectoryByRegExe = "C:\\ERP\\Ledgara";
// Written by run_under_wine.sh in the 32-bit view, one value per type.
constexpr const char* kTypesKey = "Software\\Vantel\\ContardcWinTests";
// Written by run_under_wine.sh in the 64-bit view only.
constexpr const char* kOnly64Key = "Software\\Vantel\\ContardcSolo64";

// ---------------------------------------------------------------- checking

int g_passed = 0;
int g_failed = 0;

std::string show(const std::string& bytes)
{
    std::string out = "\"";
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (b < 0x20 || b >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", b);
            out += hex;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string show(const std::vector<std::string>& list)
{
    std::string out = "[";
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (i > 0)
            out += '|';
        out += show(list[i]);
    }
    return out + "]";
}

void check(bool ok, const std::string& test, const std::string& detail = {})
{
    if (ok) {
        ++g_passed;
        return;
    }
    ++g_failed;
    std::printf("FAIL %s%s%s\n", test.c_str(), detail.empty() ? "" : ": ", detail.c_str());
    std::fflush(stdout);
}

template <typename T>
void checkEqual(const std::string& test, const T& actual, const T& expected)
{
    check(actual == expected, test, "got " + show(actual) + ", expected " + show(expected));
}

// What a lookup or a reading gave: its result or the text of its error.
template <typename T>
struct Outcome {
    T result{};
    std::string error;
};

template <typename T>
Outcome<T> attempt(const std::function<T()>& run)
{
    Outcome<T> outcome;
    try {
        outcome.result = run();
    } catch (const std::exception& e) {
        outcome.error = e.what();
    }
    return outcome;
}

// ---------------------------------------------------------------- files

std::string g_scratch; // a folder of this run, ends with "\"

std::string lastErrorText() { return "error " + std::to_string(GetLastError()); }

bool writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return out.good();
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string makeFolder(const std::string& name)
{
    const std::string path = g_scratch + name;
    if (!CreateDirectoryA(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        check(false, "scratch folder " + name, lastErrorText());
    return path;
}

// True when nobody holds the file any more: an open that shares nothing
// succeeds only then.
bool nobodyHolds(const std::string& path)
{
    const HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(h);
    return true;
}

std::string selfPath()
{
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(path, length);
}

std::string folderOf(const std::string& path) { return path.substr(0, path.find_last_of('\\') + 1); }

// ---------------------------------------------------------------- child processes

// Runs this program again as `mode`, with `commandLine` as the command line
// the child's GetCommandLineA is to return. Returns the child's exit code,
// or nullopt when it could not be started or did not end.
std::optional<DWORD> runChild(const std::string& program, const std::string& commandLine, const std::string& mode,
                              const std::string& workFolder = {})
{
    SetEnvironmentVariableA(kChildVariable, mode.c_str());
    std::string line = commandLine; // CreateProcessA may write to it
    line.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                        workFolder.empty() ? nullptr : workFolder.c_str(), &startup, &process);
    SetEnvironmentVariableA(kChildVariable, nullptr);
    if (!started)
        return std::nullopt;
    // A guard against a hung child, not a measure of speed.
    const DWORD waited = WaitForSingleObject(process.hProcess, 120000);
    DWORD code = 0;
    const bool ended = waited == WAIT_OBJECT_0 && GetExitCodeProcess(process.hProcess, &code);
    if (!ended)
        TerminateProcess(process.hProcess, 99);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (!ended)
        return std::nullopt;
    return code;
}

std::string toHex(const std::string& bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out += digits[b >> 4];
        out += digits[b & 0x0F];
    }
    return out;
}

std::string fromHex(const std::string& hex)
{
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (std::size_t at; (at = text.find('\n', from)) != std::string::npos; from = at + 1)
        lines.push_back(text.substr(from, at - from));
    return lines;
}

// Child: the raw command line, then the program's arguments, one a line, in hex.
int childReportArguments(const std::string& outputPath)
{
    std::string text = toHex(GetCommandLineA()) + "\n";
    for (const std::string& argument : programArguments(0, nullptr))
        text += toHex(argument) + "\n";
    return writeFile(outputPath, text) ? 0 : 2;
}

// Child: loads the client library and tells how that went: "loaded" and the
// client modules now in the process, or the error's text.
int childLoadClient(const std::string& outputPath)
{
    std::string text;
    try {
        loadClientLibrary();
        text = "loaded";
        for (const char* name : {"fbclient.dll", "gds32.dll", "cliente.dll"})
            if (GetModuleHandleA(name) != nullptr)
                text += std::string(" ") + name;
    } catch (const std::exception& e) {
        text = e.what();
    }
    return writeFile(outputPath, text) ? 0 : 2;
}

// Child: holds `path` open with the given access and sharing until the
// parent signals the release event, after signalling the ready event.
int childHold(const std::string& path, DWORD access, DWORD share, const std::string& ready,
              const std::string& release)
{
    const HANDLE file = CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                    nullptr);
    const HANDLE readyEvent = OpenEventA(EVENT_MODIFY_STATE, FALSE, ready.c_str());
    const HANDLE releaseEvent = OpenEventA(SYNCHRONIZE, FALSE, release.c_str());
    if (file == INVALID_HANDLE_VALUE || readyEvent == nullptr || releaseEvent == nullptr)
        return 3;
    SetEvent(readyEvent);
    WaitForSingleObject(releaseEvent, 120000);
    CloseHandle(file);
    CloseHandle(readyEvent);
    CloseHandle(releaseEvent);
    return 0;
}

// Modes: "args|<output>", "load|<output>", "hold|<path>|<access>|<share>|<ready>|<release>".
int runAsChild(const std::string& mode)
{
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (std::size_t at; (at = mode.find('|', from)) != std::string::npos; from = at + 1)
        parts.push_back(mode.substr(from, at - from));
    parts.push_back(mode.substr(from));
    if (parts[0] == "args" && parts.size() == 2)
        return childReportArguments(parts[1]);
    if (parts[0] == "load" && parts.size() == 2)
        return childLoadClient(parts[1]);
    if (parts[0] == "hold" && parts.size() == 6)
        return childHold(parts[1], static_cast<DWORD>(std::stoul(parts[2])), static_cast<DWORD>(std::stoul(parts[3])),
                         parts[4], parts[5]);
    return 4;
}

// ---------------------------------------------------------------- command line

// A double-byte code page as Windows itself steps through it.
std::size_t shiftJisStep(std::string_view rest)
{
    // The text is NUL-terminated behind `rest` (a std::string's bytes), as CharNextExA needs.
    const char* next = CharNextExA(932, rest.data(), 0);
    return static_cast<std::size_t>(next - rest.data());
}

void testCommandLine()
{
    for (const cases::SplitCase& c : cases::kSplitCases)
        checkEqual(std::string("split / ") + c.name, splitCommandLine(c.raw), c.words);

    // CharNextExA with code page 932 (Shift-JIS) takes a lead byte's partner
    // along, whatever it is.
    for (const cases::DoubleByteCase& c : cases::kDoubleByteCases)
        checkEqual(std::string("split, code page 932 / ") + c.name, splitCommandLine(c.raw, shiftJisStep), c.words);

    // The real thing: a child started with the case's command line splits
    // what its GetCommandLineA returns, stepping with CharNextA.
    const std::string program = selfPath();
    const std::string output = g_scratch + "arguments.txt";
    for (const cases::SplitCase& c : cases::kSplitCases) {
        const std::string test = std::string("GetCommandLineA / ") + c.name;
        DeleteFileA(output.c_str());
        const std::string raw = c.raw.substr(0, c.raw.find('\0')); // CreateProcessA takes a C string
        const std::optional<DWORD> code = runChild(program, raw, "args|" + output);
        if (!code || *code != 0) {
            check(false, test, "the child did not run to its end");
            continue;
        }
        const std::vector<std::string> lines = linesOf(readFile(output));
        if (lines.empty()) {
            check(false, test, "the child reported nothing");
            continue;
        }
        // An empty command line is the one that the system may fill in with
        // the program's name; the arguments stay none either way.
        if (!raw.empty())
            checkEqual(test + " (raw)", fromHex(lines[0]), raw);
        std::vector<std::string> arguments;
        for (std::size_t i = 1; i < lines.size(); ++i)
            arguments.push_back(fromHex(lines[i]));
        const std::vector<std::string> expected(c.words.empty() ? c.words.begin() : c.words.begin() + 1,
                                                c.words.end());
        checkEqual(test, arguments, expected);
    }
}

// ---------------------------------------------------------------- registry

// Writes and deletes in the 32-bit view, where the ERP keeps its key.
constexpr REGSAM kWriteAccess = KEY_ALL_ACCESS | KEY_WOW64_32KEY;

bool deleteErpKey()
{
    HKEY vantel = nullptr;
    const LSTATUS opened = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Vantel", 0, kWriteAccess, &vantel);
    if (opened == ERROR_FILE_NOT_FOUND)
        return true;
    if (opened != ERROR_SUCCESS)
        return false;
    const LSTATUS deleted = RegDeleteTreeA(vantel, "LedgaraERP2026");
    RegCloseKey(vantel);
    return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
}

bool setErpValue(const RegistryValue& value)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kErpKey, 0, nullptr, 0, kWriteAccess, nullptr, &key, nullptr)
        != ERROR_SUCCESS)
        return false;
    const LSTATUS set = RegSetValueExA(key, std::string(kInstallValueName).c_str(), 0,
                                       static_cast<DWORD>(value.type),
                                       reinterpret_cast<const BYTE*>(value.data.data()),
                                       static_cast<DWORD>(value.data.size()));
    RegCloseKey(key);
    return set == ERROR_SUCCESS;
}

bool deleteErpValue()
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kErpKey, 0, kWriteAccess, &key) != ERROR_SUCCESS)
        return false;
    const LSTATUS deleted = RegDeleteValueA(key, std::string(kInstallValueName).c_str());
    RegCloseKey(key);
    return deleted == ERROR_SUCCESS;
}

// Puts into the real registry what a registry export describes for the ERP's
// key: no key, the key without "Directorio", or the key with it.
bool mirrorErpKey(const std::string& exportBytes)
{
    if (!deleteErpKey())
        return false;
    RegFileRegistry described = RegFileRegistry::fromBytes(exportBytes, "fixture.reg");
    const std::unique_ptr<RegistryKey> key = described.openLocalMachine(kErpKey);
    if (!key)
        return true;
    HKEY created = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kErpKey, 0, nullptr, 0, kWriteAccess, nullptr, &created, nullptr)
        != ERROR_SUCCESS)
        return false;
    RegCloseKey(created);
    const std::string name(kInstallValueName);
    const std::optional<std::uint32_t> size = key->valueSize(name);
    if (!size)
        return true;
    const std::optional<RegistryValue> value = key->readValue(name, *size);
    return value && setErpValue(*value);
}

struct Lookup {
    std::string directory;
    std::vector<std::string> messages;
    std::string error;
};

Lookup lookUp(Registry& registry)
{
    Lookup lookup;
    try {
        lookup.directory =
            lookupInstallDir(registry, [&](const std::string& text) { lookup.messages.push_back(text); });
    } catch (const std::exception& e) {
        lookup.error = e.what();
    }
    return lookup;
}

void checkLookup(const std::string& test, const Lookup& got, bool informed, const std::string& directory,
                 const std::string& error)
{
    checkEqual(test + " (messages)", got.messages,
               informed ? std::vector<std::string>{std::string(kKeyNotFound)} : std::vector<std::string>{});
    checkEqual(test + " (error)", got.error, error);
    checkEqual(test + " (directory)", got.directory, directory);
}

// The value between the lookup's two queries: another program rewrites it
// after its size was asked for.
class ChangingKey final : public RegistryKey {
public:
    ChangingKey(std::unique_ptr<RegistryKey> inner, std::function<void()> change)
        : m_inner(std::move(inner)), m_change(std::move(change))
    {
    }
    std::optional<std::uint32_t> valueSize(const std::string& name) override
    {
        const std::optional<std::uint32_t> size = m_inner->valueSize(name);
        m_change();
        return size;
    }
    std::optional<RegistryValue> readValue(const std::string& name, std::uint32_t size) override
    {
        return m_inner->readValue(name, size);
    }

private:
    std::unique_ptr<RegistryKey> m_inner;
    std::function<void()> m_change;
};

class ChangingRegistry final : public Registry {
public:
    explicit ChangingRegistry(std::function<void()> change) : m_change(std::move(change)) {}
    std::unique_ptr<RegistryKey> openLocalMachine(const std::string& subKey) override
    {
        std::unique_ptr<RegistryKey> key = m_system->openLocalMachine(subKey);
        if (!key)
            return nullptr;
        return std::make_unique<ChangingKey>(std::move(key), m_change);
    }

private:
    std::unique_ptr<Registry> m_system = systemRegistry();
    std::function<void()> m_change;
};

RegistryValue sz(const std::string& text) { return {RegistryType::Sz, text + '\0'}; }

void testRegistryWrittenByRegExe()
{
    const std::unique_ptr<Registry> registry = systemRegistry();

    // The installation directory as the ERP's installer leaves it: in the
    // 32-bit view, with another value at the same place in the 64-bit view.
    checkLookup("reg.exe / the ERP's key is read in the 32-bit view", lookUp(*registry), false,
                kErpDirectoryByRegExe, "");
    check(registry->openLocalMachine(kOnly64Key) == nullptr, "reg.exe / a key of the 64-bit view only is absent");

    struct TypeCase {
        const char* name;
        const char* value;
        RegistryType type;
        std::string data;
    };
    const std::vector<TypeCase> typeCases = {
        {"REG_SZ", "Cadena", RegistryType::Sz, std::string("C:\\ERP\\\0", 8)},
        {"REG_EXPAND_SZ left unexpanded", "Expandible", RegistryType::ExpandSz,
         std::string("%ProgramFiles%\\ERP\0", 19)},
        {"REG_DWORD", "Numero", RegistryType::Dword, std::string("\x2A\0\0\0", 4)},
        {"REG_BINARY", "Binario", RegistryType::Binary, std::string("C:\0", 3)},
        {"REG_BINARY with no data", "BinarioVacio", RegistryType::Binary, std::string()},
        {"REG_SZ empty", "Vacia", RegistryType::Sz, std::string("\0", 1)},
        {"REG_MULTI_SZ with its NULs", "Multi", RegistryType::MultiSz, std::string("a\0b\0\0", 5)},
    };
    for (const char* path : {kTypesKey, "SOFTWARE\\VANTEL\\contardcwintests"}) {
        const std::unique_ptr<RegistryKey> key = registry->openLocalMachine(path);
        check(key != nullptr, std::string("reg.exe / key opens as ") + path);
        if (!key)
            continue;
        for (const TypeCase& c : typeCases) {
            const std::string test = std::string("reg.exe / ") + c.name + " via " + path;
            const std::optional<std::uint32_t> size = key->valueSize(c.value);
            // The size asked for first must hold the data, or the lookup
            // would report a value that is there as unreadable.
            check(size && *size >= c.data.size(), test + " (size)",
                  size ? "size " + std::to_string(*size) : std::string("no size"));
            if (!size)
                continue;
            const std::optional<RegistryValue> value = key->readValue(c.value, *size);
            check(value.has_value(), test + " (read)");
            if (!value)
                continue;
            checkEqual(test + " (type)", std::to_string(static_cast<std::uint32_t>(value->type)),
                       std::to_string(static_cast<std::uint32_t>(c.type)));
            checkEqual(test + " (data)", value->data, c.data);
        }
        check(!key->valueSize("NoExiste"), std::string("reg.exe / absent value has no size via ") + path);
    }
}

void testInstallDirTable()
{
    // Each case's export, put into the real registry, must give what the
    // export file gives elsewhere.
    const std::unique_ptr<Registry> registry = systemRegistry();
    for (const cases::InstallDirCase& c : cases::kInstallDirCases) {
        const std::string test = std::string("registry / ") + c.name;
        const std::string bytes = c.utf16 ? cases::toUtf16File(c.regFile) : c.regFile;
        RegFileRegistry exported = RegFileRegistry::fromBytes(bytes, "fixture.reg");
        checkLookup(std::string("export file / ") + c.name, lookUp(exported), c.informed, c.directory, c.error);
        if (!mirrorErpKey(bytes)) {
            check(false, test, "could not write the key: " + lastErrorText());
            continue;
        }
        checkLookup(test, lookUp(*registry), c.informed, c.directory, c.error);
    }

    // The export file is also what administrators copy between machines:
    // its parser built for Windows refuses the same malformed files.
    for (const cases::RegFileErrorCase& c : cases::kRegFileErrorCases) {
        const std::string bytes = c.utf16 ? cases::toUtf16File(c.regFile) : c.regFile;
        const Outcome<bool> outcome = attempt<bool>([&] {
            RegFileRegistry::fromBytes(bytes, "fixture.reg");
            return true;
        });
        checkEqual(std::string("export file, malformed / ") + c.name, outcome.error,
                   cases::regFileError(c.line, c.reason));
    }

    // Another program changes the value between the size query and the read.
    struct ChangeCase {
        const char* name;
        std::optional<RegistryValue> after; // nullopt: the value is deleted
        std::string directory;
        std::string error;
    };
    const std::string failed = formatMessage(kFailedToGetData, {kInstallValueName});
    const std::vector<ChangeCase> changeCases = {
        {"value grows", sz("C:\\Ledgara ERP 2026\\Instalacion"), "", failed},
        {"value deleted", std::nullopt, "", failed},
        {"value shrinks: the shorter text", sz("C:\\X"), "C:\\X", ""},
        {"value becomes a number", RegistryValue{RegistryType::Dword, std::string("\x01\0\0\0", 4)}, "",
         formatMessage(kInvalidDataType, {kInstallValueName})},
    };
    for (const ChangeCase& c : changeCases) {
        const std::string test = std::string("registry, changed between the queries / ") + c.name;
        if (!deleteErpKey() || !setErpValue(sz("C:\\ERP\\Ledgara"))) {
            check(false, test, "could not write the key: " + lastErrorText());
            continue;
        }
        ChangingRegistry changing([&] {
            const bool changed = c.after ? setErpValue(*c.after) : deleteErpValue();
            check(changed, test + " (change written)");
        });
        checkLookup(test, lookUp(changing), false, c.directory, c.error);
    }

    // Leave the key as the installer wrote it, for a run after this one.
    if (!deleteErpKey() || !setErpValue(sz(kErpDirectoryByRegExe)))
        check(false, "registry / restore the ERP's key", lastErrorText());
}

// ---------------------------------------------------------------- server list

std::vector<std::string> readList(const std::string& path, std::string& error)
{
    const Outcome<std::vector<std::string>> outcome =
        attempt<std::vector<std::string>>([&] { return readServerList(path); });
    error = outcome.error;
    return outcome.result;
}

void checkServerCase(const std::string& test, const cases::ServerListCase& c, const std::vector<std::string>& got,
                     const std::string& error)
{
    checkEqual(test + " (error)", error, c.rangeError ? std::string(kRangeCheckError) : std::string());
    checkEqual(test + " (entries)", got, c.rangeError ? std::vector<std::string>{} : c.entries);
}

void testServerListTable()
{
    const std::string folder = makeFolder("lista");
    const std::string path = serverListPath(folder);
    checkEqual("server list / path in a folder", path, folder + "\\SERVIDORES.cfg");
    for (const cases::ServerListCase& c : cases::kServerListCases) {
        const std::string test = std::string("server list / ") + c.name;
        if (!writeFile(path, c.bytes)) {
            check(false, test, "could not write the file");
            continue;
        }
        std::string error;
        const std::vector<std::string> got = readList(path, error);
        checkServerCase(test, c, got, error);
        check(nobodyHolds(path), test + " (file closed afterwards)");
    }

    // Larger than one read: a CR as the last byte of the first read leaves
    // the first byte of the next one to the next line, and every line arrives.
    std::string big;
    std::vector<std::string> expected;
    auto add = [&](const std::string& entry, const char* end) {
        expected.push_back(entry);
        big += entry + end;
    };
    for (int i = 0; i < 16; ++i)
        add(std::string(250, static_cast<char>('a' + i)), "\r\n");
    while (big.size() + 250 < kServerListReadSize)
        add(std::string(200, 'y'), "\n");
    add(std::string(kServerListReadSize - 1 - big.size(), 'z'), "\r"); // its CR is the last byte of the first read
    for (std::size_t line = 0; big.size() < 300000; ++line)
        add("srv" + std::to_string(line) + std::string(line % 200, '.'),
            line % 3 == 0 ? "\r\n" : line % 3 == 1 ? "\n" : "\r");
    if (writeFile(path, big)) {
        std::string error;
        const std::vector<std::string> got = readList(path, error);
        checkEqual("server list / many lines across read boundaries (error)", error, std::string());
        check(got == expected, "server list / many lines across read boundaries",
              std::to_string(got.size()) + " entries, expected " + std::to_string(expected.size()));
    }

    // Paths that CreateFileA cannot open as a file: an empty list, quietly.
    for (const auto& [name, target] : std::vector<std::pair<std::string, std::string>>{
             {"no such file", folder + "\\NoExiste.cfg"},
             {"a folder of that name", folder},
             {"folder part missing", folder + "\\no\\SERVIDORES.cfg"}}) {
        std::string error;
        const std::vector<std::string> got = readList(target, error);
        checkEqual("server list, cannot open / " + name, got, std::vector<std::string>{});
        checkEqual("server list, cannot open / " + name + " (error)", error, std::string());
    }
}

// A directory that leads to a named pipe: the list is not read from it, so
// the start-up does not wait on the program at the other end.
void testServerListFromAPipe()
{
    const std::string test = "server list / a pipe of that name is no list";
    const std::string folder = "\\\\.\\pipe\\contardc-wintests-" + std::to_string(GetCurrentProcessId());
    const std::string pipeName = serverListPath(folder);
    const HANDLE server = CreateNamedPipeA(pipeName.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1,
                                           4096, 4096, 0, nullptr);
    check(server != INVALID_HANDLE_VALUE, test + " (pipe created)", lastErrorText());
    if (server == INVALID_HANDLE_VALUE)
        return;
    struct Reading {
        std::string path;
        std::vector<std::string> entries;
        std::string error;
    } reading{pipeName, {"not read"}, {}};
    const HANDLE reader = CreateThread(
        nullptr, 0,
        [](void* context) -> DWORD {
            auto* r = static_cast<Reading*>(context);
            r->entries = readList(r->path, r->error);
            return 0;
        },
        &reading, 0, nullptr);
    // Nothing is ever written to the pipe: a reader that read from it would
    // wait until the pipe is closed below, after this guard.
    const bool returned = WaitForSingleObject(reader, 30000) == WAIT_OBJECT_0;
    check(returned, test + " (returns while the pipe stays open)");
    CloseHandle(server);
    WaitForSingleObject(reader, INFINITE);
    CloseHandle(reader);
    checkEqual(test, reading.entries, std::vector<std::string>{});
    checkEqual(test + " (error)", reading.error, std::string());
}

void testServerListSharing()
{
    const std::string folder = makeFolder("compartida");
    const std::string path = serverListPath(folder);
    const std::vector<std::string> entries = {"srv1", "srv2"};
    writeFile(path, "srv1\r\nsrv2\r\n");

    // The list is opened with share mode 0. Whoever has the file open for
    // data, whatever he shares, keeps it from being read; and, the sharing
    // check being the same both ways, while the list is read nobody can open
    // it for reading, writing or deleting.
    struct HoldCase {
        const char* name;
        DWORD access;
        DWORD share;
        bool refused;
    };
    constexpr DWORD all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const std::vector<HoldCase> holdCases = {
        {"held for reading, sharing everything", GENERIC_READ, all, true},
        {"held for writing, sharing everything", GENERIC_WRITE, all, true},
        {"held for deleting, sharing everything", DELETE, all, true},
        {"held for reading, sharing nothing", GENERIC_READ, 0, true},
        {"held for its attributes only", FILE_READ_ATTRIBUTES, all, false},
    };
    for (const HoldCase& c : holdCases) {
        const std::string test = std::string("sharing / ") + c.name;
        const HANDLE holder = CreateFileA(path.c_str(), c.access, c.share, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        check(holder != INVALID_HANDLE_VALUE, test + " (holder opens)", lastErrorText());
        if (holder == INVALID_HANDLE_VALUE)
            continue;
        std::string error;
        const std::vector<std::string> got = readList(path, error);
        CloseHandle(holder);
        checkEqual(test, got, c.refused ? std::vector<std::string>{} : entries);
        checkEqual(test + " (error)", error, std::string());
        std::string againError;
        checkEqual(test + " (read once released)", readList(path, againError), entries);
    }

    // The holder is another process, as the ERP or an editor would be.
    const std::string id = std::to_string(GetCurrentProcessId());
    const std::string readyName = "contardc-wintests-ready-" + id;
    const std::string releaseName = "contardc-wintests-release-" + id;
    const HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, readyName.c_str());
    const HANDLE release = CreateEventA(nullptr, TRUE, FALSE, releaseName.c_str());
    SetEnvironmentVariableA(kChildVariable, ("hold|" + path + "|" + std::to_string(GENERIC_READ) + "|"
                                             + std::to_string(all) + "|" + readyName + "|" + releaseName)
                                                .c_str());
    const std::string program = selfPath();
    std::string line = "\"" + program + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                        &startup, &process);
    SetEnvironmentVariableA(kChildVariable, nullptr);
    check(started != FALSE, "sharing / holder process starts", lastErrorText());
    if (started) {
        const HANDLE waitFor[2] = {ready, process.hProcess};
        const DWORD signalled = WaitForMultipleObjects(2, waitFor, FALSE, 120000);
        check(signalled == WAIT_OBJECT_0, "sharing / holder process has the file open");
        if (signalled == WAIT_OBJECT_0) {
            std::string error;
            checkEqual("sharing / held by another process", readList(path, error), std::vector<std::string>{});
        }
        SetEvent(release);
        WaitForSingleObject(process.hProcess, 120000);
        DWORD code = 1;
        GetExitCodeProcess(process.hProcess, &code);
        checkEqual("sharing / holder process ends", std::to_string(code), std::string("0"));
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        std::string error;
        checkEqual("sharing / read once the other process let go", readList(path, error), entries);
    }
    CloseHandle(ready);
    CloseHandle(release);
}

// ---------------------------------------------------------------- the whole load

void testLoadThroughTheRegistry()
{
    const std::unique_ptr<Registry> registry = systemRegistry();
    // A folder name in the 8-bit code page: "Aplicación" with ó as 0xF3.
    const std::string erp = makeFolder("Ledgara Aplicaci\xF3n");
    writeFile(erp + "\\SERVIDORES.cfg", "127.0.0.1/3050\r\nservidor2:C:\\Datos\r\n");
    const std::vector<std::string> servers = {"127.0.0.1/3050", "servidor2:C:\\Datos"};

    struct FlowCase {
        const char* name;
        RegistryValue directory;
        std::vector<std::string> entries;
    };
    // Something like "%TEMP%\..." is not expanded, so it names no folder.
    std::string unexpanded = erp;
    unexpanded.replace(0, g_scratch.size() - 1, "%TEMP%");
    const std::vector<FlowCase> flowCases = {
        {"REG_SZ directory", sz(erp), servers},
        {"REG_SZ directory with a trailing separator", sz(erp + "\\"), servers},
        {"REG_EXPAND_SZ directory with a %-reference stays unexpanded",
         RegistryValue{RegistryType::ExpandSz, unexpanded + '\0'}, {}},
    };
    for (const FlowCase& c : flowCases) {
        const std::string test = std::string("load / ") + c.name;
        if (!deleteErpKey() || !setErpValue(c.directory)) {
            check(false, test, "could not write the key: " + lastErrorText());
            continue;
        }
        const Lookup lookup = lookUp(*registry);
        checkEqual(test + " (error)", lookup.error, std::string());
        std::string error;
        checkEqual(test, readList(serverListPath(lookup.directory), error), c.entries);
        checkEqual(test + " (reading error)", error, std::string());
    }

    // An empty directory: "\SERVIDORES.cfg", the root folder of the current
    // drive.
    {
        const std::string test = "load / empty directory: the current drive's root folder";
        char saved[MAX_PATH];
        GetCurrentDirectoryA(MAX_PATH, saved);
        const std::string root = g_scratch.substr(0, 3); // "C:\"
        const std::string rootFile = root + "SERVIDORES.cfg";
        const bool present = GetFileAttributesA(rootFile.c_str()) != INVALID_FILE_ATTRIBUTES;
        if (present) {
            check(false, test, rootFile + " exists already; not touching it");
        } else if (!writeFile(rootFile, "raiz\r\n")) {
            check(false, test, "cannot write " + rootFile);
        } else {
            SetCurrentDirectoryA(g_scratch.c_str());
            deleteErpKey();
            setErpValue(sz(""));
            const Lookup lookup = lookUp(*registry);
            std::string error;
            const std::vector<std::string> got = readList(serverListPath(lookup.directory), error);
            SetCurrentDirectoryA(saved);
            DeleteFileA(rootFile.c_str());
            checkEqual(test + " (directory)", lookup.directory, std::string());
            checkEqual(test, got, std::vector<std::string>{"raiz"});
        }
    }

    if (!deleteErpKey() || !setErpValue(sz(kErpDirectoryByRegExe)))
        check(false, "load / restore the ERP's key", lastErrorText());
}

// ---------------------------------------------------------------- client library

void testClientLibrary()
{
    // Each case runs in a fresh process started from a folder of its own,
    // holding a copy of this program and the libraries the case puts beside
    // it, as the client sits beside the installed program.
    const std::string built = folderOf(selfPath());
    const std::string stub = built + "fbclient_stub.dll";
    const std::string noEntries = built + "no_entries.dll";
    struct LoadCase {
        const char* name;
        std::vector<std::pair<std::string, std::string>> beside; // copy of, as
        std::optional<std::string> setting;                      // LEDGARA_FBCLIENT, relative to the folder
        std::string expected;                                    // "{dir}" stands for the folder
    };
    const std::vector<LoadCase> loadCases = {
        {"no client library anywhere", {}, std::nullopt, "Unable to Load fbclient.dll"},
        {"empty setting is no setting", {}, std::string(), "Unable to Load fbclient.dll"},
        {"fbclient.dll beside the program", {{stub, "fbclient.dll"}}, std::nullopt, "loaded fbclient.dll"},
        {"gds32.dll when there is no fbclient.dll", {{stub, "gds32.dll"}}, std::nullopt, "loaded gds32.dll"},
        {"fbclient.dll before gds32.dll", {{stub, "fbclient.dll"}, {noEntries, "gds32.dll"}}, std::nullopt,
         "loaded fbclient.dll"},
        {"a fbclient.dll without the entry points", {{noEntries, "fbclient.dll"}, {stub, "gds32.dll"}}, std::nullopt,
         "Unable to Find Procedure isc_attach_database"},
        {"named library missing: no other is tried", {{stub, "fbclient.dll"}}, std::string("{dir}nada\\fbclient.dll"),
         "Unable to Load {dir}nada\\fbclient.dll"},
        {"named library under another name", {{stub, "cliente.dll"}}, std::string("{dir}cliente.dll"),
         "loaded cliente.dll"},
    };
    char savedSetting[1024];
    const DWORD savedLength = GetEnvironmentVariableA("LEDGARA_FBCLIENT", savedSetting, sizeof savedSetting);
    for (std::size_t i = 0; i < loadCases.size(); ++i) {
        const LoadCase& c = loadCases[i];
        const std::string test = std::string("client library / ") + c.name;
        const std::string dir = makeFolder("cliente" + std::to_string(i)) + "\\";
        const std::string program = dir + "wintests.exe";
        bool copied = CopyFileA(selfPath().c_str(), program.c_str(), FALSE) != FALSE;
        for (const auto& [from, as] : c.beside)
            copied = copied && CopyFileA(from.c_str(), (dir + as).c_str(), FALSE) != FALSE;
        if (!copied) {
            check(false, test, "could not copy the files: " + lastErrorText());
            continue;
        }
        auto fill = [&](std::string text) {
            for (std::size_t at; (at = text.find("{dir}")) != std::string::npos;)
                text.replace(at, 5, dir);
            return text;
        };
        if (c.setting)
            SetEnvironmentVariableA("LEDGARA_FBCLIENT", fill(*c.setting).c_str());
        else
            SetEnvironmentVariableA("LEDGARA_FBCLIENT", nullptr);
        const std::string output = dir + "resultado.txt";
        const std::optional<DWORD> code = runChild(program, "\"" + program + "\"", "load|" + output, g_scratch);
        if (!code || *code != 0) {
            check(false, test, "the child did not run to its end");
            continue;
        }
        checkEqual(test, readFile(output), fill(c.expected));
    }
    SetEnvironmentVariableA("LEDGARA_FBCLIENT", savedLength > 0 && savedLength < sizeof savedSetting ? savedSetting
                                                                                                    : nullptr);
}

} // namespace

int main()
{
    char childMode[2048];
    const DWORD modeLength = GetEnvironmentVariableA(kChildVariable, childMode, sizeof childMode);
    if (modeLength > 0 && modeLength < sizeof childMode)
        return runAsChild(childMode);

    // "\n" alone, as on the other platforms, also when the output is a pipe.
    _setmode(_fileno(stdout), _O_BINARY);

    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    g_scratch = std::string(temp) + "contardc-wintests-" + std::to_string(GetCurrentProcessId());
    if (!CreateDirectoryA(g_scratch.c_str(), nullptr)) {
        std::printf("cannot create %s: %s\n", g_scratch.c_str(), lastErrorText().c_str());
        return 1;
    }
    g_scratch += "\\";
    std::printf("ANSI code page %u, scratch folder %s\n", GetACP(), g_scratch.c_str());

    testCommandLine();
    testRegistryWrittenByRegExe();
    testInstallDirTable();
    testServerListTable();
    testServerListFromAPipe();
    testServerListSharing();
    testLoadThroughTheRegistry();
    testClientLibrary();

    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(g_scratch), ignored);
    std::printf("%d passed, %d failed\n", g_passed, g_failed);
    return g_failed == 0 ? 0 : 1;
}
