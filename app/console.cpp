#include "app/console.h"

#include "text/ansi_text.h"
#include "text/client_text.h"
#include "posting/dataset.h"

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#ifdef _WIN32
#include <windows.h>
#include <io.h>
#endif

namespace {

#ifdef _WIN32
bool isConsole(HANDLE handle)
{
    DWORD mode = 0;
    return handle && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

// A file, a pipe or the NUL device the starter put there.
bool redirected(HANDLE handle)
{
    return handle && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN &&
           !isConsole(handle);
}

HANDLE streamHandle(std::FILE* stream)
{
    const int fd = _fileno(stream);
    return fd < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

// errno for a write that Windows refused, so that the report names the
// reason as the C library's writes do: the reader gone, the disk full.
int errnoOf(DWORD error)
{
    switch (error) {
    case ERROR_NO_DATA:
    case ERROR_BROKEN_PIPE:
    case ERROR_PIPE_NOT_CONNECTED: return EPIPE;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    default: return EIO;
    }
}

enum class Written { Whole, Failed, LeftToTheCLibrary };

// The standard streams go by the handles Windows gives the process, which
// the C library of a windowed program may not have taken up; other streams,
// by their own handle when it is a console. A stream that is left to the C
// library (a file the caller opened) is not written here. A failed write
// sets errno.
Written writeLine(std::FILE* stream, std::string_view ansi)
{
    HANDLE handle = INVALID_HANDLE_VALUE;
    if (stream == stdout)
        handle = GetStdHandle(STD_OUTPUT_HANDLE);
    else if (stream == stderr)
        handle = GetStdHandle(STD_ERROR_HANDLE);
    else if (handle = streamHandle(stream); !isConsole(handle))
        return Written::LeftToTheCLibrary;
    std::fflush(stream);
    if (isConsole(handle)) {
        // Through the console's own Unicode call, the text reads the same
        // whatever code page the console was left in.
        std::u16string text = ansiToUtf16(ansi);
        text += u"\r\n";
        const wchar_t* data = reinterpret_cast<const wchar_t*>(text.data());
        std::size_t left = text.size();
        while (left > 0) {
            DWORD written = 0;
            const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(left, 16384));
            if (!WriteConsoleW(handle, data, piece, &written, nullptr) || written == 0) {
                errno = errnoOf(GetLastError());
                return Written::Failed;
            }
            data += written;
            left -= written;
        }
    } else if (handle && handle != INVALID_HANDLE_VALUE) {
        std::string bytes(ansi);
        bytes += "\r\n";
        const char* data = bytes.data();
        std::size_t left = bytes.size();
        while (left > 0) {
            DWORD written = 0;
            const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(left, 1 << 20));
            if (!WriteFile(handle, data, piece, &written, nullptr) || written == 0) {
                errno = errnoOf(GetLastError());
                return Written::Failed;
            }
            data += written;
            left -= written;
        }
    }
    // With neither a console nor a redirection there is nowhere to write:
    // the exit code is all the starter gets.
    return Written::Whole;
}
#endif

} // namespace

#ifndef _WIN32
void useStartingConsole() {}
#else
void useStartingConsole()
{
    const bool outRedirected = redirected(GetStdHandle(STD_OUTPUT_HANDLE));
    const bool errRedirected = redirected(GetStdHandle(STD_ERROR_HANDLE));
    if (outRedirected && errRedirected)
        return;
    // Started by Task Scheduler or from Explorer there is no console to join:
    // the exit code is then all the starter gets.
    if (!AttachConsole(ATTACH_PARENT_PROCESS) && GetLastError() != ERROR_ACCESS_DENIED)
        return;
    const HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, 0, nullptr);
    if (console == INVALID_HANDLE_VALUE)
        return;
    if (!outRedirected)
        SetStdHandle(STD_OUTPUT_HANDLE, console);
    if (!errRedirected)
        SetStdHandle(STD_ERROR_HANDLE, console);
}
#endif

