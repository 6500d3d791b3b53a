#pragma once
// Byte strings and lists of them as QByteArray, so that a failed QCOMPARE
// prints both sides (Qt Test prints QByteArray with its bytes escaped).

#include <QByteArray>

#include <string>
#include <vector>

inline QByteArray printable(const std::string& s)
{
    return QByteArray(s.data(), qsizetype(s.size()));
}

// The entries between brackets, separated by "|" and each one quoted, so that
// an empty entry and a missing one differ.
inline QByteArray printable(const std::vector<std::string>& list)
{
    QByteArray out = "[";
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (i > 0)
            out += '|';
        out += '"' + printable(list[i]) + '"';
    }
    return out + ']';
}
