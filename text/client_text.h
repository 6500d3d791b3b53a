#pragma once
// The bytes the Firebird client library takes for a database path, a user
// name and a password, and the bytes the system hands the program for the
// same (the command line, file names). On Windows both are the ERP's code
// page, Windows-1252. Elsewhere both are the character set of the locale in
// force (UTF-8 where none is set: see useLocaleCharacters), which the client
// converts from: a password in Windows-1252 there is "Bad international
// character in tag isc_dpb_password", and a folder named in it is not the
// folder on disk.
//
// The run without a window passes the command line's bytes to the client as
// they are; the window, which holds Unicode text, converts through here, so
// both hand the client the same bytes.

#include <string>
#include <string_view>

// Unicode text as the client's bytes. A character the character set lacks
// becomes "?"; U+DC80 to U+DCFF, what fromClientText makes of a byte that is
// no text, become that byte again.
std::string toClientText(std::u16string_view text);

// The client's (the system's) bytes as Unicode. A byte that does not belong
// to a character of the character set becomes U+DC00 + the byte, so that
// toClientText gives back exactly the bytes it was given.
std::u16string fromClientText(std::string_view bytes);

// The system's bytes (a command-line word, a file name, a system error's
// text) as the program's text, Windows-1252, a character it lacks as "?".
// On Windows the program's text is what the system gave already.
std::string programText(std::string_view systemBytes);

// The system's bytes as UTF-8, a byte that is no text as U+FFFD, for a file
// that must be UTF-8 whole (the run log). On Windows, the program's text as
// UTF-8.
std::string systemTextAsUtf8(std::string_view systemBytes);

// A line of one of the ERP's own files (the server list). The ERP writes
// them in Windows-1252, a person on this machine in the locale's character
// set: bytes that are text in the client's character set are taken as such,
// anything else as Windows-1252. On Windows, always Windows-1252.
std::u16string fromFileText(std::string_view bytes);

// Takes the character handling of the user's locale (LC_CTYPE only: numbers
// and dates keep the program's conventions), and UTF-8 where no locale is set,
// as the window toolkit does. The database client reads file names in it.
void useLocaleCharacters();

// The program's text (Windows-1252) as the bytes to write to a terminal or a
// log: UTF-8 where the locale's character set is UTF-8, or where no locale is
// set (the C locale: UTF-8 is what a current system expects there); otherwise
// that character set, with characters it lacks approximated or written as "?".
// On Windows, the program's bytes as they are.
std::string terminalText(std::string_view ansi);
