#include "config/reg_file_registry.h"
#include "text/format.h"

#include "config/file_descriptor.h"
#include "config/messages.h"
#include "text/error.h"

#include "text/unicode.h"

#ifdef _WIN32
#include "text/ansi_text.h"
#endif

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <optional>
#include <stdexcept>

#ifdef _WIN32
#include <filesystem>
#include <fstream>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr std::string_view kLocalMachine = "HKEY_LOCAL_MACHINE";
constexpr std::array<std::string_view, 4> kOtherHives = {
    "HKEY_CURRENT_USER", "HKEY_CLASSES_ROOT", "HKEY_USERS", "HKEY_CURRENT_CONFIG"};

// Registry names compare without regard to letter case. In 8-bit text the
// accented capitals of the code page fold too (not the multiplication sign
// 0xD7); in UTF-8 text those bytes are lead bytes, which fold alike on both
// sides of a comparison, so a name still matches only itself.
char foldByte(char c)
{
    const auto b = static_cast<unsigned char>(c);
    if ((b >= 'A' && b <= 'Z') || (b >= 0xC0 && b <= 0xDE && b != 0xD7))
        return static_cast<char>(b + 0x20);
    return c;
}

std::string fold(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = foldByte(c);
    return out;
}

bool equalsFolded(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (foldByte(a[i]) != foldByte(b[i]))
            return false;
    return true;
}

bool startsWithFolded(std::string_view s, std::string_view prefix)
{
    return s.size() >= prefix.size() && equalsFolded(s.substr(0, prefix.size()), prefix);
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// 1 to `maxDigits` hex digits and nothing else (no sign, no "0x").
std::optional<std::uint32_t> parseHex(std::string_view s, std::size_t maxDigits)
{
    std::uint32_t v = 0;
    const char* end = s.data() + s.size();
    if (s.empty() || s.size() > maxDigits || std::from_chars(s.data(), end, v, 16).ptr != end)
        return std::nullopt;
    return v;
}

// Unicode text from the file becomes text in the encoding of the program's
// paths, since what the program reads from the registry ends up in a path.
// On Windows that is the program's code page, Windows-1252: the very bytes it
// reads from the registry for the same value. Elsewhere it is UTF-8, or a
// folder with an accented name, written by the registry editor as UTF-16,
// would be looked for under a name that does not exist.
#ifdef _WIN32

std::string nativeFromUtf16(std::u16string_view text) { return utf16ToAnsi(text); }

// A byte that does not start a well-formed sequence becomes U+FFFD, which
// the code page then shows as "?".
std::string nativeFromUtf8(std::string_view bytes)
{
    return utf16ToAnsi(utf8ToUtf16(bytes, [](unsigned char) { return u'\xFFFD'; }));
}

#else

// A surrogate without its partner is no character and becomes U+FFFD.
std::string nativeFromUtf16(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t c = codePointAt(text, i);
        appendUtf8(out, isSurrogate(c) ? U'\xFFFD' : c);
    }
    return out;
}

std::string nativeFromUtf8(std::string_view bytes) { return std::string(bytes); }

#endif

// Text after the data of a line: nothing but blanks, or a comment.
bool onlyComment(std::string_view rest)
{
    rest = trim(rest);
    return rest.empty() || rest.front() == ';';
}

// An unquoted stretch without the comment that may end its line.
std::string_view uncommented(std::string_view s) { return trim(s.substr(0, s.find(';'))); }

// The text of a quoted string starting at s[pos] == '"'; pos ends past
// the closing quote. nullopt when it is not closed or has a stray "\".
std::optional<std::string> quoted(std::string_view s, std::size_t& pos)
{
    // The closing quote and the text's length first, so that a long text is
    // allocated once, with room for the NUL that a string value gets.
    std::size_t length = 0;
    std::size_t close = pos + 1;
    for (; close < s.size() && s[close] != '"'; ++close, ++length) {
        if (s[close] == '\\') {
            if (close + 1 >= s.size() || (s[close + 1] != '\\' && s[close + 1] != '"'))
                return std::nullopt;
            ++close;
        }
    }
    if (close >= s.size())
        return std::nullopt;
    std::string text;
    text.reserve(length + 1);
    for (++pos; pos < close; ++pos) {
        if (s[pos] == '\\')
            ++pos;
        text += s[pos];
    }
    pos = close + 1;
    return text;
}

