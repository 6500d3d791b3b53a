#include "config/server_list.h"

#include "config/file_descriptor.h"
#include "config/messages.h"
#include "text/error.h"

#include <cstring>
#include <memory>
#include <stdexcept>

#ifdef _WIN32
#include "text/ansi_text.h"

#include "config/windows_api.h"
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

void ServerListParser::feed(std::string_view bytes)
{
    std::size_t i = 0;
    // The CR that ended the previous piece and the LF that starts this one
    // are one line end; any other byte already belongs to the next line.
    if (m_afterCr && !bytes.empty()) {
        m_afterCr = false;
        if (bytes[0] == '\n')
            i = 1;
    }
    while (i < bytes.size()) {
        std::size_t end = i;
        while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n')
            ++end;
        const std::string_view piece = bytes.substr(i, end - i);
        // The line may straddle pieces: its length so far counts.
        if (piece.size() > kServerLineMax - m_lineLength)
            throw ProgramError(std::string(msg::kRangeCheckError), ErrorKind::Configuration);
        m_lineLength += piece.size();
        // Past the bound the text would only be thrown away.
        if (!m_cut && m_entries.size() < kServerListMaxEntries) {
            const std::size_t nul = piece.find('\0');
            const std::string_view text = piece.substr(0, nul);
            std::memcpy(m_text.data() + m_textLength, text.data(), text.size());
            m_textLength += text.size();
            m_cut = nul != std::string_view::npos;
        }
        if (end == bytes.size())
            return;
        endLine();
        i = end + 1;
        // A CR alone ends its line and leaves the next byte to the next line,
        // so that a file written with old Mac line ends keeps every server
        // name whole; only a directly following LF goes with it.
        if (bytes[end] == '\r') {
            if (i == bytes.size()) {
                m_afterCr = true;
                return;
            }
            if (bytes[i] == '\n')
                ++i;
        }
    }
}

void ServerListParser::endLine()
{
    if (m_entries.size() < kServerListMaxEntries)
        m_entries.emplace_back(m_text.data(), m_textLength);
    m_textLength = 0;
    m_lineLength = 0;
    m_cut = false;
}

std::vector<std::string> ServerListParser::finish() &&
{
    return std::move(m_entries);
}

std::vector<std::string> parseServerList(std::string_view bytes)
{
    ServerListParser parser;
    parser.feed(bytes);
    return std::move(parser).finish();
}

namespace {

// A piece of the file at a time from the heap: a stack of 64 KB is more than
// some threads have.
std::unique_ptr<char[]> readBuffer()
{
    return std::make_unique<char[]>(kServerListReadSize);
}

} // namespace

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

} // namespace

std::vector<std::string> readServerList(const std::string& path)
{
    // Share mode 0: while the list is read, nobody else can open the file,
    // and a file that another process has open cannot be opened here. The
    // path is the program's Windows-1252 text, named to Windows in UTF-16:
    // the ANSI call would read it in the system's code page.
    const Handle file(CreateFileW(ansiToWide(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid())
        return {};
    // Only a file on disk is a server list: a directory named in the
    // registry could otherwise lead to a pipe or a device, whose reading
    // waits on another program and would stall the start-up.
    if (GetFileType(file.get()) != FILE_TYPE_DISK)
        return {};
    const std::unique_ptr<char[]> buffer = readBuffer();
    ServerListParser parser;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), buffer.get(), static_cast<DWORD>(kServerListReadSize), &got, nullptr))
            return {};
        if (got == 0)
            return std::move(parser).finish();
        parser.feed(std::string_view(buffer.get(), got));
    }
}

#else

std::vector<std::string> readServerList(const std::string& path)
{
    // O_NONBLOCK keeps a FIFO of that name from stalling the start-up; it is
    // refused as not a regular file right after.
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (file.get() < 0)
        return {};
    struct stat info {};
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return {};
    // The lock plays the part of Windows' share mode 0 among the programs
    // that take it; it goes with the descriptor when the file is closed.
    if (::flock(file.get(), LOCK_EX | LOCK_NB) != 0)
        return {};
    const std::unique_ptr<char[]> buffer = readBuffer();
    ServerListParser parser;
    for (;;) {
        const ssize_t got = ::read(file.get(), buffer.get(), kServerListReadSize);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return {};
        }
        if (got == 0)
            return std::move(parser).finish();
        parser.feed(std::string_view(buffer.get(), static_cast<std::size_t>(got)));
    }
}

#endif
