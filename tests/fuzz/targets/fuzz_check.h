#pragma once
// A broken property aborts, so that libFuzzer keeps the input that broke it
// next to the crashes it finds by itself.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

[[noreturn]] inline void fuzzFail(const char* file, int line, const char* condition, std::string_view detail)
{
    std::fprintf(stderr, "%s:%d: property broken: %s\n", file, line, condition);
    if (!detail.empty()) {
        std::string shown;
        for (char c : detail) {
            const auto b = static_cast<unsigned char>(c);
            if (b >= 0x20 && b < 0x7F && b != '\\') {
                shown += c;
            } else {
                char hex[5];
                std::snprintf(hex, sizeof hex, "\\x%02X", b);
                shown += hex;
            }
        }
        std::fprintf(stderr, "  %s\n", shown.c_str());
    }
    std::abort();
}

#define FUZZ_CHECK(condition, detail)                                  \
    do {                                                               \
        if (!(condition))                                              \
            fuzzFail(__FILE__, __LINE__, #condition, (detail));        \
    } while (0)

// ASCII letter case, as the registry and the connection parameters compare names.
inline std::string lowered(std::string_view s)
{
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

inline std::string swappedCase(std::string_view s)
{
    std::string out(s);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        else if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}