// What a value takes as kRegFileKeyMax counts it.
std::size_t valueCost(std::size_t nameSize, std::size_t dataSize)
{
    return kRegFileValueBookkeeping + nameSize + dataSize;
}

std::string boundReason(std::string_view format, std::size_t bound)
{
    return formatText(format, {std::to_string(bound)});
}

// How many bytes at the end of `bytes` start a UTF-8 sequence that bytes
// still to come may complete: a lead byte and fewer continuation bytes than it
// announces. Those wait for the next piece, so that the conversion sees the
// sequence whole, as it would in the whole file.
std::size_t unfinishedUtf8Tail(std::string_view bytes)
{
    for (std::size_t back = 1; back <= std::min<std::size_t>(3, bytes.size()); ++back) {
        const auto b = static_cast<unsigned char>(bytes[bytes.size() - back]);
        if (b < 0x80)
            return 0;
        if (b >= 0xC0) {
            const std::size_t length = b >= 0xC2 && b <= 0xDF   ? 2
                                       : b >= 0xE0 && b <= 0xEF ? 3
                                       : b >= 0xF0 && b <= 0xF4 ? 4
                                                                : 0;
            return length > back ? back : 0;
        }
    }
    return 0;
}

class FileKey final : public RegistryKey {
public:
    explicit FileKey(RegFileRegistry::Values values) : m_values(std::move(values)) {}

    std::optional<std::uint32_t> valueSize(const std::string& name) override
    {
        const auto it = m_values.find(fold(name));
        if (it == m_values.end())
            return std::nullopt;
        return static_cast<std::uint32_t>(it->second.data.size());
    }

    std::optional<RegistryValue> readValue(const std::string& name, std::uint32_t size) override
    {
        const auto it = m_values.find(fold(name));
        if (it == m_values.end() || it->second.data.size() > size)
            return std::nullopt;
        return it->second;
    }

private:
    RegFileRegistry::Values m_values;
};

} // namespace

RegFileParser::RegFileParser(std::string fileNameForErrors, std::optional<std::string> onlyKey)
    : m_fileName(std::move(fileNameForErrors))
{
    if (onlyKey)
        m_onlyKey = fold(*onlyKey);
}

void RegFileParser::feed(std::string_view bytes)
{
    if (m_encoding == Encoding::Undecided) {
        // The byte-order mark, if any, is in the first three bytes.
        const std::size_t take = std::min(bytes.size(), 3 - m_head.size());
        m_head.append(bytes.substr(0, take));
        bytes.remove_prefix(take);
        if (m_head.size() < 3)
            return;
        decide();
    }
    switch (m_encoding) {
    case Encoding::Bytes:
        text(bytes);
        break;
    case Encoding::Utf8:
        decodeUtf8(bytes, false);
        break;
    case Encoding::Utf16:
        decodeUtf16(bytes);
        break;
    case Encoding::Undecided:
        break;
    }
}

void RegFileParser::decide()
{
    constexpr std::string_view kUtf16Mark = "\xFF\xFE";
    constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
    std::size_t mark = 0;
    if (m_head.compare(0, kUtf16Mark.size(), kUtf16Mark) == 0) {
        m_encoding = Encoding::Utf16;
        mark = kUtf16Mark.size();
    } else if (m_head.compare(0, kUtf8Mark.size(), kUtf8Mark) == 0) {
        m_encoding = Encoding::Utf8;
        mark = kUtf8Mark.size();
    } else {
        m_encoding = Encoding::Bytes;
    }
    const std::string rest = m_head.substr(mark);
    m_head.clear();
    feed(rest);
}

