#include "grid/ansi_text.h"

#ifndef _WIN32
#include <array>
#endif

#ifdef _WIN32
QString gridTextFromAnsi(std::string_view bytes)
{
    return QString::fromLocal8Bit(bytes.data(), static_cast<qsizetype>(bytes.size()));
}
#else
// Elsewhere the code page is taken as Windows-1252, the one of the ERP's
// Spanish installations: Latin-1 plus the printable characters of 0x80-0x9F.
QString gridTextFromAnsi(std::string_view bytes)
{
    static constexpr std::array<char16_t, 32> k80to9F = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
        0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    };
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        text.append(byte >= 0x80 && byte <= 0x9F ? QChar(k80to9F[byte - 0x80u]) : QChar(byte));
    }
    return text;
}
#endif
