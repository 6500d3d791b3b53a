#include "app/event_log.h"

std::string eventSubject(const std::string& server, const std::string& company, bool niif)
{
    return server + ", company " + company + (niif ? ", NIIF" : ", plain");
}

#ifndef _WIN32

std::string openEventLog(const std::string&) { return {}; }

std::string reportRunEvent(int, bool, const std::string&) { return {}; }

void reportRunEventNow(int, const char*, int) {}

#else

#include "app/messages.h"
#include "config/windows_api.h"
#include "text/ansi_text.h"
#include "text/format.h"

#include <algorithm>
#include <atomic>

namespace {

// Registered once at the start of the run and only read afterwards: the end
// by a stop or the deadline writes through it from its own thread, where
// nothing may be allocated or locked. Whichever end owns the run takes it.
std::atomic<HANDLE> g_source{nullptr};
static_assert(std::atomic<HANDLE>::is_always_lock_free);

// The source the installer registers in the Application log, with
// contardc.exe as its message file. An unregistered one (the zip, unpacked
// anywhere) still writes: Windows puts its entries in the Application log, and
// Event Viewer shows the text without the description of the ID.
constexpr wchar_t kSource[] = L"contardc";

// The longest insertion string ReportEventW takes.
constexpr std::size_t kMaxText = 31839;

// What every entry begins with ("SERVER, company 01, plain: "), made at the
// start for the end by a stop or the deadline; cut to fit.
wchar_t g_subject[1024];
std::size_t g_subjectLength = 0;

std::string failureLine(DWORD error)
{
    return formatText(msg::kEventLogNotWritten, {windowsErrorText(error)});
}

// One event ID per exit code; the message table (app/event_messages.mc) has
// the same IDs, each showing the entry's one string.
DWORD eventId(int exitCode) { return kEventIdBase + static_cast<DWORD>(exitCode); }

bool report(HANDLE source, WORD type, int exitCode, const wchar_t* text)
{
    const wchar_t* strings[] = {text};
    return ReportEventW(source, type, 0, eventId(exitCode), nullptr, 1, 0, strings, nullptr) != FALSE;
}

} // namespace

std::string openEventLog(const std::string& subject)
{
    if (g_source.load())
        return {};
    const std::wstring text = ansiToWide(subject) + L": ";
    g_subjectLength = std::min(text.size(), sizeof g_subject / sizeof g_subject[0] - 1);
    text.copy(g_subject, g_subjectLength);
    g_subject[g_subjectLength] = L'\0';
    const HANDLE source = RegisterEventSourceW(nullptr, kSource);
    if (!source)
        return failureLine(GetLastError());
    g_source.store(source);
    return {};
}

std::string reportRunEvent(int exitCode, bool reportLost, const std::string& outcome)
{
    const HANDLE source = g_source.exchange(nullptr);
    if (!source)
        return {};
    const WORD type = exitCode != 0 ? EVENTLOG_ERROR_TYPE
                      : reportLost  ? EVENTLOG_WARNING_TYPE
                                    : EVENTLOG_INFORMATION_TYPE;
    std::wstring text = std::wstring(g_subject, g_subjectLength) + ansiToWide(outcome);
    if (text.size() > kMaxText)
        text.resize(kMaxText);
    const bool written = report(source, type, exitCode, text.c_str());
    const DWORD error = written ? 0 : GetLastError();
    DeregisterEventSource(source);
    return written ? std::string() : failureLine(error);
}

void reportRunEventNow(int exitCode, const char* outcome, int length)
{
    const HANDLE source = g_source.exchange(nullptr);
    if (!source)
        return;
    // The end's line is ASCII, whose bytes are their own UTF-16 code units;
    // the line never holds more than 512.
    wchar_t text[sizeof g_subject / sizeof g_subject[0] + 512];
    std::size_t n = 0;
    for (; n < g_subjectLength; ++n)
        text[n] = g_subject[n];
    for (int i = 0; i < length && n < sizeof text / sizeof text[0] - 1; ++i, ++n) {
        const auto byte = static_cast<unsigned char>(outcome[i]);
        text[n] = byte < 0x80 ? static_cast<wchar_t>(byte) : L'?';
    }
    text[n] = L'\0';
    // Exit code 0 here is a stop that came after the commit: posted, as the
    // run's own end would have said (whether its report reached standard
    // output is not known on this path).
    report(source, exitCode != 0 ? EVENTLOG_ERROR_TYPE : EVENTLOG_INFORMATION_TYPE, exitCode, text);
}

#endif