void RegFileParser::decodeUtf16(std::string_view bytes)
{
    // Converted a slice at a time, so that a file fed whole is not also held
    // whole once more as text.
    constexpr std::size_t kSliceUnits = kRegFileReadSize / 2;
    std::size_t i = 0;
    if (!m_carry.empty() && !bytes.empty()) {
        m_units += utf16leUnit(m_carry[0], bytes[0]);
        m_carry.clear();
        i = 1;
    }
    for (; i + 1 < bytes.size(); i += 2) {
        m_units += utf16leUnit(bytes[i], bytes[i + 1]);
        if (m_units.size() >= kSliceUnits)
            convertUnits();
    }
    if (i < bytes.size())
        m_carry.assign(1, bytes[i]);
    convertUnits();
}

// The units gathered so far become text, but for a last high surrogate: its
// partner may start the next piece.
void RegFileParser::convertUnits()
{
    char16_t held = 0;
    if (!m_units.empty() && isHighSurrogate(m_units.back())) {
        held = m_units.back();
        m_units.pop_back();
    }
    if (!m_units.empty())
        text(nativeFromUtf16(m_units));
    m_units.clear();
    if (held != 0)
        m_units += held;
}

void RegFileParser::decodeUtf8(std::string_view bytes, bool atEnd)
{
    std::string joined;
    if (!m_carry.empty()) {
        joined = std::move(m_carry);
        m_carry.clear();
        joined.append(bytes);
        bytes = joined;
    }
    const std::size_t whole = atEnd ? bytes.size() : bytes.size() - unfinishedUtf8Tail(bytes);
    m_carry.assign(bytes.substr(whole));
    if (whole > 0)
        text(nativeFromUtf8(bytes.substr(0, whole)));
}

// Text in the program's encoding, split into lines at each LF.
void RegFileParser::text(std::string_view text)
{
    for (;;) {
        const std::size_t end = text.find('\n');
        if (end == std::string_view::npos) {
            appendPartial(text);
            return;
        }
        if (m_partial.empty()) {
            line(text.substr(0, end));
        } else {
            appendPartial(text.substr(0, end));
            line(m_partial);
            // A long line's buffer is given back rather than kept for short ones.
            if (m_partial.capacity() > kRegFileReadSize)
                std::string().swap(m_partial);
            else
                m_partial.clear();
        }
        text.remove_prefix(end + 1);
    }
}

void RegFileParser::appendPartial(std::string_view piece)
{
    if (piece.size() > kRegFileLineMax - m_partial.size())
        fail(m_lineNumber + 1, boundReason(msg::kRegFileLineTooLong, kRegFileLineMax));
    m_partial.append(piece);
}

void RegFileParser::line(std::string_view line)
{
    ++m_lineNumber;
    if (line.size() > kRegFileLineMax)
        fail(boundReason(msg::kRegFileLineTooLong, kRegFileLineMax));
    // CR CR LF is what a CR LF file becomes after a pass through a program
    // that writes every LF as CR LF; the editor takes it.
    while (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);

    if (m_lineNumber == 1) {
        const std::string_view header = trim(line);
        if (header == kHeader5)
            m_unicode = true;
        else if (header != kHeader4)
            fail(msg::kRegFileBadHeader);
        m_result.m_keys[""];
        return;
    }
    if (m_hex) {
        hexLine(line);
        return;
    }
    line = trim(line);
    if (line.empty() || line.front() == ';')
        return;
    if (line.front() == '[')
        keyLine(line);
    else if (line.front() == '"' || line.front() == '@')
        valueLine(line);
    else
        fail(msg::kRegFileBadLine);
}

