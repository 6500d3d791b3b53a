// The connection's name=value parameter list under a random series of
// settings and lookups.

#include "fuzz_check.h"
#include "posting/param_list.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

// The first line whose text before its first "=" is the name, in any ASCII
// letter case; a line without "=" names nothing.
std::ptrdiff_t firstLineNamed(const std::vector<std::string>& lines, std::string_view name)
{
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::size_t eq = lines[i].find('=');
        if (eq != std::string::npos && lowered(std::string_view(lines[i]).substr(0, eq)) == lowered(name))
            return static_cast<std::ptrdiff_t>(i);
    }
    return -1;
}

std::string joined(const std::vector<std::string>& lines)
{
    std::string all;
    for (const std::string& l : lines)
        all += l + '|';
    return all;
}

// Names are the program's own parameter names, so they hold no "=".
std::string nameFrom(FuzzedDataProvider& input)
{
    std::string name = input.ConsumeRandomLengthString(24);
    std::erase(name, '=');
    return name;
}

void checkLookup(const ParamList& params, std::string_view name)
{
    const std::vector<std::string>& lines = params.lines();
    const std::ptrdiff_t i = firstLineNamed(lines, name);
    FUZZ_CHECK(params.indexOfName(name) == i, joined(lines));
    FUZZ_CHECK(params.indexOfName(swappedCase(name)) == i, joined(lines));
    const std::string expected =
        i < 0 ? std::string() : lines[static_cast<std::size_t>(i)].substr(lines[static_cast<std::size_t>(i)].find('=') + 1);
    FUZZ_CHECK(params.value(name) == expected, joined(lines));
    FUZZ_CHECK(params.value(swappedCase(name)) == expected, joined(lines));
}

void checkSetting(ParamList& params, const std::string& name, const std::string& value)
{
    const std::vector<std::string> before = params.lines();
    const std::ptrdiff_t i = firstLineNamed(before, name);
    params.setValue(name, value);
    const std::vector<std::string>& after = params.lines();

    std::vector<std::string> expected = before;
    if (value.empty()) {
        // An empty value deletes the first line of that name and nothing else.
        if (i >= 0)
            expected.erase(expected.begin() + i);
        FUZZ_CHECK(after == expected, joined(after));
        return;
    }
    // Replaced in place, or appended; the other lines keep their text and order.
    if (i >= 0)
        expected[static_cast<std::size_t>(i)] = name + "=" + value;
    else
        expected.push_back(name + "=" + value);
    FUZZ_CHECK(after == expected, joined(after));
    FUZZ_CHECK(after.size() <= before.size() + 1, joined(after));
    FUZZ_CHECK(params.value(name) == value, joined(after));
    FUZZ_CHECK(params.value(swappedCase(name)) == value, joined(after));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    std::vector<std::string> lines;
    const std::size_t count = input.ConsumeIntegralInRange<std::size_t>(0, 16);
    for (std::size_t i = 0; i < count; ++i)
        lines.push_back(input.ConsumeRandomLengthString(40));
    ParamList params(lines);

    while (input.remaining_bytes() > 0) {
        const std::string name = nameFrom(input);
        switch (input.ConsumeIntegralInRange<int>(0, 3)) {
        case 0:
            checkLookup(params, name);
            break;
        case 1:
            checkSetting(params, name, "");
            break;
        default:
            checkSetting(params, name, input.ConsumeRandomLengthString(40));
            break;
        }
        checkLookup(params, name);
    }
    return 0;
}
