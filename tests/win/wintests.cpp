// The configuration code, the client library loading and the program's start
// over the real Win32 calls: the registry (32-bit view), files opened without
// sharing, the process's own command line, LoadLibraryExW/GetProcAddress, the
// facts of the session that decide whether a window is shown.
//
// The same case tables as the tests of the other platforms run here first,
// then checks that only Windows can make. run_under_wine.sh writes the
// registry keys that the "written by reg.exe" checks expect, in a prefix of
// its own. Every failure prints one line; the last line is
// "N passed, M failed", and the exit code is 1 when anything failed.
//
// The program's text is Windows-1252 whatever the system's ANSI code page,
// so under Wine the whole run is made a second time in a process whose code
// page is 1251 (Cyrillic), where "ñ", "ó" and the like do not exist; its
// counts join this run's. The fixtures are written through the wide calls,
// so that they hold the same text under either code page.
//
// The program also serves as its own child process (CONTARDC_WINTESTS_CHILD
// set): to report the command line it was given, to hold a file open, to
// load the client library from a folder of its own, or for that second run.

#include "app/display.h"
#include "cases/command_line_cases.h"
#include "cases/display_cases.h"
#include "cases/install_dir_cases.h"
#include "cases/server_list_cases.h"
#include "text/ansi_text.h"
#include "config/command_line.h"
#include "config/install_dir.h"
#include "config/reg_file_registry.h"
#include "config/registry.h"
#include "config/server_list.h"
#include "posting/firebird.h"
#include "posting/sql_connection.h"
#include "text/error.h"

#include "config/windows_api.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <io.h>
#include <filesystem>
#include <functional>
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

std::string g_runName; // "" in the first run, which code page in the second

void check(bool ok, const std::string& test, const std::string& detail = {})
{
    if (ok) {
        ++g_passed;
        return;
    }
    ++g_failed;
    std::printf("FAIL %s%s%s%s\n", g_runName.c_str(), test.c_str(), detail.empty() ? "" : ": ", detail.c_str());
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

// The fixtures' texts are the program's, Windows-1252; they reach Windows
// through the wide calls, as the program's own do.
std::wstring wide(const std::string& ansi) { return ansiToWide(ansi); }

bool writeFile(const std::wstring& path, const std::string& bytes)
{
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                    nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    written == bytes.size();
    CloseHandle(file);
    return ok;
}

bool writeFile(const std::string& path, const std::string& bytes) { return writeFile(wide(path), bytes); }

std::string readFile(const std::wstring& path)
{
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    std::string bytes;
    char piece[4096];
    DWORD got = 0;
    while (ReadFile(file, piece, sizeof piece, &got, nullptr) && got > 0)
        bytes.append(piece, got);
    CloseHandle(file);
    return bytes;
}

std::string readFile(const std::string& path) { return readFile(wide(path)); }

std::wstring makeFolderAt(const std::wstring& path)
{
    if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        check(false, "scratch folder " + wideToAnsi(path), lastErrorText());
    return path;
}

std::string makeFolder(const std::string& name) { return wideToAnsi(makeFolderAt(wide(g_scratch + name))); }

// True when nobody holds the file any more: an open that shares nothing
// succeeds only then.
bool nobodyHolds(const std::string& path)
{
    const HANDLE h = CreateFileW(wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(h);
    return true;
}

std::wstring selfPath()
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::wstring(path, length);
}

std::wstring folderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\') + 1); }

// An environment variable set (or removed, nullopt) for as long as this
// lives; child processes started meanwhile inherit it.
class ScopedVariable {
public:
    ScopedVariable(const wchar_t* name, const std::optional<std::wstring>& value) : m_name(name)
    {
        wchar_t saved[32768];
        const DWORD n = GetEnvironmentVariableW(name, saved, 32768);
        if (n > 0 && n < 32768)
            m_saved = std::wstring(saved, n);
        else if (n == 0 && GetLastError() != ERROR_ENVVAR_NOT_FOUND)
            m_saved = std::wstring(); // set, and empty
        SetEnvironmentVariableW(name, value ? value->c_str() : nullptr);
    }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;
    ~ScopedVariable() { SetEnvironmentVariableW(m_name, m_saved ? m_saved->c_str() : nullptr); }

private:
    const wchar_t* m_name;
    std::optional<std::wstring> m_saved;
};

// ---------------------------------------------------------------- child processes

// Runs `program` with `commandLine` as the command line its GetCommandLineW
// is to return. Returns its exit code, or nullopt when it could not be
// started or did not end. runChild runs a copy of this program as `mode`.
std::optional<DWORD> runProcess(const std::wstring& program, const std::wstring& commandLine,
                                const std::wstring& workFolder = {})
{
    std::wstring line = commandLine; // CreateProcessW may write to it
    line.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        workFolder.empty() ? nullptr : workFolder.c_str(), &startup, &process))
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

std::optional<DWORD> runChild(const std::wstring& program, const std::wstring& commandLine, const std::string& mode,
                              const std::wstring& workFolder = {})
{
    const ScopedVariable childMode(wide(kChildVariable).c_str(), wide(mode));
    return runProcess(program, commandLine, workFolder);
}

