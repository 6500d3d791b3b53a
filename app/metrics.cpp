#include "app/metrics.h"

#include "app/messages.h"
#include "text/ansi_text.h"
#include "text/client_text.h"
#include "text/format.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

struct Metric {
    std::string_view name;
    std::string_view help;
};

constexpr Metric kLastRun{"contardc_last_run_timestamp_seconds", "When the last run ended, in seconds since 1970."};
constexpr Metric kLastSuccess{"contardc_last_success_timestamp_seconds",
                              "When a run last ended with exit code 0, in seconds since 1970; 0: never."};
constexpr Metric kDuration{"contardc_run_duration_seconds", "How long the last run took."};
constexpr Metric kExitCode{"contardc_exit_code",
                           "The last run's exit code: 0 posted; 75 try again later; 2, 77, 78 mend the job; 1 alert."};
constexpr Metric kDryRun{"contardc_dry_run", "1 when the last run was a dry run, which posts nothing."};
constexpr Metric kReceipts{"contardc_receipts", "The receipts the last run's posting came back with, by ESTADO."};

// A label's value: UTF-8, with the backslash, the double quote and the line
// feed escaped as the format has them.
std::string labelValue(std::string_view utf8)
{
    std::string out;
    for (char c : utf8) {
        if (c == '\\' || c == '"')
            out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    return out;
}

std::string labels(const std::string& company, bool niif)
{
    return "company=\"" + labelValue(systemTextAsUtf8(company)) + "\",ledger=\"" + (niif ? "niif" : "plain") + "\"";
}

// "# HELP", "# TYPE" and the sample's name with its labels, up to its value.
std::string head(const Metric& metric, const std::string& labelText)
{
    std::string text;
    text.append("# HELP ").append(metric.name).append(" ").append(metric.help).append("\n");
    text.append("# TYPE ").append(metric.name).append(" gauge\n");
    return text.append(metric.name).append("{").append(labelText).append("} ");
}

std::string sample(const Metric& metric, const std::string& labelText, const std::string& value)
{
    return head(metric, labelText) + value + "\n";
}

// Seconds with one decimal, whatever the locale's decimal point.
std::string tenths(double seconds)
{
    const long long t = static_cast<long long>(seconds * 10 + 0.5);
    return std::to_string(t / 10) + "." + std::to_string(t % 10);
}

#ifdef _WIN32
using SystemPath = std::wstring;
SystemPath systemPath(const std::string& path) { return ansiToWide(path); }

// 0 when the data was written to the temporary file and that moved over the
// file; otherwise the error.
unsigned long replaceFile(const wchar_t* temporary, const wchar_t* path, const char* data, unsigned long size)
{
    const HANDLE file =
        CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError();
    DWORD written = 0;
    const bool ok = WriteFile(file, data, size, &written, nullptr) && written == size && FlushFileBuffers(file);
    const DWORD error = ok ? 0 : GetLastError();
    CloseHandle(file);
    if (!ok) {
        DeleteFileW(temporary);
        return error ? error : ERROR_WRITE_FAULT;
    }
    if (!MoveFileExW(temporary, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD moved = GetLastError();
        DeleteFileW(temporary);
        return moved;
    }
    return 0;
}

std::string reason(unsigned long error) { return "Windows error " + std::to_string(error); }
#else
using SystemPath = std::string;
SystemPath systemPath(const std::string& path) { return path; }

// 0 when the data was written to the temporary file, flushed to the disk and
// the temporary file renamed over the file; otherwise errno. Async-signal-safe.
unsigned long replaceFile(const char* temporary, const char* path, const char* data, unsigned long size)
{
    // Readable by the collector, which runs as a user of its own.
    const int fd = ::open(temporary, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0)
        return static_cast<unsigned long>(errno);
    bool ok = true;
    for (unsigned long done = 0; ok && done < size;) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        done += ok ? static_cast<unsigned long>(n) : 0;
    }
    ok = ok && ::fsync(fd) == 0;
    int error = ok ? 0 : errno;
    ::close(fd);
    if (ok && ::rename(temporary, path) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok)
        ::unlink(temporary);
    return ok ? 0 : static_cast<unsigned long>(error ? error : EIO);
}

std::string reason(unsigned long error) { return programText(std::strerror(static_cast<int>(error))); }
#endif

SystemPath temporaryPath(const std::string& path)
{
#ifdef _WIN32
    return systemPath(path) + L".tmp-" + std::to_wstring(GetCurrentProcessId());
#else
    return path + ".tmp-" + std::to_string(::getpid());
#endif
}

// What the end of a run by a stop or the deadline writes: prepared at the
// start, kept to the end of the process (never freed: the end may come while
// main() is being left).
struct EndMetrics {
    SystemPath* path = nullptr;
    SystemPath* temporary = nullptr;
    std::string* heads[4] = {};  // last run, last success, duration, exit code, each up to its value
    std::string* dryRun = nullptr;  // the dry-run sample, whole
    long long lastSuccess = 0;
    char* buffer = nullptr;
    std::size_t size = 0;
};
EndMetrics g_end;

} // namespace