bool isJournalStream(int fd)
{
#ifdef _WIN32
    (void)fd;
    return false;
#else
    const char* names = std::getenv("JOURNAL_STREAM");
    unsigned long long device = 0;
    unsigned long long inode = 0;
    struct stat opened {};
    return names && std::sscanf(names, "%llu:%llu", &device, &inode) == 2 && fd >= 0 && ::fstat(fd, &opened) == 0 &&
           static_cast<unsigned long long>(opened.st_dev) == device &&
           static_cast<unsigned long long>(opened.st_ino) == inode;
#endif
}

Console::Console(std::FILE* out, std::FILE* err)
    : m_out(out), m_err(err), m_outJournal(isJournalStream(::fileno(out))), m_errJournal(isJournalStream(::fileno(err)))
{
}

bool Console::line(std::FILE* stream, std::string_view text, std::string_view prefix)
{
#ifdef _WIN32
    if (const Written written = writeLine(stream, text); written != Written::LeftToTheCLibrary)
        return written == Written::Whole;
#endif
    std::string bytes;
    if (prefix.empty()) {
        bytes = terminalText(text);
    } else {
        // The journal reads a priority at the start of every line.
        const std::string whole = terminalText(text);
        for (std::size_t at = 0; at <= whole.size();) {
            const std::size_t end = std::min(whole.find('\n', at), whole.size());
            bytes.append(prefix).append(whole, at, end - at);
            if (end < whole.size())
                bytes += '\n';
            at = end + 1;
        }
    }
    bytes += '\n';
    return std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size();
}

void Console::endReport(bool written)
{
    int error = written ? 0 : errno;
    // A write the stream buffered fails only when it is flushed.
    const bool flushed = std::fflush(m_out) == 0;
    if (!flushed && error == 0)
        error = errno;
    const bool failed = !written || !flushed || std::ferror(m_out);
    if (failed && m_outError == 0)
        m_outError = error != 0 ? error : EIO;
}

std::string Console::reportLostReason() const
{
    if (m_outError == 0)
        return {};
    // strerror speaks the locale's encoding; the program's text is Windows-1252.
    return utf16ToAnsi(fromClientText(std::strerror(m_outError)));
}

void Console::information(std::string_view text)
{
    errno = 0;
    endReport(line(m_out, text, m_outJournal ? "<6>" : ""));
}

void Console::warning(std::string_view text)
{
    if (line(m_err, text, m_errJournal ? "<4>" : ""))
        std::fflush(m_err);
}

void Console::error(std::string_view text)
{
    // Where standard error is gone too, the exit code is all that tells.
    if (line(m_err, text, m_errJournal ? "<3>" : ""))
        std::fflush(m_err);
}

void Console::rows(const ClientDataSet& set)
{
    if (set.isEmpty())
        return;
    const char* const names[] = {"PREF", "NUMERO", "ESTADO"};
    const Field* fields[3];
    std::size_t widths[3];
    for (int i = 0; i < 3; ++i) {
        fields[i] = set.findField(names[i]);
        widths[i] = std::max<std::size_t>(std::char_traits<char>::length(names[i]),
                                          fields[i] ? static_cast<std::size_t>(fields[i]->size()) : 0);
    }
    std::string text;
    auto put = [&](int column, const std::string& value) {
        text += value;
        if (column < 2)
            text.append(widths[column] - std::min(widths[column], value.size()) + 2, ' ');
    };
    for (int i = 0; i < 3; ++i)
        put(i, names[i]);
    errno = 0;
    bool written = line(m_out, text, m_outJournal ? "<6>" : "");
    // Once a write has failed the rest are not tried: its reader is gone or
    // the device full, and the failure is what the run reports.
    for (std::size_t r = 0; written && r < set.recordCount(); ++r) {
        text.clear();
        for (int i = 0; i < 3; ++i)
            put(i, fields[i] ? set.displayText(r, *fields[i]) : std::string());
        while (!text.empty() && text.back() == ' ')
            text.pop_back();
        written = line(m_out, text, m_outJournal ? "<6>" : "");
    }
    endReport(written);
}
