#pragma once
// Where the program's text meets the toolkit. Two kinds of bytes reach a
// control: the program's single-byte text (Windows-1252: messages, captions
// from the registry, the rows the database returns) and the client's bytes
// (the command line, the server list, what the user types for the database
// client: text/client_text.h). Every control, the grid and the message boxes
// convert through these, which use the program's one conversion of each.

#include "text/ansi_text.h"
#include "text/client_text.h"

#include <QString>
#include <string>
#include <string_view>

inline QString toQString(std::u16string_view text)
{
    return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}

inline std::u16string_view utf16Of(const QString& text)
{
    return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())};
}

inline QString ansiToQString(std::string_view bytes) { return toQString(ansiToUtf16(bytes)); }

inline std::string qStringToAnsi(const QString& text) { return utf16ToAnsi(utf16Of(text)); }

// The command line's bytes as the window shows them.
inline QString clientToQString(std::string_view bytes) { return toQString(fromClientText(bytes)); }

// A server list entry as the window shows it.
inline QString fileTextToQString(std::string_view bytes) { return toQString(fromFileText(bytes)); }

// What the window holds as the client takes it: server, user, password, company.
inline std::string qStringToClient(const QString& text) { return toClientText(utf16Of(text)); }