RegFileRegistry RegFileParser::finish() &&
{
    if (m_encoding == Encoding::Undecided)
        decide();
    if (m_encoding == Encoding::Utf8)
        decodeUtf8({}, true);
    // An odd last byte of UTF-16 is not a character and is dropped; a high
    // surrogate left without its partner becomes U+FFFD.
    if (m_encoding == Encoding::Utf16 && !m_units.empty()) {
        text(nativeFromUtf16(m_units));
        m_units.clear();
    }
    // The bytes after the last LF are a line too, empty or not.
    line(m_partial);
    if (m_hex)
        fail(msg::kRegFileBadHex);
    return std::move(m_result);
}

void RegFileParser::fail(std::size_t lineNumber, std::string_view reason) const
{
    throw ProgramError(formatText(msg::kRegFileSyntaxError, {m_fileName, std::to_string(lineNumber), reason}),
                       ErrorKind::Configuration);
}

void RegFileParser::fail(std::string_view reason) const { fail(m_lineNumber, reason); }

bool RegFileParser::holds(const std::string& key) const { return !m_onlyKey || key == *m_onlyKey; }

// The key that the values being read go to, when the reading keeps it.
RegFileRegistry::Key* RegFileParser::currentKeyHeld()
{
    if (!m_inLocalMachine || !holds(m_currentKey))
        return nullptr;
    return &m_result.m_keys[m_currentKey];
}

void RegFileParser::keyLine(std::string_view line)
{
    // The key ends at the first "]" that only blanks or a comment follow.
    std::size_t close = line.find(']');
    while (close != std::string_view::npos && !onlyComment(line.substr(close + 1)))
        close = line.find(']', close + 1);
    if (close == std::string_view::npos)
        fail(msg::kRegFileBadKey);
    std::string_view path = line.substr(1, close - 1);
    const bool remove = !path.empty() && path.front() == '-';
    if (remove)
        path.remove_prefix(1);

    const std::size_t slash = path.find('\\');
    const std::string_view hive = path.substr(0, slash);
    const std::string_view below = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
    // Every component must have a name: no "\\", no leading or trailing "\".
    if (slash != std::string_view::npos && (below.empty() || below.front() == '\\' || below.back() == '\\'
                                            || below.find("\\\\") != std::string_view::npos))
        fail(msg::kRegFileBadKey);

    m_inLocalMachine = equalsFolded(hive, kLocalMachine);
    if (!m_inLocalMachine) {
        if (std::none_of(kOtherHives.begin(), kOtherHives.end(),
                         [&](std::string_view other) { return equalsFolded(hive, other); }))
            fail(msg::kRegFileBadKey);
        m_inKey = !remove;
        return;
    }

    std::string key = fold(below);
    auto& keys = m_result.m_keys;
    if (remove) {
        m_inKey = false;
        if (key.empty()) {
            keys.clear();
            keys[""];
            return;
        }
        // The subkeys sort together right after "key\\", so a deletion
        // costs what it removes, not a walk over every key of the file.
        keys.erase(key);
        const std::string children = key + '\\';
        auto it = keys.lower_bound(children);
        while (it != keys.end() && it->first.compare(0, children.size(), children) == 0)
            it = keys.erase(it);
        return;
    }
    m_inKey = true;
    // Creating a key creates its parents, as importing the file would.
    if (!m_onlyKey) {
        for (std::size_t at = key.find('\\'); at != std::string::npos; at = key.find('\\', at + 1))
            keys[key.substr(0, at)];
        keys[key];
    } else {
        const std::string& only = *m_onlyKey;
        if (key == only
            || (key.size() > only.size() && key[only.size()] == '\\' && key.compare(0, only.size(), only) == 0))
            keys[only];
    }
    m_currentKey = std::move(key);
}

