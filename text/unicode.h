#pragma once
// The Unicode encodings' own rules, written once: UTF-8 sequences, UTF-16
// surrogate pairs and little-endian UTF-16 bytes. What a malformed sequence
// or an unpaired surrogate becomes is the caller's choice, so each caller
// loops itself and decides on the spot.

#include <cstddef>
#include <string>
#include <string_view>

inline bool isHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
inline bool isLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
inline bool isSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

// The well-formed UTF-8 sequence at bytes[at]: its length, with its code
// point in `c`; 0 when none starts there (a stray or missing continuation
// byte, an overlong form, a surrogate, a code point past U+10FFFF, a
// sequence cut short by the end).
inline std::size_t decodeUtf8(std::string_view bytes, std::size_t at, char32_t& c)
{
    const auto lead = static_cast<unsigned char>(bytes[at]);
    const std::size_t length = lead < 0x80                    ? 1
                               : lead >= 0xC2 && lead <= 0xDF ? 2
                               : lead >= 0xE0 && lead <= 0xEF ? 3
                               : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                              : 0;
    c = length == 1 ? lead : length == 2 ? lead & 0x1Fu : length == 3 ? lead & 0x0Fu : lead & 0x07u;
    bool good = length > 0 && at + length <= bytes.size();
    for (std::size_t k = 1; good && k < length; ++k) {
        const auto next = static_cast<unsigned char>(bytes[at + k]);
        good = (next & 0xC0) == 0x80;
        c = (c << 6) | (next & 0x3Fu);
    }
    good = good && !(length == 3 && c < 0x800) && !(length == 4 && (c < 0x10000 || c > 0x10FFFF)) && !isSurrogate(c);
    return good ? length : 0;
}

// UTF-8 bytes as UTF-16; each byte that starts no well-formed sequence
// becomes what badByte(byte) gives.
template <typename BadByte>
std::u16string utf8ToUtf16(std::string_view bytes, BadByte badByte);

inline void appendUtf8(std::string& out, char32_t c)
{
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

inline void appendUtf16(std::u16string& out, char32_t c)
{
    if (c >= 0x10000) {
        out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
        out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
        out += static_cast<char16_t>(c);
    }
}

// The character at text[at], a surrogate pair joined into one (and `at`
// moved onto its second half); an unpaired surrogate is given as it is.
inline char32_t codePointAt(std::u16string_view text, std::size_t& at)
{
    const char32_t c = text[at];
    if (isHighSurrogate(c) && at + 1 < text.size() && isLowSurrogate(text[at + 1]))
        return 0x10000 + ((c - 0xD800) << 10) + (text[++at] - 0xDC00u);
    return c;
}

// One UTF-16 code unit from its two bytes, low first.
inline char16_t utf16leUnit(char low, char high)
{
    return static_cast<char16_t>(static_cast<unsigned char>(low) | (static_cast<unsigned char>(high) << 8));
}

// The bytes of UTF-16LE text as its code units; an odd last byte is not a
// character and is dropped.
inline std::u16string utf16leUnits(std::string_view bytes)
{
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        units += utf16leUnit(bytes[i], bytes[i + 1]);
    return units;
}

template <typename BadByte>
std::u16string utf8ToUtf16(std::string_view bytes, BadByte badByte)
{
    std::u16string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        char32_t c = 0;
        const std::size_t length = decodeUtf8(bytes, i, c);
        if (length == 0) {
            out += badByte(static_cast<unsigned char>(bytes[i]));
            ++i;
            continue;
        }
        appendUtf16(out, c);
        i += length;
    }
    return out;
}
