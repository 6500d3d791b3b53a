#pragma once
// The program's text is single-byte, in the ERP's code page, Windows-1252, and
// is carried as bytes (std::string) from the registry, files, the command line
// and the database. This is the one place where those bytes become Unicode and
// back: the window, the grid and the console all convert through here.

#include <string>
#include <string_view>

// Windows-1252 bytes to UTF-16. The five bytes the code page leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the same value, so
// every byte has a character and converting back gives the same bytes.
std::u16string ansiToUtf16(std::string_view bytes);
// UTF-16 to Windows-1252; a character the code page cannot hold becomes "?".
std::string utf16ToAnsi(std::u16string_view text);
// Windows-1252 bytes to UTF-8, for a terminal, a log or a file.
std::string ansiToUtf8(std::string_view bytes);

#ifdef _WIN32
// The same two for the wide strings of the Windows API (wchar_t is UTF-16
// there). Every text that crosses into Windows or comes back from it goes
// through these, never through the system's ANSI code page, which need not
// be Windows-1252.
std::wstring ansiToWide(std::string_view bytes);
std::string wideToAnsi(std::wstring_view text);
// The system's text for a Windows error code (GetLastError's), in the
// program's text, without its line end and closing period; "Windows error N"
// when the system has none.
std::string windowsErrorText(unsigned long error);
#endif