std::wstring quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

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

// The UTF-16LE bytes of a wide text.
std::string utf16Bytes(const std::wstring& text)
{
    std::string bytes(text.size() * sizeof(wchar_t), '\0');
    std::memcpy(bytes.data(), text.data(), bytes.size());
    return bytes;
}

// Child: the raw command line (its UTF-16), then the program's arguments, one
// a line, in hex.
int childReportArguments(const std::string& outputPath)
{
    std::string text = toHex(utf16Bytes(GetCommandLineW())) + "\n";
    for (const std::string& argument : programArguments(0, nullptr))
        text += toHex(argument) + "\n";
    return writeFile(outputPath, text) ? 0 : 2;
}

// Child: loads the client library (through an attach) and tells how that went: "loaded" and the
// client modules now in the process, or the error's text.
int childLoadClient(const std::string& outputPath)
{
    std::string text;
    try {
        // The library loads at the first attach; one that fails after the
        // library answered (no such database) had it loaded all the same.
        try {
            SqlConnection probe;
            probe.settings().database = "C:\\contardc-no-such-folder\\none.fdb";
            probe.open();
        } catch (const ProgramError& e) {
            if (e.database().driverCode == 0)
                throw;
        }
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
    const HANDLE file = CreateFileW(wide(path).c_str(), access, share, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
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
    // what its GetCommandLineW returns. The line is handed to Windows in
    // UTF-16, the program's Windows-1252 text converted, so that the child
    // gets the same arguments under any ANSI code page.
    const std::wstring program = selfPath();
    const std::string output = g_scratch + "arguments.txt";
    // The child's report: its command line's UTF-16 bytes, then its arguments.
    auto runSplit = [&](const std::string& test, const std::wstring& line) -> std::optional<std::vector<std::string>> {
        DeleteFileW(wide(output).c_str());
        const std::optional<DWORD> code = runChild(program, line, "args|" + output);
        if (!code || *code != 0) {
            check(false, test,
                  code ? "the child ended with exit code " + std::to_string(*code)
                       : "the child could not be started, or did not end within 2 minutes: " + lastErrorText());
            return std::nullopt;
        }
        std::vector<std::string> lines = linesOf(readFile(output));
        if (lines.empty()) {
            check(false, test, "the child reported nothing");
            return std::nullopt;
        }
        for (std::string& text : lines)
            text = fromHex(text);
        return lines;
    };
    for (const cases::SplitCase& c : cases::kSplitCases) {
        const std::string test = std::string("GetCommandLineW / ") + c.name;
        const std::string raw = c.raw.substr(0, c.raw.find('\0')); // CreateProcessW takes a C string
        const std::optional<std::vector<std::string>> lines = runSplit(test, wide(raw));
        if (!lines)
            continue;
        // An empty command line is the one that the system may fill in with
        // the program's name; the arguments stay none either way.
        if (!raw.empty())
            checkEqual(test + " (raw)", lines->front(), utf16Bytes(wide(raw)));
        const std::vector<std::string> arguments(lines->begin() + 1, lines->end());
        const std::vector<std::string> expected(c.words.empty() ? c.words.begin() : c.words.begin() + 1,
                                                c.words.end());
        checkEqual(test, arguments, expected);
    }

    // What the command line can hold beyond Windows-1252: a character the
    // code page lacks is one "?", also one that takes two UTF-16 units; the
    // typographic quotes are letters of the code page, not quotes.
    struct WideCase {
        const char* name;
        std::wstring line;
        std::vector<std::string> arguments;
    };
    const std::vector<WideCase> wideCases = {
        {"letters outside the code page", L"p \u0414\u0430 Se\u00F1or", {"??", "Se\xF1or"}},
        {"a character beyond the 16-bit range", L"p a\U0001F600b", {"a?b"}},
        {"typographic quotes and the euro sign", L"p \u201Ca b\u201D \u20AC", {"\x93" "a", "b\x94", "\x80"}},
    };
    for (const WideCase& c : wideCases) {
        const std::string test = std::string("GetCommandLineW, wide / ") + c.name;
        if (const std::optional<std::vector<std::string>> lines = runSplit(test, c.line))
            checkEqual(test, std::vector<std::string>(lines->begin() + 1, lines->end()), c.arguments);
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

// Stores `bytes` as they are, with the given type, creating the key.
bool setStoredValue(const std::string& keyPath, const std::string& name, RegistryType type, const std::string& bytes)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, wide(keyPath).c_str(), 0, nullptr, 0, kWriteAccess, nullptr, &key,
                        nullptr)
        != ERROR_SUCCESS)
        return false;
    const LSTATUS set = RegSetValueExW(key, wide(name).c_str(), 0, static_cast<DWORD>(type),
                                       reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
    return set == ERROR_SUCCESS;
}

bool isText(RegistryType type)
{
    return type == RegistryType::Sz || type == RegistryType::ExpandSz || type == RegistryType::MultiSz;
}

// A value as the ERP leaves it: the registry keeps a text type's
// Windows-1252 text in UTF-16, any other type's data as it is.
bool setErpValue(const RegistryValue& value)
{
    return setStoredValue(kErpKey, std::string(kInstallValueName), value.type,
                          isText(value.type) ? utf16Bytes(wide(value.data)) : value.data);
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

// The export fed a byte at a time, keeping only the ERP's key, as the file on
// disk is read: here a UTF-8 sequence cut between two pieces must still
// become its character of the code page.
Lookup lookUpInPieces(const std::string& exportBytes)
{
    try {
        RegFileParser parser("fixture.reg", std::string(kInstallKeyPath.substr(1)));
        for (const char& byte : exportBytes)
            parser.feed(std::string_view(&byte, 1));
        RegFileRegistry registry = std::move(parser).finish();
        return lookUp(registry);
    } catch (const std::exception& e) {
        Lookup lookup;
        lookup.error = e.what();
        return lookup;
    }
}

void checkLookup(const std::string& test, const Lookup& got, bool informed, const std::string& directory,
                 const std::string& error)
{
    checkEqual(test + " (messages)", got.messages,
               informed ? std::vector<std::string>{cases::kKeyNotFoundNotice} : std::vector<std::string>{});
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

// The program's text with a NUL after it, as a string value stores it.
std::string z(const std::string& text) { return text + '\0'; }
std::string utf16z(const std::wstring& text) { return utf16Bytes(text + L'\0'); }

// Names and texts in Windows-1252 found and read back as the same bytes,
// whatever the system's ANSI code page; a letter outside the code page read
// as "?"; the data of other types as stored.
void testRegistryTexts()
{
    const std::unique_ptr<Registry> registry = systemRegistry();
    const std::string keyPath = std::string(kTypesKey) + "\\Compa\xF1\xED" "a \x80";
    struct TextCase {
        const char* name;
        std::string valueName;
        RegistryType type;
        std::string stored; // as the registry keeps it
        std::string read;   // as the program gets it
    };
    const std::vector<TextCase> textCases = {
        {"REG_SZ", "A\xF1o", RegistryType::Sz, utf16z(L"C:\\Compa\u00F1\u00EDa\\Aplicaci\u00F3n \u20AC"),
         z("C:\\Compa\xF1\xED" "a\\Aplicaci\xF3n \x80")},
        {"REG_EXPAND_SZ", "Expandible", RegistryType::ExpandSz, utf16z(L"%ProgramFiles%\\Se\u00F1or"),
         z("%ProgramFiles%\\Se\xF1or")},
        {"REG_MULTI_SZ", "Multi", RegistryType::MultiSz, utf16Bytes(std::wstring(L"\u00F1\0\u20AC\0\0", 5)),
         std::string("\xF1\0\x80\0\0", 5)},
        {"REG_SZ with letters outside the code page", "Fuera", RegistryType::Sz, utf16z(L"C:\\\u0414\u0430"),
         z("C:\\??")},
        {"REG_BINARY is not text", "Binario", RegistryType::Binary, std::string("\xF1\0\x80", 3),
         std::string("\xF1\0\x80", 3)},
    };
    for (const TextCase& c : textCases) {
        const std::string test = std::string("registry texts / ") + c.name;
        if (!setStoredValue(keyPath, c.valueName, c.type, c.stored)) {
            check(false, test, "could not write the value: " + lastErrorText());
            continue;
        }
        const std::unique_ptr<RegistryKey> key = registry->openLocalMachine(keyPath);
        check(key != nullptr, test + " (key opens by its name)");
        if (!key)
            continue;
        const std::optional<std::uint32_t> size = key->valueSize(c.valueName);
        check(size.has_value(), test + " (value found by its name)");
        if (!size)
            continue;
        const std::optional<RegistryValue> value = key->readValue(c.valueName, *size);
        check(value.has_value(), test + " (read)");
        if (!value)
            continue;
        checkEqual(test + " (type)", std::to_string(static_cast<std::uint32_t>(value->type)),
                   std::to_string(static_cast<std::uint32_t>(c.type)));
        checkEqual(test, value->data, c.read);
    }
    HKEY types = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, wide(kTypesKey).c_str(), 0, kWriteAccess, &types) == ERROR_SUCCESS) {
        RegDeleteTreeW(types, wide("Compa\xF1\xED" "a \x80").c_str());
        RegCloseKey(types);
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
        checkLookup(std::string("export file in pieces / ") + c.name, lookUpInPieces(bytes), c.informed, c.directory,
                    c.error);
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
        checkEqual(std::string("export file in pieces, malformed / ") + c.name, lookUpInPieces(bytes).error,
                   cases::regFileError(c.line, c.reason));
    }

    // Another program changes the value between the size query and the read.
    struct ChangeCase {
        const char* name;
        std::optional<RegistryValue> after; // nullopt: the value is deleted
        std::string directory;
        std::string error;
    };
    const std::string failed = "Failed to get data for 'Directorio'";
    const std::vector<ChangeCase> changeCases = {
        {"value grows", sz("C:\\Ledgara ERP 2026\\Instalacion"), "", failed},
        {"value deleted", std::nullopt, "", failed},
        {"value shrinks: the shorter text", sz("C:\\X"), "C:\\X", ""},
        {"value becomes a number", RegistryValue{RegistryType::Dword, std::string("\x01\0\0\0", 4)}, "",
         "Invalid data type for 'Directorio'"},
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
    checkEqual(test + " (error)", error, c.rangeError ? cases::kRangeCheckError : std::string());
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
    SetEnvironmentVariableW(wide(kChildVariable).c_str(),
                            wide("hold|" + path + "|" + std::to_string(GENERIC_READ) + "|" + std::to_string(all) + "|"
                                 + readyName + "|" + releaseName)
                                .c_str());
    const std::wstring program = selfPath();
    std::wstring line = quoted(program);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                        &startup, &process);
    SetEnvironmentVariableW(wide(kChildVariable).c_str(), nullptr);
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
    // A folder name in the program's code page, Windows-1252: "Compañía
    // Aplicación €" with ñ as 0xF1, í as 0xED, ó as 0xF3 and € as 0x80.
    // Under another ANSI code page these bytes are other letters, or none.
    const std::string erp = makeFolder("Ledgara Compa\xF1\xED" "a Aplicaci\xF3n \x80");
    writeFile(erp + "\\SERVIDORES.cfg", "127.0.0.1/3050\r\nservidor2:C:\\Datos\r\nse\xF1or:C:\\A\xF1o\r\n");
    const std::vector<std::string> servers = {"127.0.0.1/3050", "servidor2:C:\\Datos", "se\xF1or:C:\\A\xF1o"};

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

// `text` with each mark replaced by its value.
template <typename Text>
Text filled(Text text, const std::vector<std::pair<Text, Text>>& marks)
{
    for (const auto& [mark, value] : marks)
        for (std::size_t at = 0; (at = text.find(mark, at)) != Text::npos; at += value.size())
            text.replace(at, mark.size(), value);
    return text;
}

void testClientLibrary()
{
    // Each case runs in a fresh process started from a folder of its own,
    // holding a copy of this program and the libraries the case puts beside
    // it, as the client sits beside the installed program. A second folder
    // holds what the case puts elsewhere: a library it names, or one that
    // must not be found there when that folder is the current one or is on
    // PATH.
    const std::wstring built = folderOf(selfPath());
    const std::wstring stub = built + L"fbclient_stub.dll";
    const std::wstring noEntries = built + L"no_entries.dll";
    const std::wstring helped = built + L"fbclient_stub_helped.dll"; // needs stub_helper.dll
    const std::wstring helper = built + L"stub_helper.dll";
    using Files = std::vector<std::pair<std::wstring, std::wstring>>; // copy of, as
    enum class Other { Unused, Current, OnPath };
    struct LoadCase {
        const char* name;
        std::wstring folder;                 // the program's folder
        Files beside;                        // in the program's folder
        std::wstring otherFolder;            // the second folder
        Files inOther;                       // in the second folder
        Other other;                         // how else the second folder is used
        std::optional<std::wstring> setting; // LEDGARA_FBCLIENT
        std::string expected;
    };
    // In the setting and the result "{dir}" stands for the program's folder,
    // "{other}" for the second one, with their separators, "{otherName}" for
    // the second one's name. Letters of Windows-1252 and beyond it:
    const std::wstring spanish = L" \u00F1\u00F3\u20AC"; // ñó€, not in code page 1251
    const std::wstring russian = L" \u0434\u0440\u0443\u0433\u0430\u044F"; // другая, not in 1252
    const std::vector<LoadCase> loadCases = {
        {"no client library anywhere", L"cliente", {}, L"otra", {}, Other::Unused, std::nullopt,
         "Unable to Load fbclient.dll"},
        {"empty setting is no setting", L"cliente", {}, L"otra", {}, Other::Unused, std::wstring(),
         "Unable to Load fbclient.dll"},
        {"fbclient.dll beside the program", L"cliente", {{stub, L"fbclient.dll"}}, L"otra", {}, Other::Unused,
         std::nullopt, "loaded fbclient.dll"},
        {"gds32.dll when there is no fbclient.dll", L"cliente", {{stub, L"gds32.dll"}}, L"otra", {}, Other::Unused,
         std::nullopt, "loaded gds32.dll"},
        {"fbclient.dll before gds32.dll", L"cliente", {{stub, L"fbclient.dll"}, {noEntries, L"gds32.dll"}}, L"otra",
         {}, Other::Unused, std::nullopt, "loaded fbclient.dll"},
        {"a fbclient.dll without the entry points", L"cliente", {{noEntries, L"fbclient.dll"}, {stub, L"gds32.dll"}},
         L"otra", {}, Other::Unused, std::nullopt, "Unable to Find Procedure isc_attach_database"},
        {"named library missing: no other is tried", L"cliente", {{stub, L"fbclient.dll"}}, L"otra", {},
         Other::Unused, L"{dir}nada\\fbclient.dll", "Unable to Load {dir}nada\\fbclient.dll"},
        {"named library under another name", L"cliente", {{stub, L"cliente.dll"}}, L"otra", {}, Other::Unused,
         L"{dir}cliente.dll", "loaded cliente.dll"},
        {"fbclient.dll beside the program, in a folder named in Spanish", L"cliente" + spanish,
         {{stub, L"fbclient.dll"}}, L"otra", {}, Other::Unused, std::nullopt, "loaded fbclient.dll"},
        {"fbclient.dll beside the program, in a folder named in Russian", L"cliente" + russian,
         {{stub, L"fbclient.dll"}}, L"otra", {}, Other::Unused, std::nullopt, "loaded fbclient.dll"},
        {"named library in a folder named in Spanish", L"cliente", {}, L"otra" + spanish,
         {{stub, L"cliente.dll"}}, Other::Unused, L"{other}cliente.dll", "loaded cliente.dll"},
        {"named library in a folder named in Russian", L"cliente", {}, L"otra" + russian,
         {{stub, L"cliente.dll"}}, Other::Unused, L"{other}cliente.dll", "loaded cliente.dll"},
        {"named library missing in a folder named in Russian: \"?\" in its text", L"cliente", {},
         L"otra" + russian, {}, Other::Unused, L"{other}nada.dll", "Unable to Load {other}nada.dll"},
        {"named library by a relative path, from the current folder", L"cliente", {}, L"otra",
         {{stub, L"cliente.dll"}}, Other::Unused, L"{otherName}\\cliente.dll", "loaded cliente.dll"},
        {"named library finds the libraries it needs beside it", L"cliente", {}, L"otra",
         {{helped, L"cliente.dll"}, {helper, L"stub_helper.dll"}}, Other::Unused, L"{other}cliente.dll",
         "loaded cliente.dll"},
        {"fbclient.dll finds the libraries it needs beside the program", L"cliente",
         {{helped, L"fbclient.dll"}, {helper, L"stub_helper.dll"}}, L"otra", {}, Other::Unused, std::nullopt,
         "loaded fbclient.dll"},
        {"fbclient.dll in the current folder is not loaded", L"cliente", {}, L"otra",
         {{stub, L"fbclient.dll"}, {stub, L"gds32.dll"}}, Other::Current, std::nullopt,
         "Unable to Load fbclient.dll"},
        {"fbclient.dll in a folder on PATH is not loaded", L"cliente", {}, L"otra",
         {{stub, L"fbclient.dll"}, {stub, L"gds32.dll"}}, Other::OnPath, std::nullopt,
         "Unable to Load fbclient.dll"},
    };
    wchar_t path[32768];
    const DWORD pathLength = GetEnvironmentVariableW(L"PATH", path, 32768);
    const std::wstring systemPath = pathLength < 32768 ? std::wstring(path, pathLength) : std::wstring();
    for (std::size_t i = 0; i < loadCases.size(); ++i) {
        const LoadCase& c = loadCases[i];
        const std::string test = std::string("client library / ") + c.name;
        const std::wstring number = std::to_wstring(i);
        const std::wstring dir = makeFolderAt(wide(g_scratch) + c.folder + number) + L"\\";
        const std::wstring otherName = c.otherFolder + number;
        const std::wstring other = makeFolderAt(wide(g_scratch) + otherName) + L"\\";
        const std::wstring program = dir + L"wintests.exe";
        bool copied = CopyFileW(selfPath().c_str(), program.c_str(), FALSE) != FALSE;
        for (const auto& [from, as] : c.beside)
            copied = copied && CopyFileW(from.c_str(), (dir + as).c_str(), FALSE) != FALSE;
        for (const auto& [from, as] : c.inOther)
            copied = copied && CopyFileW(from.c_str(), (other + as).c_str(), FALSE) != FALSE;
        if (!copied) {
            check(false, test, "could not copy the files: " + lastErrorText());
            continue;
        }
        const ScopedVariable setting(
            L"LEDGARA_FBCLIENT",
            c.setting ? std::optional<std::wstring>(filled<std::wstring>(
                            *c.setting, {{L"{dir}", dir}, {L"{other}", other}, {L"{otherName}", otherName}}))
                      : std::nullopt);
        const ScopedVariable searched(L"PATH", c.other == Other::OnPath ? other + L";" + systemPath : systemPath);
        const std::string output = g_scratch + "resultado" + std::to_string(i) + ".txt";
        const std::optional<DWORD> code = runChild(program, quoted(program), "load|" + output,
                                                   c.other == Other::Current ? other : wide(g_scratch));
        if (!code || *code != 0) {
            check(false, test, "the child did not run to its end");
            continue;
        }
        checkEqual(test, readFile(output),
                   filled<std::string>(c.expected, {{"{dir}", wideToAnsi(dir)}, {"{other}", wideToAnsi(other)}}));
    }
}

// ---------------------------------------------------------------- the window or not

std::string show(const WindowsSessionFacts& facts)
{
    auto known = [](const auto& fact) { return fact ? std::to_string(*fact) : std::string("not known"); };
    return std::string("refused by the variable ") + (facts.refusedByVariable ? "yes" : "no") +
           ", station visible " + (facts.stationVisible ? (*facts.stationVisible ? "yes" : "no") : "not known") +
           ", session " + known(facts.sessionId) + ", connection state " + known(facts.connectState);
}

void testSessionFacts()
{
    for (const cases::SessionCase& c : cases::kSessionCases)
        check(windowsWindowUsable(c.facts) == c.window, std::string("session facts / ") + c.name,
              c.window ? "the window refused" : "the window shown");

    // This process's own facts, as a start from a console gets them: they
    // must lead to the window.
    {
        const ScopedVariable unset(L"CONTARDC_NO_WINDOW", std::nullopt);
        const WindowsSessionFacts facts = windowsSessionFacts();
        std::printf("%ssession facts of this process: %s\n", g_runName.c_str(), show(facts).c_str());
        check(windowsWindowUsable(facts), "session facts / a start from a console shows the window", show(facts));
    }

    // The variable as the environment holds it: only unset, empty or "0"
    // leaves the window.
    struct VariableCase {
        const char* name;
        std::optional<std::wstring> value;
        bool refused;
    };
    const std::vector<VariableCase> variableCases = {
        {"unset", std::nullopt, false}, {"empty", std::wstring(), false}, {"0", L"0", false},
        {"1", L"1", true},              {"00", L"00", true},              {"yes", L"yes", true},
    };
    for (const VariableCase& c : variableCases) {
        const ScopedVariable variable(L"CONTARDC_NO_WINDOW", c.value);
        check(windowsSessionFacts().refusedByVariable == c.refused,
              std::string("session facts / CONTARDC_NO_WINDOW ") + c.name);
    }

    // A window station made with no flags is not the visible one, as a
    // service's or a job's run logged off is not.
    const std::wstring name = L"contardc_wintests_" + std::to_wstring(GetCurrentProcessId());
    HWINSTA own = GetProcessWindowStation();
    HWINSTA station = CreateWindowStationW(name.c_str(), 0, WINSTA_ALL_ACCESS, nullptr);
    check(station != nullptr, "session facts / a window station of its own is made", lastErrorText());
    if (station && SetProcessWindowStation(station)) {
        const WindowsSessionFacts facts = windowsSessionFacts();
        SetProcessWindowStation(own);
        check(facts.stationVisible == false, "session facts / a window station of its own is not visible",
              show(facts));
        check(!windowsWindowUsable(facts), "session facts / no window in a window station of its own");
    }
    if (station)
        CloseWindowStation(station);
}

// ---------------------------------------------------------------- the program's start

// The program (app/main.cpp) in a folder of its own, with the window
// stand-in as its contardc_window.dll: it finds the module beside it whatever
// the folder's name, and gives it the arguments of its command line. (A
// path longer than MAX_PATH, for which the program asks its own path again
// with a larger buffer, cannot be tried: Wine starts no program from one.)
void testProgramStart()
{
    const std::wstring built = folderOf(selfPath());
    const std::wstring program = built + L"program\\contardc.exe";
    const std::wstring window = built + L"window_stub.dll";
    constexpr DWORD kWindowStubExitCode = 42; // window_stub.cpp
    struct StartCase {
        const char* name;
        std::wstring folder;
        std::wstring arguments;
        std::vector<std::string> expected;
    };
    const std::vector<StartCase> startCases = {
        {"a folder named in Spanish", L"programa \u00F1\u00F3\u20AC", L"srv SYSDBA \"mi clave\" 01",
         {"srv", "SYSDBA", "mi clave", "01"}},
        {"a folder named in Russian", L"programa \u043F\u0440\u043E\u0433\u0440\u0430\u043C\u043C\u0430",
         L"Se\u00F1or \u20AC \u0414", {"Se\xF1or", "\x80", "?"}},
    };
    for (std::size_t i = 0; i < startCases.size(); ++i) {
        const StartCase& c = startCases[i];
        const std::string test = std::string("program start / ") + c.name;
        const std::wstring dir = makeFolderAt(wide(g_scratch) + c.folder) + L"\\";
        const std::wstring copy = dir + L"contardc.exe";
        if (!CopyFileW(program.c_str(), copy.c_str(), FALSE) ||
            !CopyFileW(window.c_str(), (dir + L"contardc_window.dll").c_str(), FALSE)) {
            check(false, test, "could not copy the files: " + lastErrorText());
            continue;
        }
        const std::string output = g_scratch + "ventana" + std::to_string(i) + ".txt";
        const ScopedVariable written(L"CONTARDC_WINDOW_STUB_OUTPUT", wide(output));
        const ScopedVariable shown(L"CONTARDC_NO_WINDOW", std::nullopt);
        const std::optional<DWORD> code = runProcess(copy, quoted(copy) + L" " + c.arguments, wide(g_scratch));
        if (!code) {
            check(false, test, "the program did not run to its end: " + lastErrorText());
            continue;
        }
        checkEqual(test + " (exit code)", std::to_string(*code), std::to_string(kWindowStubExitCode));
        const std::vector<std::string> lines = linesOf(readFile(output));
        std::vector<std::string> arguments;
        for (std::size_t n = 1; n < lines.size(); ++n)
            arguments.push_back(fromHex(lines[n]));
        check(!lines.empty() && lines[0] == "window", test + " (the window module ran)");
        checkEqual(test + " (arguments)", arguments, c.expected);
    }
}

// The program without a window and with --timeout, its password awaited on
// standard input that never gives it (a pipe whose writer waits): the
// deadline ends it with its line, on standard error and in the run log, and
// exit code 1; also when standard error is a pipe that is full and never
// read, which must not hold it past the deadline.
void testDeadline()
{
    const std::wstring program = folderOf(selfPath()) + L"program\\contardc.exe";
    for (const bool stalled : {false, true}) {
        const std::string test = std::string("the deadline / ") + (stalled ? "standard error nobody reads" : "a password that never comes");
        const std::string log = g_scratch + (stalled ? "stalled.log" : "deadline.log");
        const std::string err = g_scratch + "deadline-err.txt";
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE inRead = nullptr, inWrite = nullptr, errRead = nullptr, errWrite = nullptr;
        if (!CreatePipe(&inRead, &inWrite, &inherit, 0)) {
            check(false, test, "CreatePipe: " + lastErrorText());
            continue;
        }
        SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
        if (stalled) {
            CreatePipe(&errRead, &errWrite, &inherit, 4096);
            SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
            // Full: the next write waits for a reader that never comes.
            DWORD mode = PIPE_NOWAIT;
            SetNamedPipeHandleState(errWrite, &mode, nullptr, nullptr);
            const std::string block(4096, '#');
            DWORD written = 0;
            while (WriteFile(errWrite, block.data(), static_cast<DWORD>(block.size()), &written, nullptr) &&
                   written > 0) {
            }
            mode = PIPE_WAIT;
            SetNamedPipeHandleState(errWrite, &mode, nullptr, nullptr);
        } else {
            errWrite = CreateFileW(wide(err).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        }
        std::wstring line = quoted(program) + L" srv SYSDBA - 01 N --timeout 2 --log " + quoted(wide(log));
        line.push_back(L'\0');
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = inRead;
        startup.hStdOutput = errWrite;
        startup.hStdError = errWrite;
        PROCESS_INFORMATION process{};
        const ScopedVariable noWindow(L"CONTARDC_NO_WINDOW", std::wstring(L"1"));
        const BOOL started = CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                            wide(g_scratch).c_str(), &startup, &process);
        CloseHandle(inRead);
        CloseHandle(errWrite);
        if (!started) {
            check(false, test, "CreateProcessW: " + lastErrorText());
            CloseHandle(inWrite);
            if (errRead)
                CloseHandle(errRead);
            continue;
        }
        // A guard against a hung child, not a measure of speed.
        const bool ended = WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0;
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        if (!ended)
            TerminateProcess(process.hProcess, 99);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        CloseHandle(inWrite);
        if (errRead)
            CloseHandle(errRead);
        check(ended, test + " (ended)");
        checkEqual(test + " (exit code)", std::to_string(code), std::string("75"));
        if (!stalled)
            checkEqual(test + " (standard error)", readFile(err),
                       std::string("contardc: timed out after 2 s; nothing was posted\r\n"));
        const std::string written = readFile(log);
        check(written.find("\tsrv\t01\tplain\ttimed out after 2 s; nothing was posted\t75\t") != std::string::npos &&
                  written.size() > 1 && written.back() == '\n',
              test + " (the run log's line)", written);
    }
}

// ---------------------------------------------------------------- a second code page

constexpr UINT kSecondCodePage = 1251;

// The whole run once more in a process whose ANSI code page is 1251. Under
// Wine a process takes its code page from the Unix locale it starts in, and
// one started from this process keeps this one's; so the second run is
// started through Wine's loader, as a Unix program, which gets this process's
// environment (LC_ALL and LANG changed) as its own. Wine gives no process to
// wait on for a Unix program: the run signals an event when it is done, and
// leaves "<passed> <failed>" in a file. Elsewhere than under Wine it is left
// out: a Windows process cannot change its code page.
void runUnderSecondCodePage()
{
    using DosFileName = WCHAR*(CDECL*)(const char*);
    const auto dosFileName = reinterpret_cast<DosFileName>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
    wchar_t loader[4096];
    const DWORD loaderLength = GetEnvironmentVariableW(L"WINELOADER", loader, 4096);
    if (!dosFileName || loaderLength == 0 || loaderLength >= 4096) {
        std::printf("not under Wine: the run under code page %u is left out\n", kSecondCodePage);
        return;
    }
    char unixLoader[4096 * 3];
    const int unixLength =
        WideCharToMultiByte(CP_UTF8, 0, loader, -1, unixLoader, static_cast<int>(sizeof unixLoader), nullptr, nullptr);
    WCHAR* dosLoader = unixLength > 0 ? dosFileName(unixLoader) : nullptr;
    check(dosLoader != nullptr, "code page 1251 / Wine's loader has a Windows path", wideToAnsi(loader));
    if (!dosLoader)
        return;

    const std::string eventName = "contardc-wintests-again-" + std::to_string(GetCurrentProcessId());
    const std::string result = g_scratch + "second-run.txt";
    const HANDLE done = CreateEventW(nullptr, TRUE, FALSE, wide(eventName).c_str());
    std::wstring line = quoted(loader) + L" " + quoted(selfPath());
    std::printf("== the same again under LC_ALL=ru_RU.UTF-8\n");
    std::fflush(stdout);
    BOOL started = FALSE;
    {
        const ScopedVariable allCategories(L"LC_ALL", std::wstring(L"ru_RU.UTF-8"));
        const ScopedVariable language(L"LANG", std::wstring(L"ru_RU.UTF-8"));
        const ScopedVariable mode(wide(kChildVariable).c_str(), wide("again|" + eventName + "|" + result));
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        started = CreateProcessW(dosLoader, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                 &process);
    }
    HeapFree(GetProcessHeap(), 0, dosLoader);
    check(started != FALSE, "code page 1251 / the second run starts", lastErrorText());
    const bool ended = started && WaitForSingleObject(done, 300000) == WAIT_OBJECT_0;
    CloseHandle(done);
    if (started)
        check(ended, "code page 1251 / the second run ends");
    int passed = 0;
    int failed = 0;
    const bool counted = ended && std::sscanf(readFile(result).c_str(), "%d %d", &passed, &failed) == 2;
    if (ended)
        check(counted, "code page 1251 / the second run leaves its counts");
    g_passed += passed;
    g_failed += failed;
}

} // namespace

int main()
{
    wchar_t childMode[4096];
    const DWORD modeLength = GetEnvironmentVariableW(wide(kChildVariable).c_str(), childMode, 4096);
    const std::string mode = modeLength > 0 && modeLength < 4096 ? wideToAnsi(childMode) : std::string();
    // "again|<event>|<counts file>": the second run, under another code page.
    std::string againEvent;
    std::string againCounts;
    if (mode.rfind("again|", 0) == 0) {
        const std::size_t bar = mode.find('|', 6);
        againEvent = mode.substr(6, bar - 6);
        againCounts = bar == std::string::npos ? std::string() : mode.substr(bar + 1);
        SetEnvironmentVariableW(wide(kChildVariable).c_str(), nullptr);
    } else if (!mode.empty()) {
        return runAsChild(mode);
    }
    const bool again = !againEvent.empty();

    // "\n" alone, as on the other platforms, also when the output is a pipe.
    _setmode(_fileno(stdout), _O_BINARY);

    wchar_t temp[MAX_PATH];
    const DWORD tempLength = GetTempPathW(MAX_PATH, temp);
    g_scratch = wideToAnsi(std::wstring(temp, tempLength)) + "contardc-wintests-" +
                std::to_string(GetCurrentProcessId());
    if (!CreateDirectoryW(wide(g_scratch).c_str(), nullptr)) {
        std::printf("cannot create %s: %s\n", g_scratch.c_str(), lastErrorText().c_str());
        return 1;
    }
    g_scratch += "\\";
    if (again) {
        g_runName = "code page " + std::to_string(GetACP()) + ": ";
        std::printf("ANSI code page %u under LC_ALL=ru_RU.UTF-8, scratch folder %s\n", GetACP(), g_scratch.c_str());
        // Wine 8 takes it from the locale's name: the glibc locale need not be installed.
        check(GetACP() == kSecondCodePage, "code page 1251 / Wine takes it from LC_ALL=ru_RU.UTF-8",
              "ANSI code page " + std::to_string(GetACP()));
    } else {
        std::printf("ANSI code page %u, scratch folder %s\n", GetACP(), g_scratch.c_str());
    }

    // Wine names files in the Unix locale's character set: without the glibc
    // locale ru_RU.UTF-8 no name beyond ASCII can be made, and every check
    // of such a name would fail for that alone.
    const std::wstring probe = wide(g_scratch) + L"\u00F1\u0434";
    const bool namesBeyondAscii = CreateDirectoryW(probe.c_str(), nullptr) != FALSE;
    RemoveDirectoryW(probe.c_str());
    check(namesBeyondAscii, "files named with letters beyond ASCII can be made",
          "Wine cannot under this locale; is the glibc locale there (LOCPATH, Debian package locales)?");

    if (namesBeyondAscii) {
        testCommandLine();
        testRegistryWrittenByRegExe();
        testRegistryTexts();
        testInstallDirTable();
        testServerListTable();
        testServerListFromAPipe();
        testServerListSharing();
        testLoadThroughTheRegistry();
        testClientLibrary();
        testSessionFacts();
        testProgramStart();
        testDeadline();
    }

    if (again) {
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::path(wide(g_scratch)), ignored);
        std::printf("%s%d passed, %d failed\n", g_runName.c_str(), g_passed, g_failed);
        std::fflush(stdout);
        const bool written = writeFile(againCounts, std::to_string(g_passed) + " " + std::to_string(g_failed));
        const HANDLE done = OpenEventW(EVENT_MODIFY_STATE, FALSE, wide(againEvent).c_str());
        if (done) {
            SetEvent(done);
            CloseHandle(done);
        }
        return written && g_failed == 0 ? 0 : 1;
    }
    runUnderSecondCodePage();

    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(wide(g_scratch)), ignored);
    std::printf("%d passed, %d failed\n", g_passed, g_failed);
    return g_failed == 0 ? 0 : 1;
}
