#include "app/console.h"

#include "config/ansi_text.h"
#include "posting/dataset.h"

#include <algorithm>
#include <cerrno>
#include <clocale>

#ifndef _WIN32
#include <iconv.h>
#include <langinfo.h>
#endif

namespace {

#ifndef _WIN32
// The character set of the locale in force (see useLocaleCharacters), read once.
const std::string& localeCharset()
{
    static const std::string charset = [] {
        std::string name = nl_langinfo(CODESET);
        std::string upper;
        for (char c : name)
            if (c != '-' && c != '_')
                upper += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
        return upper == "UTF8" || upper == "ANSIX3.41968" || upper == "ASCII" || upper.empty() ? std::string() : name;
    }();
    return charset;
}

std::string convertTo(const std::string& charset, std::string_view ansi)
{
    const std::string target = charset + "//TRANSLIT";
    iconv_t cd = iconv_open(target.c_str(), "WINDOWS-1252");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return ansiToUtf8(ansi);
    std::string out;
    std::string in(ansi);
    char* inPtr = in.data();
    std::size_t inLeft = in.size();
    char buffer[256];
    while (inLeft > 0) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t done = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        out.append(buffer, sizeof buffer - outLeft);
        if (done == static_cast<std::size_t>(-1) && errno != E2BIG) {
            // A character the locale cannot show at all.
            out += '?';
            ++inPtr;
            --inLeft;
        }
    }
    iconv_close(cd);
    return out;
}
#endif

} // namespace

void useLocaleCharacters()
{
#ifndef _WIN32
    const char* name = std::setlocale(LC_CTYPE, "");
    if (!name || std::string_view(name) == "C" || std::string_view(name) == "POSIX")
        std::setlocale(LC_CTYPE, "C.UTF-8");
#endif
}

std::string terminalText(std::string_view ansi)
{
#ifdef _WIN32
    // The console of Windows takes the system's code page as it is.
    return std::string(ansi);
#else
    const std::string& charset = localeCharset();
    return charset.empty() ? ansiToUtf8(ansi) : convertTo(charset, ansi);
#endif
}

void Console::line(std::FILE* stream, std::string_view text)
{
    const std::string bytes = terminalText(text);
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::fputc('\n', stream);
}

void Console::information(std::string_view text)
{
    line(m_out, text);
    std::fflush(m_out);
}

void Console::error(std::string_view text)
{
    line(m_err, text);
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
    line(m_out, text);
    for (std::size_t r = 0; r < set.recordCount(); ++r) {
        text.clear();
        for (int i = 0; i < 3; ++i)
            put(i, fields[i] ? set.displayText(r, *fields[i]) : std::string());
        while (!text.empty() && text.back() == ' ')
            text.pop_back();
        line(m_out, text);
    }
    std::fflush(m_out);
}
