#include "app/password.h"

#include "app/messages.h"

#include <cstdlib>

#ifdef _WIN32
#include "config/windows_api.h"
#else
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace {

bool environmentHasPassword()
{
#ifdef _WIN32
    return GetEnvironmentVariableW(L"ISC_PASSWORD", nullptr, 0) > 0;
#else
    const char* value = std::getenv("ISC_PASSWORD");
    return value != nullptr;
#endif
}

#ifndef _WIN32
// The first line of `in` without its line end; false when there is none.
bool readLine(std::FILE* in, std::string& line)
{
    line.clear();
    int c = 0;
    bool any = false;
    while ((c = std::fgetc(in)) != EOF) {
        any = true;
        if (c == '\n')
            break;
        line += static_cast<char>(c);
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return any;
}
#endif

} // namespace

PasswordSource passwordFromOutside(std::FILE* in, std::FILE* prompt)
{
    PasswordSource source;
    if (environmentHasPassword()) {
        source.fromEnvironment = true;
        source.found = true;
        return source;
    }
#ifdef _WIN32
    // A windowed program's C library may not have taken up the handle the
    // starter redirected: read it as Windows gives it.
    (void)in;
    (void)prompt;
    HANDLE handle = GetStdHandle(STD_INPUT_HANDLE);
    char c = 0;
    DWORD got = 0;
    bool any = false;
    while (handle && handle != INVALID_HANDLE_VALUE && ReadFile(handle, &c, 1, &got, nullptr) && got == 1) {
        any = true;
        if (c == '\n')
            break;
        source.password += c;
    }
    if (!source.password.empty() && source.password.back() == '\r')
        source.password.pop_back();
    source.found = any;
#else
    const int fd = ::fileno(in);
    termios saved{};
    const bool terminal = ::isatty(fd) && ::tcgetattr(fd, &saved) == 0;
    if (terminal) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(fd, TCSAFLUSH, &quiet);
        std::fputs(msg::kPasswordPrompt.data(), prompt);
        std::fflush(prompt);
    }
    source.found = readLine(in, source.password);
    if (terminal) {
        ::tcsetattr(fd, TCSAFLUSH, &saved);
        std::fputc('\n', prompt);
    }
#endif
    return source;
}

void keepSecretsInProcess()
{
#ifndef _WIN32
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
#endif
}
