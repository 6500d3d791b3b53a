// The program: with a display, the window; without one, and with the five
// arguments of the unattended run, the same run written to the console.

#include "app/console.h"
#include "app/display.h"
#include "app/unattended.h"
#include "app/window_main.h"
#include "config/command_line.h"
#include "posting/client_shutdown.h"
#include "posting/posting_run.h"

#include <cstdio>
#include <string>

#ifdef _WIN32
#include "config/ansi_text.h"

#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
// The folder of the running program, with its separator, as Windows names
// it: in UTF-16, since the folder's name may have characters that the
// system's code page lacks, and the module beside it must load all the same.
std::wstring programFolder()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return {};
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        // Cut short: the path is longer than the buffer.
        if (path.size() >= 65536)
            return {};
        path.resize(path.size() * 2);
    }
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}
#else
// The folder of the running program, with its separator.
std::string programFolder()
{
    std::string path(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
    path.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return path.substr(0, path.find_last_of('/') + 1);
}
#endif

int runWindow(int argc, char** argv, const std::vector<std::string>& arguments)
{
#ifdef _WIN32
    const std::wstring module = programFolder() + ansiToWide(kWindowModuleName);
    // The libraries the module needs come from its own folder, the program's,
    // or from the system folder: not from the current folder or PATH.
    HMODULE library = LoadLibraryExW(module.c_str(), nullptr,
                                     LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Through the generic function pointer type: GetProcAddress's own type says nothing of the entry's.
    const auto entry = library ? reinterpret_cast<WindowMain>(
                                     reinterpret_cast<void (*)()>(GetProcAddress(library, kWindowEntryName)))
                               : nullptr;
    const std::string why = "error " + std::to_string(GetLastError());
#else
    const std::string module = programFolder() + kWindowModuleName;
    void* library = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    const auto entry = library ? reinterpret_cast<WindowMain>(dlsym(library, kWindowEntryName)) : nullptr;
    const char* reason = dlerror();
    const std::string why = reason ? reason : "";
#endif
    if (!entry) {
#ifdef _WIN32
        // A windowed program started from Explorer has nowhere else to say it.
        const std::wstring text = L"Cannot load the window from " + module + L": " + ansiToWide(why) + L".";
        MessageBoxW(nullptr, text.c_str(), L"Contabilizaci\u00F3n ventas POS", MB_OK | MB_ICONERROR);
#else
        std::fprintf(stderr, "contardc: cannot load the window from %s: %s\n", module.c_str(), why.c_str());
#endif
        return 1;
    }
    // The module stays loaded to the end of the process: objects it made may
    // still be destroyed at exit.
    return entry(argc, argv, &arguments);
}

} // namespace

int main(int argc, char** argv)
{
    useLocaleCharacters();
    endOnStopRequest();
    const std::vector<std::string> arguments = programArguments(argc, argv);
    const bool unattended = arguments.size() >= 5 && !arguments[4].empty();
    if (prepareDisplay())
        return runWindow(argc, argv, arguments);
#ifdef _WIN32
    useStartingConsole();
#endif
    if (!unattended) {
#ifdef _WIN32
        Console().error("contardc: no visible desktop to show the window on; to post unattended give five "
                        "arguments: server user password company S|N");
        return 1;
#endif
        std::fputs("contardc: no display to show the window on; to post unattended give five arguments: "
                   "server user password company S|N\n",
                   stderr);
        return 1;
    }
    Console console;
    return runWithoutWindow(arguments, today, console);
}
