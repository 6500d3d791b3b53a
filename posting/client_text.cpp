#include "posting/client_text.h"

#include "config/ansi_text.h"

#ifndef _WIN32
#include <cerrno>
#include <iconv.h>
#include <langinfo.h>
#endif

#ifdef _WIN32

std::string toClientText(std::u16string_view text) { return utf16ToAnsi(text); }

std::u16string fromClientText(std::string_view bytes) { return ansiToUtf16(bytes); }

std::u16string fromFileText(std::string_view bytes) { return ansiToUtf16(bytes); }

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

void appendCodePoint(std::u16string& out, char32_t c)
{
    if (c >= 0x10000) {
        out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
        out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
        out += static_cast<char16_t>(c);
    }
}

std::u16string fromUtf8(std::string_view bytes)
{
    std::u16string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const std::size_t length = lead < 0x80                    ? 1
                                   : lead >= 0xC2 && lead <= 0xDF ? 2
                                   : lead >= 0xE0 && lead <= 0xEF ? 3
                                   : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                                  : 0;
        char32_t c = length == 1 ? lead : length == 2 ? lead & 0x1Fu : length == 3 ? lead & 0x0Fu : lead & 0x07u;
        bool good = length > 0 && i + length <= bytes.size();
        for (std::size_t k = 1; good && k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            good = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3Fu);
        }
        // Overlong forms, surrogates and code points past U+10FFFF are no characters.
        good = good && !(length == 3 && c < 0x800) && !(length == 4 && (c < 0x10000 || c > 0x10FFFF)) &&
               !(c >= 0xD800 && c <= 0xDFFF);
        if (!good) {
            out += static_cast<char16_t>(kEscapeBase + lead);
            ++i;
            continue;
        }
        appendCodePoint(out, c);
        i += length;
    }
    return out;
}

std::string toUtf8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (isEscapedByte(text[i])) {
            out += static_cast<char>(c - kEscapeBase);
            continue;
        }
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00u);
        else if (c >= 0xD800 && c <= 0xDFFF)
            c = '?';
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
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

std::u16string unitsOf(const std::string& utf16le)
{
    std::u16string units;
    for (std::size_t i = 0; i + 1 < utf16le.size(); i += 2)
        units += static_cast<char16_t>(static_cast<unsigned char>(utf16le[i]) |
                                       (static_cast<unsigned char>(utf16le[i + 1]) << 8));
    return units;
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
        out += unitsOf(piece);
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
        const bool pair = text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                          text[i + 1] <= 0xDFFF;
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

std::u16string fromFileText(std::string_view bytes)
{
    std::u16string text = fromClientText(bytes);
    for (char16_t unit : text)
        if (isEscapedByte(unit))
            return ansiToUtf16(bytes);
    return text;
}

#endif
