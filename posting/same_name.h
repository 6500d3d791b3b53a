#pragma once
// Names (fields, columns) compare without regard to ASCII letter case; other
// bytes of the 8-bit code page compare as they are.

#include <algorithm>
#include <string_view>

inline bool sameName(std::string_view a, std::string_view b)
{
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [&](char x, char y) { return lower(x) == lower(y); });
}
