#include "app/run_log.h"

#include "text/ansi_text.h"
#include "text/client_text.h"
#include "text/format.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>

namespace {

// The texts of a log that cannot be written (English, as the program's other
// texts for the operator's logs).
constexpr std::string_view kRunLog = "contardc: the run log";
constexpr std::string_view kCouldNotWrite = " could not be written: ";
#ifdef _WIN32
constexpr std::string_view kNoPlace = "no folder for it is known (LOCALAPPDATA is not set)";
#else
constexpr std::string_view kNoPlace = "no folder for it is known (neither XDG_STATE_HOME nor HOME names one)";
#endif
constexpr std::string_view kShortWrite = "only %d of %d bytes were written";
constexpr std::string_view kOutOfMemory = "out of memory";

template <typename Number>
std::string decimal(Number n)
{
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, n).ptr;
    return std::string(buffer, end);
}

// path and why are the program's text.
std::string failure(const std::string& path, std::string_view why)
{
    std::string text(kRunLog);
    if (!path.empty())
        text.append(" ").append(path);
    return text.append(kCouldNotWrite).append(why);
}

void appendField(std::string& line, std::string_view field)
{
    for (char c : field)
        line += c == '\t' || c == '\r' || c == '\n' ? ' ' : c;
}

// Days from 1970-01-01 to the civil date (proleptic Gregorian).
long long daysFromCivil(long long year, int month, int day)
{
    year -= month <= 2;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const long long yearOfEra = year - era * 400;
    const long long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

std::optional<std::tm> localTime(std::time_t t)
{
    std::tm tm{};
#ifdef _WIN32
    if (localtime_s(&tm, &t) != 0)
        return std::nullopt;
#else
    if (!localtime_r(&t, &tm))
        return std::nullopt;
#endif
    return tm;
}

// "2026-12-11T02:31:07+01:00". The offset is what the local clock reads
// minus universal time at that instant, so it is right in summer and in
// winter alike, and is found the same way where struct tm has no offset of
// its own (Windows).
std::string isoLocalTime(std::time_t t)
{
    const std::optional<std::tm> tm = localTime(t);
    if (!tm) {
        // Outside what the C library can convert.
        std::string text = "@";
        text += decimal(static_cast<long long>(t));
        return text;
    }
    const long long asIfUniversal =
        daysFromCivil(tm->tm_year + 1900LL, tm->tm_mon + 1, tm->tm_mday) * 86400 + tm->tm_hour * 3600LL +
        tm->tm_min * 60LL + tm->tm_sec;
    const long long offset = asIfUniversal - static_cast<long long>(t);
    const long long minutes = (offset < 0 ? -offset : offset) / 60;
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02lld:%02lld", tm->tm_year + 1900,
                  tm->tm_mon + 1, tm->tm_mday, tm->tm_hour, tm->tm_min, tm->tm_sec, offset < 0 ? '-' : '+',
                  minutes / 60, minutes % 60);
    return text;
}

// Not printf's "%.1f": that follows the locale's decimal point, which the
// window toolkit sets from the user's locale; the log is read by scripts.
std::string oneDecimal(double seconds)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, seconds, std::chars_format::fixed, 1);
    return result.ec == std::errc() ? std::string(buffer, result.ptr) : std::string("?");
}

} // namespace

std::string runLogLine(const RunRecord& record)
{
    std::string line = isoLocalTime(record.start);
    const std::string_view fields[] = {record.server, record.company, record.niif ? "NIIF" : "plain",
                                       record.outcome};
    for (std::string_view field : fields) {
        line += '\t';
        appendField(line, field);
    }
    line.append("\t").append(decimal(record.exitCode)).append("\t").append(oneDecimal(record.seconds));
    return line += '\n';
}

#ifdef _WIN32

#include <windows.h>

namespace {

std::string windowsErrorText(DWORD error)
{
    wchar_t text[512];
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                             sizeof text / sizeof text[0], nullptr);
    while (n > 0 && (text[n - 1] == L'\r' || text[n - 1] == L'\n' || text[n - 1] == L' ' || text[n - 1] == L'.'))
        --n;
    if (n == 0)
        return "Windows error " + decimal(static_cast<unsigned long>(error));
    return wideToAnsi(std::wstring_view(text, n));
}

