#pragma once
// A connection's parameters: name=value lines kept in their order.
// Names are matched regardless of letter case; a line without "=" has no name.

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

// Names (fields, columns, parameters) compare without regard to ASCII letter
// case; other bytes of the 8-bit code page compare as they are.
inline bool sameName(std::string_view a, std::string_view b)
{
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [&](char x, char y) { return lower(x) == lower(y); });
}

class ParamList {
public:
    ParamList() = default;
    explicit ParamList(std::vector<std::string> lines) : m_lines(std::move(lines)) {}

    const std::vector<std::string>& lines() const { return m_lines; }
    // Index of the first line with that name, or -1.
    int indexOfName(std::string_view name) const;
    // Value of the first line with that name; empty when there is none.
    std::string value(std::string_view name) const;
    // Replaces the first line with that name in place by name=value, the name
    // spelled as given; appends when there is none; an empty value deletes it.
    void setValue(std::string_view name, std::string_view value);

private:
    std::vector<std::string> m_lines;
};
