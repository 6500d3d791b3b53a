// What Event Viewer reads of an event source and does with one of its
// entries, for each exit code of the program (app/exit_codes.h): the source's
// key in the Application log, its EventMessageFile expanded, that file loaded
// as data, and the entry's description formatted from the file's message
// table with the entry's one string in it (FormatMessageW, language 0).
// Wine keeps no event log and has no Event Viewer; these are the calls that
// make the description, on the registry and the file the installer left.
//
//   event_source_probe.exe SOURCE TEXT
//
// One line each, in UTF-8: "EventMessageFile: TYPE VALUE",
// "TypesSupported: TYPE VALUE", "Expanded: PATH", then "ID: DESCRIPTION" for
// each exit code's event ID (as "ID: no message (error N)" when the table has
// none). Exit code 1 when the key, the value or the file is missing.
#include "app/event_log.h"
#include "app/exit_codes.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string utf8(const std::wstring& text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                    nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0)
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

const char* typeName(DWORD type) {
  switch (type) {
  case REG_SZ: return "REG_SZ";
  case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
  case REG_DWORD: return "REG_DWORD";
  case REG_MULTI_SZ: return "REG_MULTI_SZ";
  case REG_BINARY: return "REG_BINARY";
  default: return "other";
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: event_source_probe SOURCE TEXT\n");
    return 2;
  }
  const std::wstring key = std::wstring(L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\") + argv[1];
  HKEY source = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &source) != ERROR_SUCCESS) {
    std::printf("no key HKLM\\%s\n", utf8(key).c_str());
    return 1;
  }
  // Read as they are stored: RegQueryValueExW leaves REG_EXPAND_SZ unexpanded.
  DWORD type = 0;
  wchar_t file[MAX_PATH * 2] = {};
  DWORD size = sizeof file - sizeof file[0];
  const bool haveFile =
      RegQueryValueExW(source, L"EventMessageFile", nullptr, &type, reinterpret_cast<BYTE*>(file), &size) ==
      ERROR_SUCCESS;
  if (haveFile)
    std::printf("EventMessageFile: %s %s\n", typeName(type), utf8(file).c_str());
  DWORD types = 0;
  size = sizeof types;
  if (RegQueryValueExW(source, L"TypesSupported", nullptr, &type, reinterpret_cast<BYTE*>(&types), &size) ==
      ERROR_SUCCESS)
    std::printf("TypesSupported: %s %lu\n", typeName(type), static_cast<unsigned long>(types));
  RegCloseKey(source);
  if (!haveFile)
    return 1;

  wchar_t expanded[MAX_PATH * 2];
  const DWORD length = ExpandEnvironmentStringsW(file, expanded, MAX_PATH * 2);
  if (length == 0 || length > MAX_PATH * 2)
    return 1;
  std::printf("Expanded: %s\n", utf8(expanded).c_str());
  const HMODULE messages = LoadLibraryExW(expanded, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!messages) {
    std::printf("cannot load it (error %lu)\n", GetLastError());
    return 1;
  }
  for (const ExitCodeMeaning& row : kExitCodes) {
    const DWORD id = kEventIdBase + static_cast<DWORD>(row.code);
    const DWORD_PTR strings[] = {reinterpret_cast<DWORD_PTR>(argv[2])};
    wchar_t text[4096];
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, messages, id, 0, text,
                                   sizeof text / sizeof text[0], reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(strings)));
    if (n == 0)
      std::printf("%lu: no message (error %lu)\n", static_cast<unsigned long>(id), GetLastError());
    else
      std::printf("%lu: %s\n", static_cast<unsigned long>(id), utf8(std::wstring(text, n)).c_str());
  }
  FreeLibrary(messages);
  return 0;
}