std::string metricsText(const MetricsRecord& record, long long lastSuccess)
{
    const std::string labelText = labels(record.company, record.niif);
    std::string text = sample(kLastRun, labelText, std::to_string(record.endedAt));
    text += sample(kLastSuccess, labelText, std::to_string(lastSuccess));
    text += sample(kDuration, labelText, tenths(record.seconds));
    text += sample(kExitCode, labelText, std::to_string(record.exitCode));
    text += sample(kDryRun, labelText, record.dryRun ? "1" : "0");
    if (!record.receipts.empty()) {
        text.append("# HELP ").append(kReceipts.name).append(" ").append(kReceipts.help).append("\n");
        text.append("# TYPE ").append(kReceipts.name).append(" gauge\n");
        for (const auto& [estado, count] : record.receipts)
            text.append(kReceipts.name)
                .append("{")
                .append(labelText)
                .append(",estado=\"")
                .append(labelValue(ansiToUtf8(estado)))
                .append("\"} ")
                .append(std::to_string(count))
                .append("\n");
    }
    return text;
}

std::optional<long long> lastSuccessIn(const std::string& text, const std::string& company, bool niif)
{
    const std::string start = std::string(kLastSuccess.name) + "{" + labels(company, niif) + "} ";
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        if (text.compare(at, start.size(), start) == 0) {
            long long value = 0;
            if (std::sscanf(text.c_str() + at + start.size(), "%lld", &value) == 1)
                return value;
        }
        at = end + 1;
    }
    return std::nullopt;
}

std::string writeMetrics(const std::string& path, const std::string& text)
{
    const SystemPath temporary = temporaryPath(path);
    const unsigned long error = replaceFile(temporary.c_str(), systemPath(path).c_str(), text.data(),
                                            static_cast<unsigned long>(text.size()));
    return error ? formatText(msg::kMetricsFailed, {programText(path), reason(error)}) : std::string();
}

void prepareEndMetrics(const std::string& path, const std::string& company, bool niif, bool dryRun)
{
    std::string earlier;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        char chunk[4096];
        for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
            earlier.append(chunk, n);
        std::fclose(file);
    }
    g_end.lastSuccess = lastSuccessIn(earlier, company, niif).value_or(0);
    const std::string labelText = labels(company, niif);
    g_end.path = new SystemPath(systemPath(path));
    g_end.temporary = new SystemPath(temporaryPath(path));
    const Metric* metrics[] = {&kLastRun, &kLastSuccess, &kDuration, &kExitCode};
    g_end.size = 256;
    for (int i = 0; i < 4; ++i) {
        g_end.heads[i] = new std::string(head(*metrics[i], labelText));
        g_end.size += g_end.heads[i]->size() + 32;
    }
    g_end.dryRun = new std::string(sample(kDryRun, labelText, dryRun ? "1" : "0"));
    g_end.size += g_end.dryRun->size();
    g_end.buffer = new char[g_end.size];
}

long long preparedLastSuccess() { return g_end.lastSuccess; }

void writeEndMetrics(int exitCode, long long endedAt, double seconds)
{
    if (!g_end.buffer)
        return;
    std::size_t length = 0;
    const auto add = [&](const char* text, std::size_t n) {
        for (std::size_t i = 0; i < n && length < g_end.size; ++i)
            g_end.buffer[length++] = text[i];
    };
    const auto number = [&](long long n) {
        char digits[24];
        int count = 0;
        unsigned long long u = n < 0 ? 0ull - static_cast<unsigned long long>(n) : static_cast<unsigned long long>(n);
        do {
            digits[count++] = static_cast<char>('0' + u % 10);
            u /= 10;
        } while (u > 0);
        if (n < 0)
            add("-", 1);
        while (count > 0)
            add(&digits[--count], 1);
    };
    const long long tenthsOfSeconds = static_cast<long long>(seconds * 10 + 0.5);
    const long long values[] = {endedAt, exitCode == 0 ? endedAt : g_end.lastSuccess};
    for (int i = 0; i < 4; ++i) {
        add(g_end.heads[i]->data(), g_end.heads[i]->size());
        if (i < 2) {
            number(values[i]);
        } else if (i == 2) {
            number(tenthsOfSeconds / 10);
            add(".", 1);
            number(tenthsOfSeconds % 10);
        } else {
            number(exitCode);
        }
        add("\n", 1);
    }
    add(g_end.dryRun->data(), g_end.dryRun->size());
    replaceFile(g_end.temporary->c_str(), g_end.path->c_str(), g_end.buffer, static_cast<unsigned long>(length));
}
