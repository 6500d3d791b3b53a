#include "text/client_text.h"

#include "text/ansi_text.h"
#include "text/unicode.h"

#include <clocale>

#ifndef _WIN32
#include <cerrno>
#include <iconv.h>
#include <langinfo.h>
#endif

#ifdef _WIN32

std::string toClientText(std::u16string_view text) { return utf16ToAnsi(text); }

std::u16string fromClientText(std::string_view bytes) { return ansiToUtf16(bytes); }

std::u16string fromFileText(std::string_view bytes) { return ansiToUtf16(bytes); }

std::string programText(std::string_view systemBytes) { return std::string(systemBytes); }

std::string systemTextAsUtf8(std::string_view systemBytes) { return ansiToUtf8(systemBytes); }

#else

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

bool isEscapedByte(char16_t unit) { return unit >= 0xDC80 && unit <= 0xDCFF; }

// The locale's character set, or "" for UTF-8: also where the locale is the
// C one (plain ASCII), which the program and the toolkit both replace by UTF-8.
std::string localeCharset()
{
    const std::string name = nl_langinfo(CODESET);
    std::string folded;
    for (char c : name)
        if (c != '-' && c != '_')
            folded += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    if (folded.empty() || folded == "UTF8" || folded == "ANSIX3.41968" || folded == "ASCII")
        return {};
    return name;
}

std::u16string fromUtf8(std::string_view bytes)
{
    return utf8ToUtf16(bytes, [](unsigned char byte) { return static_cast<char16_t>(kEscapeBase + byte); });
}

std::string toUtf8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (isEscapedByte(text[i])) {
            out += static_cast<char>(text[i] - kEscapeBase);
            continue;
        }
        const char32_t c = codePointAt(text, i);
        appendUtf8(out, isSurrogate(c) ? U'?' : c);
    }
    return out;
}

// Another character set of the locale (an ISO 8859 one, say), through iconv.
class Converter {
public:
    Converter(const std::string& to, const std::string& from) : m_cd(iconv_open(to.c_str(), from.c_str())) {}
    ~Converter()
    {
        if (ok())
            iconv_close(m_cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    // Converts as much of `in` as it can, appending to `out`; returns false
    // at the first input it cannot convert, with `in` left there.
    bool convert(std::string_view& in, std::string& out)
    {
        char* inPtr = const_cast<char*>(in.data());
        std::size_t inLeft = in.size();
        char buffer[256];
        for (;;) {
            char* outPtr = buffer;
            std::size_t outLeft = sizeof buffer;
            const std::size_t done = iconv(m_cd, &inPtr, &inLeft, &outPtr, &outLeft);
            out.append(buffer, sizeof buffer - outLeft);
            if (done != static_cast<std::size_t>(-1) || errno != E2BIG)
                break;
        }
        in = std::string_view(inPtr, inLeft);
        // Back to the initial shift state for whatever comes next.
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        return inLeft == 0;
    }

private:
    iconv_t m_cd;
};

// The program's text in another character set of the locale: a character
// it lacks approximated where iconv knows how, else "?".
std::string ansiToCharset(const std::string& charset, std::string_view ansi)
{
    Converter converter(charset + "//TRANSLIT", "WINDOWS-1252");
    if (!converter.ok())
        return ansiToUtf8(ansi);
    std::string out;
    while (!ansi.empty()) {
        if (!converter.convert(ansi, out)) {
            out += '?';
            ansi.remove_prefix(1);
        }
    }
    return out;
}

std::u16string fromCharset(const std::string& charset, std::string_view bytes)
{
    Converter converter("UTF-16LE", charset);
    if (!converter.ok())
        return fromUtf8(bytes);
    std::u16string out;
    std::string piece;
    while (!bytes.empty()) {
        piece.clear();
        const bool whole = converter.convert(bytes, piece);
        out += utf16leUnits(piece);
        if (!whole) {
            out += static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(bytes.front()));
            bytes.remove_prefix(1);
        }
    }
    return out;
}

std::string toCharset(const std::string& charset, std::u16string_view text)
{
    Converter converter(charset, "UTF-16LE");
    if (!converter.ok())
        return toUtf8(text);
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (isEscapedByte(text[i])) {
            out += static_cast<char>(text[i] - kEscapeBase);
            continue;
        }
        // One character at a time: a pair of surrogates is one.
        const bool pair = isHighSurrogate(text[i]) && i + 1 < text.size() && isLowSurrogate(text[i + 1]);
        std::string utf16le;
        for (std::size_t k = i; k <= i + (pair ? 1 : 0); ++k) {
            utf16le += static_cast<char>(text[k] & 0xFF);
            utf16le += static_cast<char>(text[k] >> 8);
        }
        i += pair ? 1 : 0;
        std::string_view in(utf16le);
        std::string bytes;
        out += converter.convert(in, bytes) ? bytes : std::string("?");
    }
    return out;
}

} // namespace

std::string toClientText(std::u16string_view text)
{
    const std::string charset = localeCharset();
    return charset.empty() ? toUtf8(text) : toCharset(charset, text);
}

std::u16string fromClientText(std::string_view bytes)
{
    const std::string charset = localeCharset();
    return charset.empty() ? fromUtf8(bytes) : fromCharset(charset, bytes);
}

std::string programText(std::string_view systemBytes) { return utf16ToAnsi(fromClientText(systemBytes)); }

std::string systemTextAsUtf8(std::string_view systemBytes)
{
    std::u16string text = fromClientText(systemBytes);
    for (char16_t& unit : text)
        if (isEscapedByte(unit))
            unit = u'\uFFFD';
    return toUtf8(text);
}

std::u16string fromFileText(std::string_view bytes)
{
    std::u16string text = fromClientText(bytes);
    for (char16_t unit : text)
        if (isEscapedByte(unit))
            return ansiToUtf16(bytes);
    return text;
}

#endif

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
    const std::string charset = localeCharset();
    return charset.empty() ? ansiToUtf8(ansi) : ansiToCharset(charset, ansi);
#endif
}
