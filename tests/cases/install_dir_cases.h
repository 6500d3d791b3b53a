#pragma once
// Cases for the installation directory lookup over registry export files.
// Plain C++ (no Qt), so that a console test program for Windows can run the
// same table.

#include <string>
#include <string_view>
#include <vector>

namespace cases {

// The ERP's key as an export writes it, with CR LF line ends.
inline const std::string kV5 = "Windows Registry Editor Version 5.00\r\n\r\n";
inline const std::string kV4 = "REGEDIT4\r\n\r\n";
inline const std::string kErpKey = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantel\\LedgaraERP2026]\r\n";

// What Unicode text in an export (a marked file, UTF-16 hex data) comes back
// as: bytes in the encoding of the platform's file names, Windows-1252 on
// Windows, UTF-8 elsewhere.
inline std::string nativeText([[maybe_unused]] const std::string& windows1252,
                              [[maybe_unused]] const std::string& utf8)
{
#ifdef _WIN32
    return windows1252;
#else
    return utf8;
#endif
}

// UTF-16 text as a UTF-16LE file with its byte-order mark, surrogates and
// all, for text that Latin-1 cannot carry.
inline std::string utf16File(std::u16string_view text)
{
    std::string bytes = "\xFF\xFE";
    for (char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

// The notice the user reads when the ERP's key is not there.
inline const std::string kKeyNotFoundNotice =
    "No se encontr\xF3" " la Clave HKEY_LOCAL_MACHINE\\Software\\Vantel\\LedgaraERP2026\\Directorio";

struct InstallDirCase {
    const char* name;
    std::string regFile;   // the export's text (Latin-1 bytes)
    bool utf16;            // hand it over as UTF-16LE with a byte-order mark
    bool informed;         // the key-not-found message is shown
    std::string directory; // the result, when no error
    std::string error;     // the exact error text, "" when none
};

inline const std::vector<InstallDirCase> kInstallDirCases = {
    // Key absent or unreachable.
    {"key absent: only a sibling key", kV5 + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantel\\LedgaraERP2025]\r\n"
                                             "\"Directorio\"=\"C:\\\\Old\"\r\n",
     false, true, "", ""},
    {"key absent: header only", kV5, false, true, "", ""},
    {"key absent: same path under another hive", kV5 + "[HKEY_CURRENT_USER\\Software\\Vantel\\LedgaraERP2026]\r\n"
                                                       "\"Directorio\"=\"C:\\\\User\"\r\n",
     false, true, "", ""},
    {"key absent: deleted further down the file", kV5 + kErpKey + "\"Directorio\"=\"C:\\\\ERP\"\r\n\r\n"
                                                        "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantel]\r\n",
     false, true, "", ""},
    {"key absent: the key is a prefix of a written one", kV5 + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantel\\LedgaraERP20267]\r\n",
     false, true, "", ""},

    // Key present, no directory, no message.
    {"value absent", kV5 + kErpKey + "\"Otro\"=\"C:\\\\ERP\"\r\n", false, false, "", ""},
    {"key present only as parent of a subkey", kV5 + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantel\\LedgaraERP2026\\Modulos]\r\n"
                                                     "\"Directorio\"=\"C:\\\\Sub\"\r\n",
     false, false, "", ""},
    {"default value is not Directorio", kV5 + kErpKey + "@=\"C:\\\\ERP\"\r\n", false, false, "", ""},
    {"value deleted further down the file", kV5 + kErpKey + "\"Directorio\"=\"C:\\\\ERP\"\r\n"
                                                            "\"Directorio\"=-\r\n",
     false, false, "", ""},
    {"REG_SZ empty string", kV5 + kErpKey + "\"Directorio\"=\"\"\r\n", false, false, "", ""},
    {"REG_BINARY with no data", kV5 + kErpKey + "\"Directorio\"=hex:\r\n", false, false, "", ""},
    {"REG_NONE with no data", kV5 + kErpKey + "\"Directorio\"=hex(0):\r\n", false, false, "", ""},

    // String values.
    {"REG_SZ plain", kV5 + kErpKey + "\"Directorio\"=\"C:\\\\ERP\"\r\n", false, false, "C:\\ERP", ""},
    {"REG_SZ trailing separator kept", kV5 + kErpKey + "\"Directorio\"=\"C:\\\\ERP\\\\\"\r\n", false, false,
     "C:\\ERP\\", ""},
    {"REG_SZ spaces kept", kV5 + kErpKey + "\"Directorio\"=\"  C:\\\\ERP \t\"\r\n", false, false, "  C:\\ERP \t", ""},
    {"REG_SZ escaped quote", kV5 + kErpKey + "\"Directorio\"=\"C:\\\\\\\"q\\\"\"\r\n", false, false, "C:\\\"q\"", ""},
    {"REG_SZ Latin-1 bytes as they stand", kV5 + kErpKey + "\"Directorio\"=\"C:\\\\Aplicaci\xF3n\"\r\n", false,
     false, "C:\\Aplicaci\xF3n", ""},
    {"REG_SZ from a UTF-16 file", kV5 + kErpKey + "\"Directorio\"=\"C:\\\\Aplicaci\xF3n\"\r\n", true, false,
     nativeText("C:\\Aplicaci\xF3n", "C:\\Aplicaci\xC3\xB3n"), ""},
    {"REG_SZ beyond the BMP from a UTF-16 file",
     utf16File(u"Windows Registry Editor Version 5.00\r\n\r\n"
               u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantel\\LedgaraERP2026]\r\n"
               u"\"Directorio\"=\"C:\\\\\U0001F600\U0001F600\"\r\n"),
     false, false, nativeText("C:\\??", "C:\\\xF0\x9F\x98\x80\xF0\x9F\x98\x80"), ""},
    {"REG_SZ with surrogates out of pairs from a UTF-16 file",
     utf16File(u"Windows Registry Editor Version 5.00\r\n\r\n"
               u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantel\\LedgaraERP2026]\r\n"
               u"\"Directorio\"=\"C:\xD83D\\\\\xDE00\xD83D\"\r\n"),
     false, false, nativeText("C:?\\??", "C:\xEF\xBF\xBD\\\xEF\xBF\xBD\xEF\xBF\xBD"), ""},
    {"REG_SZ from a UTF-8 file with its byte-order mark",
     "\xEF\xBB\xBF" + kV5 + kErpKey + "\"Directorio\"=\"C:\\\\Aplicaci\xC3\xB3n \xE2\x82\xAC\"\r\n", false, false,
     nativeText("C:\\Aplicaci\xF3n \x80", "C:\\Aplicaci\xC3\xB3n \xE2\x82\xAC"), ""},
    {"REGEDIT4 from a UTF-8 file with its byte-order mark",
     "\xEF\xBB\xBF" + kV4 + kErpKey + "\"Directorio\"=\"C:\\\\ERP\"\r\n", false, false, "C:\\ERP", ""},
    {"REG_SZ with CR CR LF line ends",
     "Windows Registry Editor Version 5.00\r\r\n\r\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantel\\LedgaraERP2026]\r\r\n"
     "\"Directorio\"=\"C:\\\\ERP\"\r\r\n",
     false, false, "C:\\ERP", ""},
    {"REG_SZ from a UTF-16 file with CR CR LF line ends",
     "Windows Registry Editor Version 5.00\r\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantel\\LedgaraERP2026]\r\r\n"
     "\"Directorio\"=\"C:\\\\ERP\"\r\r\n",
     true, false, "C:\\ERP", ""},
    {"REG_SZ with comments after the key and the value",
     kV5 + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantel\\LedgaraERP2026] ; [clave] del ERP\r\n"
           "\"Directorio\"=\"C:\\\\ERP;2\"\t; \"otro\"=\"D:\"\r\n",
     false, false, "C:\\ERP;2", ""},
    {"REG_SZ with a comment right after the value", kV5 + kErpKey + "\"Directorio\"=\"C:\\\\ERP\";x\r\n", false,
     false, "C:\\ERP", ""},
    {"value deleted by a line with a comment", kV5 + kErpKey + "\"Directorio\"=\"C:\\\\ERP\"\r\n"
                                                               "\"Directorio\"=- ; ya no\r\n",
     false, false, "", ""},
    {"REG_EXPAND_SZ with comments on its hex lines",
     kV5 + kErpKey + "\"Directorio\"=hex(2):43,00,3a,00,\\ ; sigue\r\n  5c,00,00,00 ; fin\r\n", false, false,
     "C:\\", ""},
    {"REG_SZ written as hex(1) with a NUL in the middle",
     kV5 + kErpKey + "\"Directorio\"=hex(1):43,00,3a,00,5c,00,45,00,00,00,58,00,00,00\r\n", false, false, "C:\\E",
     ""},
    {"REG_SZ names in other letter case", kV5 + "[hkey_local_machine\\software\\VANTEL\\ledgaraerp2026]\r\n"
                                                "\"DIRECTORIO\"=\"D:\\\\x\"\r\n",
     false, false, "D:\\x", ""},
    {"REG_SZ written twice: the later one counts", kV5 + kErpKey + "\"Directorio\"=\"A\"\r\n\r\n" + kErpKey
                                                       + "\"Directorio\"=\"B\"\r\n",
     false, false, "B", ""},
    {"REG_SZ with LF line ends, comments and blanks",
     "Windows Registry Editor Version 5.00\n; instalado por el ERP\n\n"
     "  [HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantel\\LedgaraERP2026]  \n"
     "\t\"Directorio\" = \"C:\\\\ERP\"  \n",
     false, false, "C:\\ERP", ""},
    {"REG_EXPAND_SZ left unexpanded (UTF-16 hex)",
     kV5 + kErpKey + "\"Directorio\"=hex(2):25,00,50,00,72,00,6f,00,67,00,72,00,61,00,6d,00,46,00,69,00,\\\r\n"
                     "  6c,00,65,00,73,00,25,00,5c,00,45,00,52,00,50,00,00,00\r\n",
     false, false, "%ProgramFiles%\\ERP", ""},
    {"REG_EXPAND_SZ left unexpanded (REGEDIT4 bytes)",
     kV4 + kErpKey + "\"Directorio\"=hex(2):25,50,72,6f,67,72,61,6d,46,69,6c,65,73,25,5c,45,52,50,00\r\n", false,
     false, "%ProgramFiles%\\ERP", ""},
    {"REG_EXPAND_SZ characters beyond Latin-1",
     kV5 + kErpKey + "\"Directorio\"=hex(2):43,00,3a,00,ac,20,00,01,f3,00,00,00\r\n", false, false,
     nativeText("C:\x80?\xF3", "C:\xE2\x82\xAC\xC4\x80\xC3\xB3"), ""},
    {"REG_EXPAND_SZ in capital hex digits", kV5 + kErpKey + "\"Directorio\"=hex(2):43,00,3A,00,5C,00,00,00\r\n",
     false, false, "C:\\", ""},
    {"REG_EXPAND_SZ in a UTF-16 file", kV5 + kErpKey + "\"Directorio\"=hex(2):43,00,3a,00,5c,00,00,00\r\n", true,
     false, "C:\\", ""},

    // Other types with data.
    {"REG_DWORD", kV5 + kErpKey + "\"Directorio\"=dword:00000001\r\n", false, false, "",
     "Invalid data type for 'Directorio'"},
    {"REG_DWORD with a comment", kV5 + kErpKey + "\"Directorio\"=dword:00000001 ; uno\r\n", false, false, "",
     "Invalid data type for 'Directorio'"},
    {"REG_BINARY with data", kV5 + kErpKey + "\"Directorio\"=hex:43,3a,00\r\n", false, false, "",
     "Invalid data type for 'Directorio'"},
    {"REG_MULTI_SZ", kV5 + kErpKey + "\"Directorio\"=hex(7):43,00,00,00,00,00\r\n", false, false, "",
     "Invalid data type for 'Directorio'"},
    {"REG_QWORD", kV5 + kErpKey + "\"Directorio\"=hex(b):01,00,00,00,00,00,00,00\r\n", false, false, "",
     "Invalid data type for 'Directorio'"},
    {"REG_NONE with data", kV5 + kErpKey + "\"Directorio\"=hex(0):43\r\n", false, false, "",
     "Invalid data type for 'Directorio'"},
};

