// A stand-in for the window module, contardc_window.dll: the program loads it
// from its own folder and calls its entry, which here only reads the
// program's arguments as the window does and writes them down, one a line in
// hex, to the file that CONTARDC_WINDOW_STUB_OUTPUT names, and returns
// kWindowStubExitCode.

#include "app/window_main.h"
#include "config/command_line.h"

#include <windows.h>

#include <string>
#include <vector>

namespace {

constexpr int kWindowStubExitCode = 42;

} // namespace

int contardcWindowMain(int argc, char** argv)
{
    const std::vector<std::string> arguments = programArguments(argc, argv);
    static const char digits[] = "0123456789ABCDEF";
    std::string text = "window\n";
    for (const std::string& argument : arguments) {
        for (const char c : argument) {
            text += digits[static_cast<unsigned char>(c) >> 4];
            text += digits[static_cast<unsigned char>(c) & 0x0F];
        }
        text += '\n';
    }
    wchar_t path[1024];
    const DWORD n = GetEnvironmentVariableW(L"CONTARDC_WINDOW_STUB_OUTPUT", path, 1024);
    if (n == 0 || n >= 1024)
        return 2;
    const HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 2;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == text.size() ? kWindowStubExitCode : 2;
}