void RegFileParser::valueLine(std::string_view line)
{
    if (!m_inKey)
        fail(msg::kRegFileValueOutsideKey);
    std::size_t pos = 0;
    std::string name;
    if (line.front() == '@') {
        pos = 1;
    } else {
        auto text = quoted(line, pos);
        if (!text)
            fail(msg::kRegFileBadValueName);
        name = std::move(*text);
    }
    std::string_view rest = trim(line.substr(pos));
    if (rest.empty() || rest.front() != '=')
        fail(msg::kRegFileBadValueName);
    rest = trim(rest.substr(1));

    // The value written after "=": "-" is the deletion mark.
    if (uncommented(rest) == "-") {
        store(name, std::nullopt);
        return;
    }
    if (!rest.empty() && rest.front() == '"') {
        std::size_t at = 0;
        auto text = quoted(rest, at);
        if (!text || !onlyComment(rest.substr(at)))
            fail(msg::kRegFileBadString);
        text->push_back('\0');
        store(name, RegistryValue{RegistryType::Sz, std::move(*text)});
        return;
    }
    if (startsWithFolded(rest, "dword:")) {
        const auto number = parseHex(uncommented(rest.substr(6)), 8);
        if (!number)
            fail(msg::kRegFileBadDword);
        std::string data(4, '\0');
        for (std::size_t i = 0; i < 4; ++i)
            data[i] = static_cast<char>((*number >> (8 * i)) & 0xFF);
        store(name, RegistryValue{RegistryType::Dword, std::move(data)});
        return;
    }
    if (startsWithFolded(rest, "hex")) {
        rest.remove_prefix(3);
        RegistryType type = RegistryType::Binary;
        if (!rest.empty() && rest.front() == '(') {
            const std::size_t close = rest.find(')');
            const auto number = close == std::string_view::npos ? std::nullopt : parseHex(rest.substr(1, close - 1), 8);
            if (!number)
                fail(msg::kRegFileBadHex);
            type = static_cast<RegistryType>(*number);
            rest.remove_prefix(close + 1);
        }
        if (rest.empty() || rest.front() != ':')
            fail(msg::kRegFileBadHex);
        // The bytes of a key that is not held are checked, not collected.
        m_hex = PendingHex{std::move(name), type, {}, currentKeyHeld() != nullptr};
        hexLine(rest.substr(1));
        return;
    }
    fail(msg::kRegFileBadLine);
}

// One line of comma-separated bytes of two hex digits; a "\" at its end
// (before its comment, if any) carries the list on to the next line.
void RegFileParser::hexLine(std::string_view rest)
{
    PendingHex& hex = *m_hex;
    // The bytes the list may still collect before its key passes its bound.
    std::size_t room = std::string::npos;
    if (hex.kept) {
        const std::size_t used = currentKeyHeld()->held + valueCost(hex.name.size(), 0);
        room = used > kRegFileKeyMax ? 0 : kRegFileKeyMax - used;
    }
    rest = uncommented(rest);
    const bool more = !rest.empty() && rest.back() == '\\';
    if (more)
        rest = trim(rest.substr(0, rest.size() - 1));
    std::size_t from = 0;
    while (from < rest.size()) {
        std::size_t comma = rest.find(',', from);
        const bool last = comma == std::string_view::npos;
        if (last)
            comma = rest.size();
        const auto byte = parseHex(trim(rest.substr(from, comma - from)), 2);
        if (!byte)
            fail(msg::kRegFileBadHex);
        if (hex.kept) {
            if (hex.data.size() >= room)
                fail(boundReason(msg::kRegFileKeyTooBig, kRegFileKeyMax));
            hex.data += static_cast<char>(*byte);
        }
        from = comma + 1;
        // A comma may end a line only when the list goes on.
        if (!last && from == rest.size() && !more)
            fail(msg::kRegFileBadHex);
    }
    if (more)
        return;

    PendingHex done = std::move(hex);
    m_hex.reset();
    const bool text = done.type == RegistryType::Sz || done.type == RegistryType::ExpandSz
                      || done.type == RegistryType::MultiSz;
    if (done.kept && text && m_unicode)
        done.data = nativeFromUtf16(utf16leUnits(done.data));
    store(done.name, RegistryValue{done.type, std::move(done.data)});
}