// Files that are not registry exports: each must be refused with the whole
// message, naming the line and what is wrong on it.
struct RegFileErrorCase {
    const char* name;
    std::string regFile;
    bool utf16;
    int line;           // the line the error names
    std::string reason; // what the error says is wrong
};

inline const std::string kBadHeader = "se esperaba \"Windows Registry Editor Version 5.00\" o \"REGEDIT4\"";
inline const std::string kBadKey = "nombre de clave no v\xE1" "lido";
inline const std::string kOutsideKey = "valor fuera de una clave";
inline const std::string kBadValueName = "nombre de valor no v\xE1" "lido";
inline const std::string kBadString = "texto no v\xE1" "lido";
inline const std::string kBadDword = "n\xFA" "mero dword no v\xE1" "lido";
inline const std::string kBadHex = "datos hexadecimales no v\xE1" "lidos";
inline const std::string kBadLine = "l\xED" "nea no reconocida";

// The whole message for an export named "fixture.reg".
inline std::string regFileError(int line, const std::string& reason)
{
    return "Error en el archivo de registro fixture.reg, l\xED" "nea " + std::to_string(line) + ": " + reason;
}

inline const std::vector<RegFileErrorCase> kRegFileErrorCases = {
    {"empty file", "", false, 1, kBadHeader},
    {"unknown header", "Windows Registry Editor Version 6.00\r\n", false, 1, kBadHeader},
    {"header not on the first line", "\r\nREGEDIT4\r\n", false, 1, kBadHeader},
    {"UTF-16 big-endian mark", "\xFE\xFF" "Windows Registry Editor Version 5.00\r\n", false, 1, kBadHeader},
    {"UTF-8 mark twice", "\xEF\xBB\xBF\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n", false, 1, kBadHeader},
    {"value before any key", kV5 + "\"Directorio\"=\"C:\\\\ERP\"\r\n", false, 3, kOutsideKey},
    {"unknown hive", kV5 + "[HKEY_NOWHERE\\Software]\r\n", false, 3, kBadKey},
    {"key line not closed", kV5 + "[HKEY_LOCAL_MACHINE\\Software\r\n", false, 3, kBadKey},
    {"text after a key line that is no comment", kV5 + "[HKEY_LOCAL_MACHINE\\Software] x\r\n", false, 3, kBadKey},
    {"empty key name in the path", kV5 + "[HKEY_LOCAL_MACHINE\\Software\\\\Vantel]\r\n", false, 3, kBadKey},
    {"empty key name first in the path", kV5 + "[HKEY_LOCAL_MACHINE\\\\Software]\r\n", false, 3, kBadKey},
    {"key path ending in a separator", kV5 + "[HKEY_LOCAL_MACHINE\\Software\\]\r\n", false, 3, kBadKey},
    {"nothing after the hive's separator", kV5 + "[HKEY_LOCAL_MACHINE\\]\r\n", false, 3, kBadKey},
    {"empty key name under another hive", kV5 + "[HKEY_CURRENT_USER\\Software\\\\x]\r\n", false, 3, kBadKey},
    {"single backslash in a string", kV5 + kErpKey + "\"Directorio\"=\"C:\\ERP\"\r\n", false, 4, kBadString},
    {"string not closed", kV5 + kErpKey + "\"Directorio\"=\"C:\\\\ERP\r\n", false, 4, kBadString},
    {"text after the string", kV5 + kErpKey + "\"Directorio\"=\"C:\\\\ERP\" x\r\n", false, 4, kBadString},
    {"string closed only inside its comment", kV5 + kErpKey + "\"Directorio\"=\"C:\\\\ERP ; x\"y\r\n", false, 4,
     kBadString},
    {"value name not closed", kV5 + kErpKey + "\"Directorio=\"C:\\\\ERP\"\r\n", false, 4, kBadValueName},
    {"equals sign missing", kV5 + kErpKey + "\"Directorio\" \"C:\\\\ERP\"\r\n", false, 4, kBadValueName},
    {"unquoted value name", kV5 + kErpKey + "Directorio=\"C:\\\\ERP\"\r\n", false, 4, kBadLine},
    {"unknown data kind", kV5 + kErpKey + "\"Directorio\"=qword:1\r\n", false, 4, kBadLine},
    {"dword of nine digits", kV5 + kErpKey + "\"Directorio\"=dword:000000001\r\n", false, 4, kBadDword},
    {"dword not hex", kV5 + kErpKey + "\"Directorio\"=dword:12g4\r\n", false, 4, kBadDword},
    {"dword with text after it that is no comment", kV5 + kErpKey + "\"Directorio\"=dword:1 2\r\n", false, 4,
     kBadDword},
    {"dword with a sign", kV5 + kErpKey + "\"Directorio\"=dword:-1\r\n", false, 4, kBadDword},
    {"dword with a plus sign", kV5 + kErpKey + "\"Directorio\"=dword:+1\r\n", false, 4, kBadDword},
    {"dword written as 0x", kV5 + kErpKey + "\"Directorio\"=dword:0x10\r\n", false, 4, kBadDword},
    {"hex byte with a sign", kV5 + kErpKey + "\"Directorio\"=hex:-1\r\n", false, 4, kBadHex},
    {"hex type with a sign", kV5 + kErpKey + "\"Directorio\"=hex(-2):43\r\n", false, 4, kBadHex},
    {"hex byte not hex", kV5 + kErpKey + "\"Directorio\"=hex:4g\r\n", false, 4, kBadHex},
    {"hex byte of three digits", kV5 + kErpKey + "\"Directorio\"=hex:043\r\n", false, 4, kBadHex},
    {"hex list ending in a comma", kV5 + kErpKey + "\"Directorio\"=hex:43,3a,\r\n", false, 4, kBadHex},
    {"hex list ending in a comma before a comment", kV5 + kErpKey + "\"Directorio\"=hex:43,3a, ; x\r\n", false, 4,
     kBadHex},
    {"hex type not closed", kV5 + kErpKey + "\"Directorio\"=hex(2:43\r\n", false, 4, kBadHex},
    {"bad byte on a continuation line", kV5 + kErpKey + "\"Directorio\"=hex(2):43,00,\\\r\n  3a,zz\r\n", false, 5,
     kBadHex},
    {"continuation past the end of the file", kV5 + kErpKey + "\"Directorio\"=hex(2):43,00,\\", false, 4, kBadHex},
    {"error in a UTF-16 file", kV5 + kErpKey + "\"Directorio\"=\"C:\\ERP\"\r\n", true, 4, kBadString},
    {"error after CR CR LF line ends", "REGEDIT4\r\r\n\r\r\n" + kErpKey + "\"Directorio\"=dword:x\r\r\n", false, 4,
     kBadDword},
};

// Latin-1 text as a UTF-16LE file with its byte-order mark.
inline std::string toUtf16File(const std::string& latin1)
{
    std::string bytes = "\xFF\xFE";
    for (char c : latin1) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

} // namespace cases
