#include "text/ansi_text.h"

#include "text/unicode.h"

#include <array>

namespace {

// 0x80-0x9F; the rest of the code page is Latin-1.
constexpr std::array<char16_t, 32> k80to9F = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char16_t toUnicode(unsigned char byte)
{
    return byte >= 0x80 && byte <= 0x9F ? k80to9F[byte - 0x80u] : char16_t(byte);
}

char toAnsi(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<char>(c);
    for (std::size_t i = 0; i < k80to9F.size(); ++i)
        if (k80to9F[i] == c)
            return static_cast<char>(0x80 + i);
    return '?';
}

} // namespace

std::u16string ansiToUtf16(std::string_view bytes)
{
    std::u16string text;
    text.reserve(bytes.size());
    for (char c : bytes)
        text += toUnicode(static_cast<unsigned char>(c));
    return text;
}

std::string utf16ToAnsi(std::u16string_view text)
{
    std::string bytes;
    bytes.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        // A character past U+FFFF (a surrogate pair), or a surrogate
        // without its partner, is not in the code page.
        const char32_t c = codePointAt(text, i);
        bytes += c > 0xFFFF || isSurrogate(c) ? '?' : toAnsi(static_cast<char16_t>(c));
    }
    return bytes;
}

std::string ansiToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (char b : bytes)
        appendUtf8(out, toUnicode(static_cast<unsigned char>(b)));
    return out;
}

#ifdef _WIN32

#include "config/windows_api.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the Windows API's wide strings are UTF-16");

std::wstring ansiToWide(std::string_view bytes)
{
    const std::u16string text = ansiToUtf16(bytes);
    return std::wstring(text.begin(), text.end());
}

std::string wideToAnsi(std::wstring_view text)
{
    return utf16ToAnsi(std::u16string(text.begin(), text.end()));
}

std::string windowsErrorText(unsigned long error)
{
    wchar_t text[512];
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                             sizeof text / sizeof text[0], nullptr);
    while (n > 0 && (text[n - 1] == L'\r' || text[n - 1] == L'\n' || text[n - 1] == L' ' || text[n - 1] == L'.'))
        --n;
    if (n == 0)
        return "Windows error " + std::to_string(error);
    return wideToAnsi(std::wstring_view(text, n));
}

#endif
