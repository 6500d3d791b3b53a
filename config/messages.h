#pragma once
// Every text of the installation and configuration code that can reach the
// user, in one place.
//
// The program's text is single-byte, in the system's 8-bit (ANSI) code page,
// Windows-1252 / Latin-1 on the ERP's Spanish installations. These source
// files are UTF-8, so accented letters are written as their Latin-1 bytes
// ("\xF3" is ó): each constant is then the very byte string the Windows
// program shows, and the window turns ANSI bytes into display text (Latin-1
// on Linux) where they meet it. A "\x.." escape is closed by ending the
// literal ("\xF3" "n"), because a following hex digit would extend it.

#include <string_view>

namespace msg {

// Information message when the ERP's registry key cannot be opened.
inline constexpr std::string_view kKeyNotFound =
    "No se encontr\xF3" " la Clave HKEY_LOCAL_MACHINE\\Software\\Vantel\\LedgaraERP2026\\Directorio";

// Errors of the installation directory lookup; %s is the value name.
inline constexpr std::string_view kFailedToGetData = "Failed to get data for '%s'";
inline constexpr std::string_view kInvalidDataType = "Invalid data type for '%s'";

// A server list line longer than the line buffer; also any other bound overrun.
inline constexpr std::string_view kRangeCheckError = "Range check error";

// The server drop-down could not take one more entry.
inline constexpr std::string_view kUnableToInsertLine = "Unable to insert a line";

// A registry export file (the registry's stand-in off Windows) that is not in
// the format the registry editor writes: %s the file, %d the line, %s what is wrong.
inline constexpr std::string_view kRegFileSyntaxError = "Error en el archivo de registro %s, l\xED" "nea %d: %s";

// What is wrong in such a file, for the last %s above.
inline constexpr std::string_view kRegFileBadHeader =
    "se esperaba \"Windows Registry Editor Version 5.00\" o \"REGEDIT4\"";
inline constexpr std::string_view kRegFileBadKey = "nombre de clave no v\xE1" "lido";
inline constexpr std::string_view kRegFileValueOutsideKey = "valor fuera de una clave";
inline constexpr std::string_view kRegFileBadValueName = "nombre de valor no v\xE1" "lido";
inline constexpr std::string_view kRegFileBadString = "texto no v\xE1" "lido";
inline constexpr std::string_view kRegFileBadDword = "n\xFA" "mero dword no v\xE1" "lido";
inline constexpr std::string_view kRegFileBadHex = "datos hexadecimales no v\xE1" "lidos";
inline constexpr std::string_view kRegFileBadLine = "l\xED" "nea no reconocida";
// Bounds that no export reaches (%d the bound in bytes): a line too long, a
// key whose values take too much.
inline constexpr std::string_view kRegFileLineTooLong = "l\xED" "nea de m\xE1" "s de %d bytes";
inline constexpr std::string_view kRegFileKeyTooBig = "los valores de la clave ocupan m\xE1" "s de %d bytes";

}  // namespace msg
