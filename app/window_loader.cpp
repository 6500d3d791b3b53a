#include "app/window_loader.h"

#include "app/messages.h"
#include "app/window_main.h"
#include "text/format.h"
#include "ui/title.h"

#ifdef _WIN32
#include "text/ansi_text.h"
#endif

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace {

// The loader's messages (app/messages.h) are said where a person sees them.
#ifdef _WIN32
// A windowed program started from Explorer has nowhere else to say it.
void tell(const SystemText& text)
{
    MessageBoxW(nullptr, text.c_str(), ansiToWide(msg::kApplicationTitle).c_str(), MB_OK | MB_ICONERROR);
}
#else
void tell(const SystemText& text)
{
    std::fprintf(stderr, "%s\n", text.c_str());
}
#endif

#ifdef _WIN32
bool isSeparator(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

// A drive's root (C:\) or a network or device path (\\server\share, \\?\C:\):
// not one that depends on the current drive or folder.
bool isAbsolute(const SystemText& path)
{
    if (path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1]))
        return true;
    return path.size() >= 3 && path[1] == L':' && isSeparator(path[2]);
}

constexpr const wchar_t* kSeparators = L"\\/";
#else
bool isSeparator(char c)
{
    return c == '/';
}

bool isAbsolute(const SystemText& path)
{
    return !path.empty() && isSeparator(path[0]);
}

constexpr const char* kSeparators = "/";
#endif

} // namespace

#ifdef _WIN32
// In UTF-16, since the folder's name may have characters that the system's
// code page lacks, and the module beside it must load all the same.
ProgramPath programPath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return {{}, L"GetModuleFileNameW: error " + std::to_wstring(GetLastError())};
        if (n < path.size()) {
            path.resize(n);
            return {path, {}};
        }
        // Cut short: the path is longer than the buffer.
        if (path.size() >= 65536)
            return {{}, L"GetModuleFileNameW: the path is longer than 65536 characters"};
        path.resize(path.size() * 2);
    }
}
#else
ProgramPath programPath()
{
    std::string path(4096, '\0');
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
        if (n < 0)
            return {{}, std::string("readlink /proc/self/exe: ") + std::strerror(errno)};
        if (static_cast<std::size_t>(n) < path.size()) {
            path.resize(static_cast<std::size_t>(n));
            return {path, {}};
        }
        // Filled the buffer: the path may have been cut short.
        if (path.size() >= 65536)
            return {{}, "readlink /proc/self/exe: the path is longer than 65536 bytes"};
        path.resize(path.size() * 2);
    }
}
#endif

WindowModuleLocation windowModuleLocation(const ProgramPath& program, const SystemText& folder)
{
    if (!isAbsolute(program.path))
        return {{}, formatText(msg::kFolderUnknown,
                               {program.failure.empty() ? formatText(msg::kProgramNamed, {program.path}) : program.failure})};
    SystemText place = isAbsolute(folder) ? SystemText() : program.path.substr(0, program.path.find_last_of(kSeparators) + 1);
    if (!folder.empty()) {
        place += folder;
        if (!isSeparator(place.back()))
            place += kSeparators[0];
    }
    return {place + kWindowModuleName, {}};
}

namespace {

// The module's entry of that name, loaded from the module's folder; nullptr
// when it cannot be had, which has been said.
void* windowEntry(const char* name)
{
    const WindowModuleLocation location = windowModuleLocation(programPath(), kWindowModuleFolder);
    if (location.module.empty()) {
        tell(location.refusal);
        return nullptr;
    }
    const SystemText& module = location.module;
#ifdef _WIN32
    // The libraries the module needs come from its own folder, the program's,
    // or from the system folder: not from the current folder or PATH.
    HMODULE library = LoadLibraryExW(module.c_str(), nullptr,
                                     LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Through the generic function pointer type: GetProcAddress's own type says nothing of the entry's.
    void* entry = library ? reinterpret_cast<void*>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)))
                          : nullptr;
    const SystemText why = L"error " + std::to_wstring(GetLastError());
#else
    // The module is linked to be bound whole as it loads (-z now), so that one
    // whose own references cannot all be resolved is refused here, with its
    // message. The libraries it brings in below the toolkit bind their
    // functions on first call, as they do when any program starts with them,
    // instead of every one of them before the window can start.
    void* library = dlopen(module.c_str(), RTLD_LAZY | RTLD_LOCAL);
    void* entry = library ? dlsym(library, name) : nullptr;
    const char* reason = dlerror();
    const SystemText why = reason ? reason : "";
#endif
    if (!entry)
        tell(formatText(msg::kCannotLoadWindow, {module, why}));
    // Never unloaded (see the header).
    return entry;
}

} // namespace

int runWindow(int argc, char** argv)
{
    void* entry = windowEntry(kWindowEntryName);
    return entry ? reinterpret_cast<WindowMain>(entry)(argc, argv) : 1;
}

int showErrorInWindow(const std::string& text)
{
    if (void* entry = windowEntry(kErrorEntryName))
        reinterpret_cast<ShowError>(entry)(text.c_str());
    return 1;
}
