#pragma once
// The one formatter of the program's texts: each "%s" or "%d" of a pattern is
// replaced by the next argument, in order (a number is passed already written
// out). Arguments are inserted as they are, so a "%s" inside one is not
// expanded again; a placeholder past the last argument stays as it is.

#include <initializer_list>
#include <string>
#include <string_view>

inline std::string formatText(std::string_view pattern, std::initializer_list<std::string_view> args)
{
    std::string text;
    text.reserve(pattern.size() + 64);
    auto next = args.begin();
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && (pattern[i + 1] == 's' || pattern[i + 1] == 'd') &&
            next != args.end()) {
            text += *next++;
            ++i;
        } else {
            text += pattern[i];
        }
    }
    return text;
}
