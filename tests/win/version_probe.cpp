// What Windows reads from a program file's resources, as Explorer's
// Details tab and Apps & Features do: the fixed and the string version
// (GetFileVersionInfoW, VerQueryValueW) and the number of icons
// (ExtractIconExW). One "Name: value" line each; exit code 1 when the file
// has no version resource at all.
//
//   version_probe.exe FILE
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// The UTF-8 bytes of a wide string, for the test script's comparisons.
std::string utf8(const wchar_t* text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return {};
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: version_probe FILE\n");
    return 2;
  }
  const wchar_t* file = argv[1];
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(file, &ignored);
  if (size == 0) {
    std::printf("no version resource (error %lu)\n", GetLastError());
    return 1;
  }
  std::vector<unsigned char> block(size);
  if (!GetFileVersionInfoW(file, 0, size, block.data())) {
    std::printf("GetFileVersionInfoW failed (error %lu)\n", GetLastError());
    return 1;
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed != nullptr) {
    std::printf("FileVersion (fixed): %u.%u.%u.%u\n", HIWORD(fixed->dwFileVersionMS),
                LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
    std::printf("ProductVersion (fixed): %u.%u.%u.%u\n", HIWORD(fixed->dwProductVersionMS),
                LOWORD(fixed->dwProductVersionMS), HIWORD(fixed->dwProductVersionLS),
                LOWORD(fixed->dwProductVersionLS));
    std::printf("FileType: %s\n", fixed->dwFileType == VFT_APP   ? "application"
                                  : fixed->dwFileType == VFT_DLL ? "DLL"
                                                                 : "other");
  } else {
    std::printf("FileVersion (fixed): none\n");
  }
  // The text block of the first language and code page the file names.
  struct Translation {
    WORD language;
    WORD codepage;
  };
  Translation* translations = nullptr;
  if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations),
                      &length) ||
      length < sizeof(Translation)) {
    std::printf("Translation: none\n");
    return 1;
  }
  wchar_t prefix[64];
  swprintf(prefix, 64, L"\\StringFileInfo\\%04x%04x\\", translations[0].language, translations[0].codepage);
  std::printf("Translation: %04x %u\n", translations[0].language, translations[0].codepage);
  for (const wchar_t* name : {L"FileVersion", L"ProductVersion", L"ProductName", L"FileDescription",
                              L"CompanyName", L"LegalCopyright", L"InternalName", L"OriginalFilename"}) {
    std::wstring path = std::wstring(prefix) + name;
    wchar_t* value = nullptr;
    if (VerQueryValueW(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) && value != nullptr)
      std::printf("%s: %s\n", utf8(name).c_str(), utf8(value).c_str());
    else
      std::printf("%s: (none)\n", utf8(name).c_str());
  }
  std::printf("Icons: %u\n", ExtractIconExW(file, -1, nullptr, nullptr, 0));
  return 0;
}
