#include "app/run_log.h"

#include "app/messages.h"
#include "posting/civil_date.h"
#include "text/ansi_text.h"
#include "text/client_text.h"
#include "text/format.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>

namespace {

// path and why are the program's text.
std::string failureLine(const std::string& path, std::string_view why)
{
    std::string text(msg::kRunLog);
    if (!path.empty())
        text.append(" ").append(path);
    return text.append(msg::kRunLogCouldNotWrite).append(why);
}

// A field of the line: UTF-8, without the bytes that end a field or a line.
void appendField(std::string& line, std::string_view utf8)
{
    for (char c : utf8)
        line += c == '\t' || c == '\r' || c == '\n' ? ' ' : c;
    line += '\t';
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
        // Outside what the C library can convert. (Not "@" + std::to_string(t): MinGW's
        // GCC 12 warns of an overlap there, a false -Wrestrict at -O3.)
        std::string text = "@";
        text += std::to_string(static_cast<long long>(t));
        return text;
    }
    const long long asIfUniversal = daysSinceEpoch({tm->tm_year + 1900, tm->tm_mon + 1, tm->tm_mday}) * 86400 +
                                    tm->tm_hour * 3600LL + tm->tm_min * 60LL + tm->tm_sec;
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

std::string runLogHead(std::time_t start, const std::string& server, const std::string& company, bool niif)
{
    std::string line;
    appendField(line, isoLocalTime(start));
    appendField(line, systemTextAsUtf8(server));
    appendField(line, systemTextAsUtf8(company));
    appendField(line, niif ? "NIIF" : "plain");
    return line;
}

std::string runLogTail(const std::string& outcome, int exitCode, double seconds)
{
    std::string line;
    appendField(line, ansiToUtf8(outcome));
    return line.append(std::to_string(exitCode)).append("\t").append(oneDecimal(seconds)).append("\n");
}

std::string runLogLine(const RunRecord& record)
{
    return runLogHead(record.start, record.server, record.company, record.niif) +
           runLogTail(record.outcome, record.exitCode, record.seconds);
}

std::string appendRunLog(const std::string& path, const std::string& line)
{
    RunLog log(path);
    return log.isOpen() ? log.append(line) : log.failure();
}

#ifdef _WIN32

#include <windows.h>

namespace {

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

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Runs that log at the same time take turns on a byte far past any end the
// log reaches, from finding the file full to moving it, and while they write
// their line. Without them two runs could both find it full and both move it,
// the second moving the first one's new file over the full one; and a share
// or a file system that does not make each append whole on its own still
// gets whole lines. Where the lock cannot be had the run goes on without it.
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
    BOOL m_locked = FALSE;
};

// Whether path still names the file the handle has open.
bool sameFile(HANDLE open, const std::wstring& path)
{
    const HANDLE now = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (now == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION a{}, b{};
    const bool same = GetFileInformationByHandle(open, &a) && GetFileInformationByHandle(now, &b) &&
                      a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
                      a.nFileIndexLow == b.nFileIndexLow;
    CloseHandle(now);
    return same;
}

} // namespace

RunLog::RunLog(const std::string& path) : m_path(path)
{
    try {
        const std::wstring wide = ansiToWide(path);
        const std::wstring rotated = ansiToWide(path + ".1");
        if (const DWORD error = makeFolders(folderOf(wide))) {
            m_failure = failureLine(path, windowsErrorText(error));
            return;
        }
        for (int attempt = 0;; ++attempt) {
            // Without FILE_WRITE_DATA every write goes to the end of the file.
            // FILE_READ_DATA is what LockFileEx asks for. Others may read,
            // write, rename and delete the file while it is open here:
            // another run, a viewer, the rotation. A reparse point (a
            // symbolic link, a junction) is opened as itself, and refused.
            const HANDLE file = CreateFileW(wide.c_str(), FILE_APPEND_DATA | FILE_READ_DATA | SYNCHRONIZE, kShareAll,
                                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                            nullptr);
            if (file == INVALID_HANDLE_VALUE) {
                m_failure = failureLine(path, windowsErrorText(GetLastError()));
                return;
            }
            BY_HANDLE_FILE_INFORMATION info{};
            std::string_view refusal;
            if (GetFileInformationByHandle(file, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                refusal = msg::kRunLogIsALink;
            else if (GetFileType(file) != FILE_TYPE_DISK)
                refusal = msg::kRunLogNotAFile;
            if (!refusal.empty()) {
                CloseHandle(file);
                m_failure = failureLine(path, refusal);
                return;
            }
            LARGE_INTEGER size{};
            const bool full = GetFileSizeEx(file, &size) && static_cast<std::uintmax_t>(size.QuadPart) >= kRunLogBound;
            if (full && attempt < 4) {
                // Only the run that still finds the full file under the log's
                // name moves it; one that waited for its turn while another
                // moved it starts over with the new file.
                bool moved = true;
                {
                    const Turn turn(file);
                    if (sameFile(file, wide))
                        moved = MoveFileExW(wide.c_str(), rotated.c_str(), MOVEFILE_REPLACE_EXISTING);
                }
                const DWORD error = GetLastError();
                CloseHandle(file);
                if (!moved) {
                    m_failure = failureLine(path, windowsErrorText(error));
                    return;
                }
                continue;
            }
            m_file = file;
            return;
        }
    } catch (...) {
        m_failure = failureLine({}, msg::kOutOfMemory);
    }
}

RunLog::~RunLog()
{
    if (isOpen())
        CloseHandle(m_file);
}

std::string RunLog::append(const std::string& line)
{
    if (!isOpen())
        return m_failure;
    DWORD written = 0;
    const DWORD size = static_cast<DWORD>(line.size());
    BOOL ok = FALSE;
    {
        const Turn turn(m_file);
        ok = WriteFile(m_file, line.data(), size, &written, nullptr);
    }
    const DWORD error = GetLastError();
    CloseHandle(m_file);
    m_file = kNoLogFile;
    try {
        if (!ok)
            return failureLine(m_path, windowsErrorText(error));
        if (written != size)
            return failureLine(m_path,
                               formatText(msg::kRunLogShortWrite, {std::to_string(written), std::to_string(size)}));
    } catch (...) {
        return failureLine({}, msg::kOutOfMemory);
    }
    return {};
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
std::string errorText(int error) { return programText(std::strerror(error)); }

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

} // namespace

RunLog::RunLog(const std::string& path) : m_path(path)
{
    try {
        // The path's bytes are the system's; the text that tells of it is the program's.
        const std::string shown = programText(path);
        if (const int error = makeFolders(folderOf(path))) {
            m_failure = failureLine(shown, errorText(error));
            return;
        }
        const std::string rotated = path + ".1";
        for (int attempt = 0;; ++attempt) {
            // O_NONBLOCK: a FIFO with nobody reading it is refused at once
            // (ENXIO), and one with a reader is not waited on before it is
            // seen for what it is.
            const int fd = ::open(path.c_str(),
                                  O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK, 0600);
            if (fd < 0) {
                const int error = errno;
                m_failure = failureLine(shown, error == ELOOP   ? std::string(msg::kRunLogIsALink)
                                           : error == ENXIO ? std::string(msg::kRunLogNotAFile)
                                                            : errorText(error));
                return;
            }
            struct stat opened {};
            const bool known = ::fstat(fd, &opened) == 0;
            if (!known || !S_ISREG(opened.st_mode)) {
                const int error = errno;
                ::close(fd);
                m_failure = failureLine(shown, known ? std::string(msg::kRunLogNotAFile) : errorText(error));
                return;
            }
            if (static_cast<std::uintmax_t>(opened.st_size) >= kRunLogBound && attempt < 4) {
                // Two runs that both find the file full must not both move
                // it: the second would move the first one's new file over the
                // full one. They take turns, and only the one that still
                // finds the full file under the log's name moves it; the
                // other starts over with the new file. A file system without
                // locks still rotates, only without that care.
                ::flock(fd, LOCK_EX);
                struct stat named {};
                const bool moved = ::lstat(path.c_str(), &named) != 0 || named.st_dev != opened.st_dev ||
                                   named.st_ino != opened.st_ino || ::rename(path.c_str(), rotated.c_str()) == 0;
                const int error = errno;
                ::close(fd);  // lets the other run go on
                if (!moved) {
                    m_failure = failureLine(shown, errorText(error));
                    return;
                }
                continue;
            }
            m_file = fd;
            return;
        }
    } catch (...) {
        m_failure = failureLine({}, msg::kOutOfMemory);
    }
}

RunLog::~RunLog()
{
    if (isOpen())
        ::close(m_file);
}

std::string RunLog::append(const std::string& line)
{
    if (!isOpen())
        return m_failure;
    ssize_t written;
    do
        written = ::write(m_file, line.data(), line.size());
    while (written < 0 && errno == EINTR);
    const int writeError = errno;
    // The close's own error: a file system that writes late (NFS) tells of a
    // failed write only here.
    const int closeError = ::close(m_file) == 0 || errno == EINTR ? 0 : errno;
    m_file = kNoLogFile;
    try {
        const std::string shown = programText(m_path);
        if (written < 0)
            return failureLine(shown, errorText(writeError));
        if (static_cast<std::size_t>(written) != line.size())
            return failureLine(shown, formatText(msg::kRunLogShortWrite,
                                                 {std::to_string(written), std::to_string(line.size())}));
        if (closeError)
            return failureLine(shown, errorText(closeError));
    } catch (...) {
        return failureLine({}, msg::kOutOfMemory);
    }
    return {};
}

#endif
