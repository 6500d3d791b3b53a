#pragma once
// Where the window's text meets the database client and the system's bytes
// (the command line, the server list): through the client's own encoding
// (posting/client_text.h), not the program's single-byte code page, so that
// what a person types reaches the client as the run without a window hands
// it over.

#include "posting/client_text.h"

#include <QString>
#include <string>
#include <string_view>

inline QString toQString(const std::u16string& text)
{
    return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}

// The command line's bytes as the window shows them.
inline QString clientToQString(std::string_view bytes) { return toQString(fromClientText(bytes)); }

// A server list entry as the window shows it.
inline QString fileTextToQString(std::string_view bytes) { return toQString(fromFileText(bytes)); }

// What the window holds as the client takes it: server, user, password, company.
inline std::string qStringToClient(const QString& text)
{
    return toClientText(
        std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())));
}
