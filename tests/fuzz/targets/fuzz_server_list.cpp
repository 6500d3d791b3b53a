// Reading the bytes of the server list file.

#include "config/server_list.h"
#include "fuzz_check.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct Reading {
    std::vector<std::string> entries;
    bool rangeError = false;
};

Reading readOrFail(std::string_view bytes)
{
    Reading reading;
    try {
        reading.entries = parseServerList(bytes);
    } catch (const std::runtime_error& error) {
        // The only failure is the overlong line, and its text is exact.
        FUZZ_CHECK(std::string_view(error.what()) == "Range check error", error.what());
        reading.rangeError = true;
    } catch (...) {
        FUZZ_CHECK(false, "an exception other than std::runtime_error");
    }
    return reading;
}

// The same rules said another way: make every line end a single LF (a CR
// LF pair first, then a CR alone), then cut at the LFs.
Reading expectedReading(std::string_view bytes)
{
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            continue;
        text += bytes[i] == '\r' ? '\n' : bytes[i];
    }
    Reading expected;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find('\n', start);
        const std::string_view line =
            std::string_view(text).substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (line.size() > kServerLineMax) {
            expected.entries.clear();
            expected.rangeError = true;
            return expected;
        }
        if (end == std::string::npos)
            return expected;
        if (expected.entries.size() < kServerListMaxEntries)
            expected.entries.emplace_back(line.substr(0, line.find('\0')));
        start = end + 1;
    }
}

std::string joined(const std::vector<std::string>& entries)
{
    std::string all;
    for (const std::string& e : entries)
        all += e + '|';
    return all;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const Reading reading = readOrFail(bytes);

    if (reading.rangeError) {
        FUZZ_CHECK(reading.entries.empty(), joined(reading.entries));
    } else {
        // Every entry fits the line buffer and is one line's text: the
        // connection step puts it verbatim into the database path.
        for (const std::string& entry : reading.entries) {
            FUZZ_CHECK(entry.size() <= kServerLineMax, entry);
            FUZZ_CHECK(entry.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos, entry);
        }
    }

    const Reading expected = expectedReading(bytes);
    FUZZ_CHECK(reading.rangeError == expected.rangeError, joined(reading.entries));
    FUZZ_CHECK(reading.entries == expected.entries, joined(reading.entries) + " expected " + joined(expected.entries));

    // Read in pieces, as from a file: the same entries wherever the seams fall.
    if (size > 1) {
        const std::size_t piece = 1 + data[0] % 16;
        Reading pieces;
        try {
            ServerListParser parser;
            for (std::size_t at = 0; at < size; at += piece)
                parser.feed(bytes.substr(at, piece));
            pieces.entries = std::move(parser).finish();
        } catch (const std::runtime_error&) {
            pieces.rangeError = true;
        }
        FUZZ_CHECK(pieces.rangeError == reading.rangeError && pieces.entries == reading.entries,
                   joined(pieces.entries) + " in pieces of " + std::to_string(piece));
    }

    // An overlong line stays overlong whatever follows it in the file.
    if (size > 1) {
        const Reading firstHalf = readOrFail(bytes.substr(0, size / 2));
        FUZZ_CHECK(!firstHalf.rangeError || reading.rangeError, joined(reading.entries));
    }
    return 0;
}
