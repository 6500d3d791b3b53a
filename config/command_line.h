#pragma once
// The program's command line: five positional arguments (server, database
// user, password, company code, IFRS flag).

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The length in bytes of the character that starts `rest` (never 0 and never
// more than rest.size()). A double-byte code page steps over a lead byte and
// its partner together, so that such a character is never split.
using CharStep = std::size_t (*)(std::string_view rest);

// One byte is one character: the single-byte code pages, Windows-1252 among them.
std::size_t singleByteStep(std::string_view rest);

// The words of a raw command line, word 0 (the program as written) included:
//   - before each word, bytes 0x01-0x20 (blanks and control characters) and
//     empty quote pairs "" are skipped, repeatedly;
//   - a word runs to the next such byte or the end; a double quote inside it
//     opens a quoted stretch, in which separators are ordinary, up to the next
//     double quote or the end; the quotes are dropped and nothing escapes a
//     quote, so ab"c d"e is abc de and ab""cd is abcd;
//   - bytes 0x80-0xFF are word characters;
//   - a NUL ends the command line, as it ends the system's string.
// A word can only be empty at the very end (a lone opening quote); it is no
// argument and is left out, so "" written as an argument never takes a place:
// the arguments after it move up one.
std::vector<std::string> splitCommandLine(std::string_view raw, CharStep step = singleByteStep);

// The program's arguments 1..N, in order (index 0 holds argument 1).
// On Windows they are split by the rules above from GetCommandLineW, taken to
// Windows-1252 (a character outside it becomes "?") and stepped through one
// byte at a time, whatever the system's ANSI code page; argc/argv are not used. Elsewhere the shell has split
// them already: argv[1..] with every empty argument dropped and the later
// ones moved up, as the splitting drops an empty quote pair, so that a
// non-empty fifth argument still means the first four are non-empty.
std::vector<std::string> programArguments(int argc, char** argv);
