#pragma once
// The one formatter of the program's texts: each "%s" or "%d" of a pattern is
// replaced by the next argument, in order (a number is passed already written
// out). Arguments are inserted as they are, so a "%s" inside one is not
// expanded again; a placeholder past the last argument stays as it is. Wide
// patterns are for the texts that name Windows paths, which need not fit any
// code page.

#include <initializer_list>
#include <string>
#include <string_view>

template <typename Char>
std::basic_string<Char> formatPattern(std::basic_string_view<Char> pattern,
                                      std::initializer_list<std::basic_string_view<Char>> args)
{
    std::basic_string<Char> text;
    text.reserve(pattern.size() + 64);
    auto next = args.begin();
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == Char('%') && i + 1 < pattern.size() && (pattern[i + 1] == Char('s') || pattern[i + 1] == Char('d')) &&
            next != args.end()) {
            text += *next++;
            ++i;
        } else {
            text += pattern[i];
        }
    }
    return text;
}

inline std::string formatText(std::string_view pattern, std::initializer_list<std::string_view> args)
{
    return formatPattern(pattern, args);
}

inline std::wstring formatText(std::wstring_view pattern, std::initializer_list<std::wstring_view> args)
{
    return formatPattern(pattern, args);
}