std::wstring folderOf(const std::wstring& path)
{
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

// 0, or the error that kept the folder from being made.
DWORD makeFolders(const std::wstring& folder)
{
    if (folder.empty() || folder.back() == L':' || CreateDirectoryW(folder.c_str(), nullptr))
        return 0;
    DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS)
        return 0;
    if (error == ERROR_PATH_NOT_FOUND) {
        const std::wstring parent = folderOf(folder);
        if (parent.empty() || parent == folder)
            return error;
        if (const DWORD above = makeFolders(parent))
            return above;
        if (CreateDirectoryW(folder.c_str(), nullptr))
            return 0;
        error = GetLastError();
        return error == ERROR_ALREADY_EXISTS ? 0 : error;
    }
    return error;
}

class Handle {
public:
    explicit Handle(HANDLE h) : m_h(h) {}
    ~Handle()
    {
        if (valid())
            CloseHandle(m_h);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool valid() const { return m_h != INVALID_HANDLE_VALUE && m_h != nullptr; }
    HANDLE get() const { return m_h; }

private:
    HANDLE m_h;
};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Runs that log at the same time take turns on a byte far past any end the
// log reaches, from finding the file full to writing their line. Without
// them two runs could both find it full and both move it, the second moving
// the first one's new file over the full one; and a share or a file system
// that does not make each append whole on its own still gets whole lines.
// Where the lock cannot be had the run goes on without it.
class Turn {
public:
    explicit Turn(HANDLE file) : m_file(file)
    {
        m_at.Offset = 0xFFFFFFFE;
        m_at.OffsetHigh = 0x7FFFFFFF;
        m_locked = LockFileEx(m_file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &m_at);
    }
    ~Turn()
    {
        if (m_locked)
            UnlockFileEx(m_file, 0, 1, 0, &m_at);
    }
    Turn(const Turn&) = delete;
    Turn& operator=(const Turn&) = delete;

private:
    HANDLE m_file;
    OVERLAPPED m_at{};
    bool m_locked = false;
};

// Whether path still names the file the handle has open.
bool sameFile(HANDLE open, const std::wstring& path)
{
    const Handle now(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    BY_HANDLE_FILE_INFORMATION a{}, b{};
    return now.valid() && GetFileInformationByHandle(open, &a) && GetFileInformationByHandle(now.get(), &b) &&
           a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

std::string append(const std::string& path, const std::string& line)
{
    if (path.empty())
        return failure(path, kNoPlace);
    const std::wstring wide = ansiToWide(path);
    const std::wstring rotated = ansiToWide(path + ".1");
    if (const DWORD error = makeFolders(folderOf(wide)))
        return failure(path, windowsErrorText(error));
    for (int attempt = 0;; ++attempt) {
        // Without FILE_WRITE_DATA every write goes to the end of the file.
        // FILE_READ_DATA is what LockFileEx asks for. Others may read, write,
        // rename and delete the file while it is open here: another run, a
        // viewer, the rotation.
        const Handle file(CreateFileW(wide.c_str(), FILE_APPEND_DATA | FILE_READ_DATA | SYNCHRONIZE, kShareAll,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid())
            return failure(path, windowsErrorText(GetLastError()));
        const Turn turn(file.get());
        LARGE_INTEGER size{};
        const bool full = GetFileType(file.get()) == FILE_TYPE_DISK && GetFileSizeEx(file.get(), &size) &&
                          static_cast<std::uintmax_t>(size.QuadPart) >= kRunLogBound;
        if (full && attempt < 4) {
            // Only the run that still finds the full file under the log's
            // name moves it; one that waited for its turn while another moved
            // it starts over with the new file.
            if (sameFile(file.get(), wide) && !MoveFileExW(wide.c_str(), rotated.c_str(), MOVEFILE_REPLACE_EXISTING))
                return failure(path, windowsErrorText(GetLastError()));
            continue;
        }
        const DWORD size32 = static_cast<DWORD>(line.size());
        DWORD written = 0;
        if (!WriteFile(file.get(), line.data(), size32, &written, nullptr))
            return failure(path, windowsErrorText(GetLastError()));
        if (written != size32)
            return failure(path, formatText(kShortWrite, {decimal(written), decimal(size32)}));
        return {};
    }
}

} // namespace

std::string defaultRunLogPath()
{
    std::wstring value(MAX_PATH, L'\0');
    DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", value.data(), static_cast<DWORD>(value.size()));
    if (n >= value.size()) {
        value.resize(n);
        n = GetEnvironmentVariableW(L"LOCALAPPDATA", value.data(), static_cast<DWORD>(value.size()));
        if (n >= value.size())
            return {};
    }
    value.resize(n);
    while (!value.empty() && (value.back() == L'\\' || value.back() == L'/'))
        value.pop_back();
    if (value.empty())
        return {};
    return wideToAnsi(value) + "\\contardc\\contardc.log";
}

#else

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// strerror speaks the locale's encoding; the program's text is Windows-1252.
std::string errorText(int error) { return utf16ToAnsi(fromClientText(std::strerror(error))); }

std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// 0, or the errno that kept the folder from being made. The folder that holds
// the log is tried first, so that the folders above it, which exist in all
// but the first run, are not touched at all.
int makeFolders(const std::string& folder)
{
    if (folder.empty() || ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST)
        return 0;
    if (errno != ENOENT)
        return errno;
    if (const int above = makeFolders(folderOf(folder)))
        return above;
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST ? 0 : errno;
}

class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }
    // The close's own error: a file system that writes late (NFS) tells of a
    // failed write only here.
    int close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0 || errno == EINTR ? 0 : errno;
    }

private:
    int m_fd;
};

