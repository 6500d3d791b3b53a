#include "app/password.h"

#include "app/messages.h"
#include "app/run_end.h"

#include <cstdlib>

#ifdef _WIN32
#include "config/windows_api.h"
#else
#include <fcntl.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>
#endif

#include <optional>

namespace {

bool environmentHasPassword()
{
#ifdef _WIN32
    return GetEnvironmentVariableW(L"ISC_PASSWORD", nullptr, 0) > 0;
#else
    return std::getenv("ISC_PASSWORD") != nullptr;
#endif
}

// Reads the first line, byte by byte so that nothing after it is taken from
// the stream, up to the bound.
template <typename ReadByte>
PasswordSource readLine(ReadByte readByte)
{
    PasswordSource source;
    char c = 0;
    bool any = false;
    bool ended = false;
    while (!ended && source.password.size() <= kPasswordLineBound && readByte(c)) {
        any = true;
        if (c == '\n')
            ended = true;
        else
            source.password += c;
    }
    if (!ended && source.password.size() > kPasswordLineBound) {
        source.password.clear();
        source.found = PasswordFound::TooLong;
        return source;
    }
    if (!source.password.empty() && source.password.back() == '\r')
        source.password.pop_back();
    source.found = !any ? PasswordFound::NoLine : source.password.empty() ? PasswordFound::EmptyLine : PasswordFound::Read;
    return source;
}

#ifndef _WIN32
// The systemd credential, when the service was given one; nullopt otherwise.
std::optional<PasswordSource> passwordFromCredential()
{
    const char* folder = std::getenv("CREDENTIALS_DIRECTORY");
    if (!folder || !*folder)
        return std::nullopt;
    const std::string path = std::string(folder) + "/password";
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return std::nullopt;
    PasswordSource source = readLine([fd](char& c) { return ::read(fd, &c, 1) == 1; });
    ::close(fd);
    return source;
}
#endif

} // namespace

PasswordSource passwordFromOutside(std::FILE* in, std::FILE* prompt)
{
#ifndef _WIN32
    if (std::optional<PasswordSource> credential = passwordFromCredential())
        return *credential;
#endif
    if (environmentHasPassword())
        return {PasswordFound::InEnvironment, {}};
#ifdef _WIN32
    // A windowed program's C library may not have taken up the handle the
    // starter redirected: read it as Windows gives it.
    (void)in;
    (void)prompt;
    const HANDLE handle = GetStdHandle(STD_INPUT_HANDLE);
    return readLine([handle](char& c) {
        DWORD got = 0;
        return handle && handle != INVALID_HANDLE_VALUE && ReadFile(handle, &c, 1, &got, nullptr) && got == 1;
    });
#else
    const int fd = ::fileno(in);
    termios saved{};
    const bool terminal = ::isatty(fd) && ::tcgetattr(fd, &saved) == 0;
    if (terminal) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        noteQuietTerminal(fd, saved);
        ::tcsetattr(fd, TCSAFLUSH, &quiet);
        std::fputs(msg::kPasswordPrompt.data(), prompt);
        std::fflush(prompt);
    }
    PasswordSource source = readLine([in](char& c) {
        const int got = std::fgetc(in);
        c = static_cast<char>(got);
        return got != EOF;
    });
    if (terminal) {
        ::tcsetattr(fd, TCSAFLUSH, &saved);
        noteTerminalRestored();
        std::fputc('\n', prompt);
    }
    return source;
#endif
}

void keepSecretsInProcess()
{
#ifndef _WIN32
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
#endif
}
