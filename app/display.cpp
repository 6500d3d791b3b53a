#include "app/display.h"

bool windowsWindowUsable(const WindowsSessionFacts& facts)
{
    if (facts.refusedByVariable)
        return false;
    if (facts.stationVisible == false)
        return false;
    if (facts.sessionId == 0ul)
        return false;
    return facts.connectState != kSessionDisconnected;
}

#ifdef _WIN32

#include <windows.h>
#include <wtsapi32.h>

static_assert(kSessionDisconnected == WTSDisconnected);

namespace {

// A job that Task Scheduler runs whether the user is logged on or not, or a
// service, gets a window station of its own that no screen shows: a box
// there would wait for a click that can never come.
std::optional<bool> windowStationVisible()
{
    HWINSTA station = GetProcessWindowStation();
    if (!station)
        return false;
    USEROBJECTFLAGS flags{};
    DWORD needed = 0;
    if (!GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, &needed))
        return std::nullopt;
    return (flags.dwFlags & WSF_VISIBLE) != 0;
}

// For a job whose window station looks visible but that nobody watches (a
// remote session left open, a scheduler of another make).
bool windowRefused()
{
    wchar_t value[2];
    const DWORD n = GetEnvironmentVariableW(L"CONTARDC_NO_WINDOW", value, 2);
    // Longer than one character, or one that is not "0".
    return n > 1 || (n == 1 && value[0] != L'0');
}

std::optional<unsigned long> sessionId()
{
    DWORD id = 0;
    if (!ProcessIdToSessionId(GetCurrentProcessId(), &id))
        return std::nullopt;
    return id;
}

std::optional<int> connectState()
{
    WTS_CONNECTSTATE_CLASS* state = nullptr;
    DWORD bytes = 0;
    if (!WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, WTSConnectState,
                                     reinterpret_cast<LPWSTR*>(&state), &bytes))
        return std::nullopt;
    std::optional<int> known;
    if (state && bytes >= sizeof *state)
        known = static_cast<int>(*state);
    WTSFreeMemory(state);
    return known;
}

} // namespace

WindowsSessionFacts windowsSessionFacts()
{
    return {windowRefused(), windowStationVisible(), sessionId(), connectState()};
}

bool prepareDisplay()
{
    return windowsWindowUsable(windowsSessionFacts());
}

#else

#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string variable(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

// A real connection, authorisation included, through the library the
// toolkit's X plugin uses; without that library there is no X window either.
bool xDisplayUsable()
{
    if (variable("DISPLAY").empty())
        return false;
    void* xcb = dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!xcb)
        return false;
    using Connect = void* (*)(const char*, int*);
    using HasError = int (*)(void*);
    using Disconnect = void (*)(void*);
    const auto connect = reinterpret_cast<Connect>(dlsym(xcb, "xcb_connect"));
    const auto hasError = reinterpret_cast<HasError>(dlsym(xcb, "xcb_connection_has_error"));
    const auto disconnect = reinterpret_cast<Disconnect>(dlsym(xcb, "xcb_disconnect"));
    bool usable = false;
    if (connect && hasError && disconnect) {
        void* connection = connect(nullptr, nullptr);
        usable = connection && hasError(connection) == 0;
        if (connection)
            disconnect(connection);
    }
    dlclose(xcb);
    return usable;
}

bool waylandUsable()
{
    std::string path = variable("WAYLAND_DISPLAY");
    if (path.empty())
        return false;
    if (path.front() != '/') {
        const std::string runtime = variable("XDG_RUNTIME_DIR");
        if (runtime.empty())
            return false;
        path = runtime + "/" + path;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool usable = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return usable;
}

std::string trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t");
    const auto last = text.find_last_not_of(" \t");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

} // namespace

bool prepareDisplay()
{
    const std::string platform = variable("QT_QPA_PLATFORM");
    const std::string name = trimmed(platform.substr(0, platform.find(':')));
    if (!platform.empty()) {
        if (name == "offscreen" || name == "minimal")
            return false;
        if (name == "xcb")
            return xDisplayUsable();
        if (name.rfind("wayland", 0) == 0)
            return waylandUsable();
        return true;  // another platform the user chose on purpose
    }
    const bool waylandSession = variable("XDG_SESSION_TYPE") == "wayland";
    const char* chosen = nullptr;
    if (waylandSession && waylandUsable())
        chosen = "wayland";
    else if (xDisplayUsable())
        chosen = "xcb";
    else if (!waylandSession && waylandUsable())
        chosen = "wayland";
    if (chosen)
        ::setenv("QT_QPA_PLATFORM", chosen, 1);
    return chosen != nullptr;
}

#endif
