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
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace {

// The folder of the running program, with its separator.
std::string programFolder()
{
    std::string path(4096, '\0');
#ifdef _WIN32
    const DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(n);
    return path.substr(0, path.find_last_of("\\/") + 1);
#else
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
    path.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return path.substr(0, path.find_last_of('/') + 1);
#endif
}

int runWindow(int argc, char** argv, const std::vector<std::string>& arguments)
{
    const std::string module = programFolder() + kWindowModuleName;
#ifdef _WIN32
    HMODULE library = LoadLibraryA(module.c_str());
    // Through the generic function pointer type: GetProcAddress's own type says nothing of the entry's.
    const auto entry = library ? reinterpret_cast<WindowMain>(
                                     reinterpret_cast<void (*)()>(GetProcAddress(library, kWindowEntryName)))
                               : nullptr;
    const std::string why = "error " + std::to_string(GetLastError());
#else
    void* library = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    const auto entry = library ? reinterpret_cast<WindowMain>(dlsym(library, kWindowEntryName)) : nullptr;
    const char* reason = dlerror();
    const std::string why = reason ? reason : "";
#endif
    if (!entry) {
#ifdef _WIN32
        // A windowed program started from Explorer has nowhere else to say it.
        const std::string text = "Cannot load the window from " + module + ": " + why + ".";
        MessageBoxA(nullptr, text.c_str(), "Contabilizaci\xf3" "n ventas POS", MB_OK | MB_ICONERROR);
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
