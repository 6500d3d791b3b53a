#pragma once
// Cases for splitting a raw command line into words. Plain C++ (no Qt), so
// that a console test program for Windows can run the same table.

#include <string>
#include <vector>

namespace cases {

struct SplitCase {
    const char* name;
    std::string raw;
    std::vector<std::string> words; // word 0 is the program
};

inline const std::vector<SplitCase> kSplitCases = {
    {"five arguments", "contardc.exe srv1 SYSDBA masterkey 01 S",
     {"contardc.exe", "srv1", "SYSDBA", "masterkey", "01", "S"}},
    {"six or more words", "p 1 2 3 4 5 6 7", {"p", "1", "2", "3", "4", "5", "6", "7"}},
    {"quoted stretch inside a word", "p ab\"c d\"e", {"p", "abc de"}},
    {"empty quote pair inside a word", "p ab\"\"cd", {"p", "abcd"}},
    {"quoted stretches side by side", "p \"a\"\"b\"", {"p", "ab"}},
    {"password with blanks in quotes", "p srv usr \"mi clave\" 01 S", {"p", "srv", "usr", "mi clave", "01", "S"}},
    {"empty quote pair as an argument moves the later ones up", "p srv usr \"\" 01 S",
     {"p", "srv", "usr", "01", "S"}},
    {"empty quote pairs and blanks before a word", "p \"\"\"\"  \"\" \t\"\"x", {"p", "x"}},
    {"three quotes open a stretch after the empty pair", "p \"\"\"a b\" c", {"p", "a b", "c"}},
    {"empty quote pair at the end", "p a \"\"", {"p", "a"}},
    {"lone quote at the end is no word", "p a \"", {"p", "a"}},
    {"unclosed quote runs to the end", "p \"a b  c", {"p", "a b  c"}},
    {"backslash escapes nothing", "p a\\\"b c\" d", {"p", "a\\b c", "d"}},
    {"program path with blanks, unquoted",
     "C:\\Program Files\\Vantel\\contardc.exe srv usr pw 01 S",
     {"C:\\Program", "Files\\Vantel\\contardc.exe", "srv", "usr", "pw", "01", "S"}},
    {"program path with blanks, quoted", "\"C:\\Program Files\\contardc.exe\" srv",
     {"C:\\Program Files\\contardc.exe", "srv"}},
    {"control characters separate", "p\x01" "a\x02" "b\tc\nd\re\x1F" "f\x20g", {"p", "a", "b", "c", "d", "e", "f", "g"}},
    {"DEL is a word character", "p a\x7F" "b", {"p", "a\x7F" "b"}},
    {"bytes 0x80-0xFF are word characters", "p \xA0x \xFF\x80 Cia\xF1" "a", {"p", "\xA0x", "\xFF\x80", "Cia\xF1" "a"}},
    {"leading and trailing separators", " \t p a \t ", {"p", "a"}},
    {"empty command line", "", {}},
    {"separators only", " \t\r\n", {}},
    {"NUL ends the command line", std::string("p a\0b", 5), {"p", "a"}},
};

// A double-byte code page: a lead byte takes the byte after it along, even a
// blank or a quote, so the character is never split.
struct DoubleByteCase {
    const char* name;
    std::string raw;
    std::vector<std::string> words;
};

inline const std::vector<DoubleByteCase> kDoubleByteCases = {
    {"lead byte before a blank", "p \x81 x", {"p", "\x81 x"}},
    {"lead byte before a quote", "p \x81\"a b", {"p", "\x81\"a", "b"}},
    {"lead byte inside a quoted stretch", "p \"\x81\"x\" y", {"p", "\x81\"x", "y"}},
    {"lead byte as the last byte", "p a\x81", {"p", "a\x81"}},
    {"single bytes around it", "p \xA1 b", {"p", "\xA1", "b"}},
};

// The arguments that the shell split already, empty ones included.
struct ArgvCase {
    const char* name;
    std::vector<std::string> argv; // argv[0] is the program
    std::vector<std::string> arguments;
};

inline const std::vector<ArgvCase> kArgvCases = {
    {"five arguments", {"contardc", "srv", "usr", "pw", "01", "S"}, {"srv", "usr", "pw", "01", "S"}},
    {"empty password moves the later ones up", {"contardc", "srv", "usr", "", "01", "S"}, {"srv", "usr", "01", "S"}},
    {"several empty arguments", {"contardc", "", "srv", "", "", "x"}, {"srv", "x"}},
    {"blanks are not empty", {"contardc", " ", "a b"}, {" ", "a b"}},
    {"program only", {"contardc"}, {}},
    {"six arguments kept", {"c", "1", "2", "3", "4", "5", "6"}, {"1", "2", "3", "4", "5", "6"}},
};

} // namespace cases