// Sets (or with nullopt deletes) a value of the current key, when the
// reading holds that key.
void RegFileParser::store(const std::string& name, std::optional<RegistryValue> value)
{
    RegFileRegistry::Key* key = currentKeyHeld();
    if (!key)
        return;
    std::string folded = fold(name);
    const auto it = key->values.find(folded);
    if (it != key->values.end()) {
        key->held -= valueCost(it->first.size(), it->second.data.size());
        key->values.erase(it);
    }
    if (!value)
        return;
    const std::size_t cost = valueCost(folded.size(), value->data.size());
    if (cost > kRegFileKeyMax - key->held)
        fail(boundReason(msg::kRegFileKeyTooBig, kRegFileKeyMax));
    key->held += cost;
    key->values.emplace(std::move(folded), std::move(*value));
}

RegFileRegistry RegFileRegistry::fromBytes(std::string_view bytes, const std::string& fileNameForErrors)
{
    RegFileParser parser(fileNameForErrors);
    parser.feed(bytes);
    return std::move(parser).finish();
}

std::unique_ptr<RegistryKey> RegFileRegistry::openLocalMachine(const std::string& subKey)
{
    const auto it = m_keys.find(fold(subKey));
    if (it == m_keys.end())
        return nullptr;
    return std::make_unique<FileKey>(it->second.values);
}

std::unique_ptr<RegistryKey> RegFileRegistry::takeLocalMachine(const std::string& subKey) &&
{
    const auto it = m_keys.find(fold(subKey));
    if (it == m_keys.end())
        return nullptr;
    return std::make_unique<FileKey>(std::move(it->second.values));
}

namespace {

class ExportFileRegistry final : public Registry {
public:
    explicit ExportFileRegistry(std::string path) : m_path(std::move(path)) {}

    // Only the bytes the file holds when it is opened are read: a file that
    // grows while it is read does not keep the reading going.
    std::unique_ptr<RegistryKey> openLocalMachine(const std::string& subKey) override
    {
        const auto buffer = std::make_unique<char[]>(kRegFileReadSize);
        RegFileParser parser(m_path, subKey);
#ifdef _WIN32
        std::error_code error;
        if (!std::filesystem::is_regular_file(m_path, error))
            return nullptr;
        std::uintmax_t left = std::filesystem::file_size(m_path, error);
        if (error)
            return nullptr;
        std::ifstream in(m_path, std::ios::binary);
        if (!in)
            return nullptr;
        while (left > 0 && in) {
            in.read(buffer.get(), static_cast<std::streamsize>(std::min<std::uintmax_t>(left, kRegFileReadSize)));
            const auto got = static_cast<std::size_t>(in.gcount());
            if (got == 0)
                break;
            parser.feed(std::string_view(buffer.get(), got));
            left -= got;
        }
        if (in.bad())
            return nullptr;
#else
        // O_NONBLOCK keeps a FIFO of that name from stalling the reading; it
        // is refused as not a regular file right after, as a device is.
        const FileDescriptor file(::open(m_path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
        if (file.get() < 0)
            return nullptr;
        struct stat info {};
        if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode))
            return nullptr;
        auto left = static_cast<std::uint64_t>(info.st_size);
        while (left > 0) {
            const ssize_t got = ::read(file.get(), buffer.get(), std::min<std::uint64_t>(left, kRegFileReadSize));
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                return nullptr;
            }
            if (got == 0)
                break;
            parser.feed(std::string_view(buffer.get(), static_cast<std::size_t>(got)));
            left -= static_cast<std::uint64_t>(got);
        }
#endif
        return std::move(parser).finish().takeLocalMachine(subKey);
    }

private:
    std::string m_path;
};

} // namespace

std::unique_ptr<Registry> regFileRegistry(const std::string& path)
{
    return std::make_unique<ExportFileRegistry>(path);
}