std::string append(const std::string& path, const std::string& line)
{
    if (path.empty())
        return failure(path, kNoPlace);
    // The path's bytes are the system's; the text that tells of it is the program's.
    const std::string shown = utf16ToAnsi(fromClientText(path));
    if (const int error = makeFolders(folderOf(path)))
        return failure(shown, errorText(error));
    const std::string rotated = path + ".1";
    for (int attempt = 0;; ++attempt) {
        Descriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY, 0600));
        if (file.get() < 0)
            return failure(shown, errorText(errno));
        struct stat opened {};
        if (::fstat(file.get(), &opened) != 0)
            return failure(shown, errorText(errno));
        const bool full = S_ISREG(opened.st_mode) && static_cast<std::uintmax_t>(opened.st_size) >= kRunLogBound;
        if (full && attempt < 4) {
            // Two runs that both find the file full must not both move it:
            // the second would move the first one's new file over the full
            // one. They take turns, and only the one that still finds the
            // full file under the log's name moves it; the other starts over
            // with the new file. A file system without locks still rotates,
            // only without that care.
            ::flock(file.get(), LOCK_EX);
            struct stat named {};
            if (::stat(path.c_str(), &named) == 0 && named.st_dev == opened.st_dev && named.st_ino == opened.st_ino &&
                ::rename(path.c_str(), rotated.c_str()) != 0)
                return failure(shown, errorText(errno));
            continue;  // closing the file lets the other run go on
        }
        ssize_t written;
        do
            written = ::write(file.get(), line.data(), line.size());
        while (written < 0 && errno == EINTR);
        if (written < 0)
            return failure(shown, errorText(errno));
        if (static_cast<std::size_t>(written) != line.size())
            return failure(shown, formatText(kShortWrite, {decimal(written), decimal(line.size())}));
        if (const int error = file.close())
            return failure(shown, errorText(error));
        return {};
    }
}

std::string variable(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

// The variable's value without its trailing slashes ("/" gives ""), or
// nullopt when it is not an absolute path.
std::optional<std::string> absoluteFolder(const char* name)
{
    std::string value = variable(name);
    if (value.empty() || value.front() != '/')
        return std::nullopt;
    while (!value.empty() && value.back() == '/')
        value.pop_back();
    return value;
}

} // namespace

std::string defaultRunLogPath()
{
    std::optional<std::string> base = absoluteFolder("XDG_STATE_HOME");
    if (!base) {
        // A relative HOME would put the log wherever the scheduler happened
        // to start the program.
        base = absoluteFolder("HOME");
        if (!base)
            return {};
        *base += "/.local/state";
    }
    return *base + "/contardc/contardc.log";
}

#endif

std::string appendRunLog(const std::string& path, const std::string& line)
{
    try {
        return append(path, line);
    } catch (...) {
        return failure({}, kOutOfMemory);
    }
}
