#pragma once
// The program's text is single-byte, in the system's 8-bit code page, and is
// carried as bytes (std::string) from the registry, files, the command line
// and the database. Only where it meets the window does it become a QString.

#include <QString>
#include <string>

#ifdef _WIN32
inline QString ansiToQString(const std::string& bytes) { return QString::fromLocal8Bit(bytes.data(), qsizetype(bytes.size())); }
inline std::string qStringToAnsi(const QString& text) { return text.toLocal8Bit().toStdString(); }
#else
// Elsewhere the 8-bit code page is taken to be Latin-1, the code page of the
// ERP's Spanish installations less the few printable extras of 0x80-0x9F.
inline QString ansiToQString(const std::string& bytes) { return QString::fromLatin1(bytes.data(), qsizetype(bytes.size())); }
inline std::string qStringToAnsi(const QString& text) { return text.toLatin1().toStdString(); }
#endif
