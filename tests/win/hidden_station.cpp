// Starts a program in a window station of its own, the way Task Scheduler
// starts a job set to run whether the user is logged on or not, or the way a
// service runs: nothing there reaches a screen. Its standard handles are
// passed on; its exit code becomes this one's.
//
//   hidden_station.exe PROGRAM [ARGUMENT...]
//
// Built by tests/win/program_under_wine.sh and run under Wine.

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::wstring quoted(const wchar_t* argument)
{
    return L"\"" + std::wstring(argument) + L"\"";
}

int fail(const char* what)
{
    std::fprintf(stderr, "hidden_station: %s failed (error %lu)\n", what, GetLastError());
    return 2;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        std::fputs("usage: hidden_station PROGRAM [ARGUMENT...]\n", stderr);
        return 2;
    }
    // A station made with no flags is not the interactive one.
    HWINSTA station = CreateWindowStationW(L"contardc_hidden", 0, WINSTA_ALL_ACCESS, nullptr);
    if (!station)
        return fail("CreateWindowStation");
    HWINSTA own = GetProcessWindowStation();
    if (!SetProcessWindowStation(station))
        return fail("SetProcessWindowStation");
    HDESK desktop = CreateDesktopW(L"Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    SetProcessWindowStation(own);
    if (!desktop)
        return fail("CreateDesktop");

    std::wstring commandLine = quoted(argv[1]);
    for (int i = 2; i < argc; ++i)
        commandLine += L" " + quoted(argv[i]);
    wchar_t place[] = L"contardc_hidden\\Default";
    STARTUPINFOW start{};
    start.cb = sizeof start;
    start.lpDesktop = place;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    start.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    start.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start, &process))
        return fail("CreateProcess");
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 2;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}
