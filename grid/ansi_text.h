#pragma once
// Where the program's single-byte text meets the toolkit: every control, the
// grid and the message boxes convert through these two, which use the
// program's one code-page conversion.

#include "config/ansi_text.h"

#include <QString>
#include <string>
#include <string_view>

inline QString ansiToQString(std::string_view bytes)
{
    const std::u16string text = ansiToUtf16(bytes);
    return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}

inline std::string qStringToAnsi(const QString& text)
{
    return utf16ToAnsi(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                           static_cast<std::size_t>(text.size())));
}
