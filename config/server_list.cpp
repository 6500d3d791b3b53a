#include "config/server_list.h"

#include "config/messages.h"

#include <optional>
#include <stdexcept>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

std::string serverListPath(const std::string& installDir)
{
#ifdef _WIN32
    return installDir + "\\" + std::string(kServerListFileName);
#else
    return installDir + "/" + std::string(kServerListFileName);
#endif
}

std::vector<std::string> parseServerList(std::string_view bytes)
{
    std::vector<std::string> entries;
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char b = bytes[i];
        if (b == '\r' || b == '\n') {
            const std::string_view line = bytes.substr(lineStart, i - lineStart);
            entries.emplace_back(line.substr(0, line.find('\0')));
            // A CR followed by LF is one line end. A CR alone ends its line
            // and leaves the next byte to the next line, so a file written
            // with old Mac line ends keeps every server name whole.
            if (b == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
                ++i;
            lineStart = i + 1;
        } else if (i - lineStart + 1 > kServerLineMax) {
            throw std::runtime_error(std::string(kRangeCheckError));
        }
    }
    return entries;
}

#ifdef _WIN32

namespace {

class Handle {
public:
    explicit Handle(HANDLE h) : m_h(h) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle()
    {
        if (valid())
            CloseHandle(m_h);
    }
    bool valid() const { return m_h != INVALID_HANDLE_VALUE && m_h != nullptr; }
    HANDLE get() const { return m_h; }

private:
    HANDLE m_h;
};

std::optional<std::string> readExclusive(const std::string& path)
{
    // Share mode 0: while the list is read, nobody else can open the file,
    // and a file that another process has open cannot be opened here.
    const Handle file(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
    if (!file.valid())
        return std::nullopt;
    // Only a file on disk is a server list: a directory named in the
    // registry could otherwise lead to a pipe or a device, whose reading
    // waits on another program and would stall the start-up.
    if (GetFileType(file.get()) != FILE_TYPE_DISK)
        return std::nullopt;
    std::string bytes;
    char chunk[4096];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr))
            return std::nullopt;
        if (got == 0)
            return bytes;
        bytes.append(chunk, got);
    }
}

} // namespace

#else

namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int get() const { return m_fd; }

private:
    int m_fd;
};

std::optional<std::string> readExclusive(const std::string& path)
{
    // O_NONBLOCK keeps a FIFO of that name from stalling the start-up; it is
    // refused as not a regular file right after.
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (file.get() < 0)
        return std::nullopt;
    struct stat info {};
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    // The lock plays the part of Windows' share mode 0 among the programs
    // that take it; it goes with the descriptor when the file is closed.
    if (::flock(file.get(), LOCK_EX | LOCK_NB) != 0)
        return std::nullopt;
    std::string bytes;
    char chunk[4096];
    for (;;) {
        const ssize_t got = ::read(file.get(), chunk, sizeof chunk);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return std::nullopt;
        }
        if (got == 0)
            return bytes;
        bytes.append(chunk, static_cast<std::size_t>(got));
    }
}

} // namespace

#endif

std::vector<std::string> readServerList(const std::string& path)
{
    const std::optional<std::string> bytes = readExclusive(path);
    if (!bytes)
        return {};
    return parseServerList(*bytes);
}
