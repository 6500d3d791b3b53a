// Splitting the raw command line into the program's arguments, with a
// single-byte code page and with a double-byte one.

#include "config/command_line.h"
#include "fuzz_check.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

// A Shift-JIS style code page: a lead byte takes the byte after it along,
// whatever it is, as CharNextA does; only the end of the text stops it.
std::size_t doubleByteStep(std::string_view rest)
{
    if (rest.empty())
        return 0;
    const auto b = static_cast<unsigned char>(rest[0]);
    const bool lead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    return lead && rest.size() >= 2 ? 2 : 1;
}

bool isSeparatorChar(std::string_view c)
{
    return c.size() == 1 && static_cast<unsigned char>(c[0]) >= 0x01 && static_cast<unsigned char>(c[0]) <= 0x20;
}

std::vector<std::string_view> characters(std::string_view text, CharStep step)
{
    std::vector<std::string_view> chars;
    while (!text.empty()) {
        const std::size_t length = std::clamp<std::size_t>(step(text), 1, text.size());
        chars.push_back(text.substr(0, length));
        text.remove_prefix(length);
    }
    return chars;
}

std::string joined(const std::vector<std::string>& words)
{
    std::string all;
    for (const std::string& w : words)
        all += w + '|';
    return all;
}

void checkSplitting(std::string_view raw, CharStep step)
{
    const std::vector<std::string> words = splitCommandLine(raw, step);
    const std::string_view text = raw.substr(0, raw.find('\0'));

    for (const std::string& w : words) {
        // No empty word, so an empty argument never comes before a filled one.
        FUZZ_CHECK(!w.empty(), joined(words));
        FUZZ_CHECK(w.find('\0') == std::string::npos, joined(words));
        // Quote characters are dropped; a byte 0x22 survives only as the
        // second byte of a double-byte character.
        for (std::string_view c : characters(w, step))
            FUZZ_CHECK(c != "\"", joined(words));
    }

    // Nothing of the command line is lost or invented: its characters other
    // than quotes and separators are the words' characters other than the
    // separators that quoted stretches kept, in the same order.
    std::vector<std::string_view> expected;
    for (std::string_view c : characters(text, step)) {
        if (c != "\"" && !isSeparatorChar(c))
            expected.push_back(c);
    }
    std::vector<std::string_view> got;
    for (const std::string& w : words) {
        for (std::string_view c : characters(w, step)) {
            if (!isSeparatorChar(c))
                got.push_back(c);
        }
    }
    FUZZ_CHECK(got == expected, joined(words));

    // Only the last word can be empty (a lone opening quote): an empty
    // argument never takes a place before a later one.
    for (std::size_t n = 0; n + 1 < words.size(); ++n)
        FUZZ_CHECK(!words[n].empty(), joined(words));
}

// Words written back in quotes, one blank apart, split into the same words:
// every argument that the splitting can give can also be passed on.
void checkQuotedRoundTrip(std::string_view raw)
{
    const std::vector<std::string> words = splitCommandLine(raw);
    std::string written;
    for (const std::string& w : words)
        written += "\"" + w + "\" ";
    FUZZ_CHECK(splitCommandLine(written) == words, written);
}

// Off Windows the shell has split the words already; an empty one is
// dropped as an empty quote pair is, so the later ones move up.
void checkShellArguments(std::string_view raw)
{
    std::vector<std::string> words = {"contardc"};
    std::size_t start = 0;
    for (std::size_t nul = raw.find('\0'); nul != std::string_view::npos; nul = raw.find('\0', start)) {
        words.emplace_back(raw.substr(start, nul - start));
        start = nul + 1;
    }
    words.emplace_back(raw.substr(start));
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);

    std::vector<std::string> expected;
    for (std::size_t i = 1; i < words.size(); ++i) {
        if (!words[i].empty())
            expected.push_back(words[i]);
    }
    FUZZ_CHECK(programArguments(static_cast<int>(words.size()), argv.data()) == expected, joined(expected));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view raw(reinterpret_cast<const char*>(data), size);
    checkSplitting(raw, singleByteStep);
    checkSplitting(raw, doubleByteStep);
    checkQuotedRoundTrip(raw);
#ifndef _WIN32
    checkShellArguments(raw);
#endif
    return 0;
}
