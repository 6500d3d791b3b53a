#include "config/reg_file_registry.h"

#include "config/messages.h"

#ifdef _WIN32
#include "config/ansi_text.h"
#endif

#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <vector>

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

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// 1 to `maxDigits` hex digits and nothing else.
std::optional<std::uint32_t> parseHex(std::string_view s, std::size_t maxDigits)
{
    if (s.empty() || s.size() > maxDigits)
        return std::nullopt;
    std::uint32_t v = 0;
    for (char c : s) {
        const int d = hexDigit(c);
        if (d < 0)
            return std::nullopt;
        v = v * 16 + static_cast<std::uint32_t>(d);
    }
    return v;
}

// The bytes of UTF-16LE text as its code units; an odd last byte is not a
// character and is dropped.
std::u16string utf16Units(std::string_view bytes)
{
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        units += static_cast<char16_t>(static_cast<unsigned char>(bytes[i])
                                       | (static_cast<unsigned char>(bytes[i + 1]) << 8));
    return units;
}

// Unicode text from the file becomes text in the encoding of the program's
// paths, since what the program reads from the registry ends up in a path.
// On Windows that is the program's code page, Windows-1252: the very bytes it
// reads from the registry for the same value. Elsewhere it is UTF-8, or a
// folder with an accented name, written by the registry editor as UTF-16,
// would be looked for under a name that does not exist.
#ifdef _WIN32

// UTF-8 to UTF-16; a byte that does not start a well-formed sequence becomes
// U+FFFD, which the code page then shows as "?".
std::u16string utf8Units(std::string_view bytes)
{
    std::u16string units;
    units.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const std::size_t length = lead < 0x80                   ? 1
                                   : lead >= 0xC2 && lead <= 0xDF ? 2
                                   : lead >= 0xE0 && lead <= 0xEF ? 3
                                   : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                                  : 0;
        char32_t c = length == 1 ? lead : length == 2 ? lead & 0x1Fu : length == 3 ? lead & 0x0Fu : lead & 0x07u;
        bool good = length > 0 && i + length <= bytes.size();
        for (std::size_t k = 1; good && k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            good = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3Fu);
        }
        // Overlong forms, surrogates and code points past U+10FFFF are no characters.
        good = good && !(length == 3 && c < 0x800) && !(length == 4 && (c < 0x10000 || c > 0x10FFFF))
               && !(c >= 0xD800 && c <= 0xDFFF);
        if (!good) {
            units += u'\xFFFD';
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            units += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            units += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            units += static_cast<char16_t>(c);
        }
        i += length;
    }
    return units;
}

std::string nativeFromUtf16(std::u16string_view text) { return utf16ToAnsi(text); }
std::string nativeFromUtf8(std::string_view bytes) { return utf16ToAnsi(utf8Units(bytes)); }

#else

// A surrogate without its partner is no character and becomes U+FFFD.
std::string nativeFromUtf16(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00u);
        else if (c >= 0xD800 && c <= 0xDFFF)
            c = 0xFFFD;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
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

class RegFileParser {
public:
    RegFileParser(std::string_view bytes, const std::string& fileName) : m_fileName(fileName)
    {
        constexpr std::string_view kUtf16Mark = "\xFF\xFE";
        constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
        if (bytes.substr(0, kUtf16Mark.size()) == kUtf16Mark)
            m_text = nativeFromUtf16(utf16Units(bytes.substr(kUtf16Mark.size())));
        else if (bytes.substr(0, kUtf8Mark.size()) == kUtf8Mark)
            m_text = nativeFromUtf8(bytes.substr(kUtf8Mark.size()));
        else
            m_text = std::string(bytes);
        std::size_t start = 0;
        while (start <= m_text.size()) {
            std::size_t end = m_text.find('\n', start);
            if (end == std::string::npos)
                end = m_text.size();
            std::string_view line(m_text.data() + start, end - start);
            // CR CR LF is what a CR LF file becomes after a pass through a
            // program that writes every LF as CR LF; the editor takes it.
            while (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            m_lines.push_back(line);
            start = end + 1;
        }
    }

    RegFileRegistry parse()
    {
        if (m_lines.empty())
            fail(1, kRegFileBadHeader);
        const std::string_view header = trim(m_lines[0]);
        if (header == kHeader5)
            m_unicode = true;
        else if (header != kHeader4)
            fail(1, kRegFileBadHeader);
        m_result.m_keys[""];

        for (m_index = 1; m_index < m_lines.size(); ++m_index) {
            const std::string_view line = trim(m_lines[m_index]);
            if (line.empty() || line.front() == ';')
                continue;
            if (line.front() == '[')
                keyLine(line);
            else if (line.front() == '"' || line.front() == '@')
                valueLine(line);
            else
                fail(kRegFileBadLine);
        }
        return std::move(m_result);
    }

private:
    [[noreturn]] void fail(std::size_t lineNumber, std::string_view reason) const
    {
        throw std::runtime_error(
            formatMessage(kRegFileSyntaxError, {m_fileName, std::to_string(lineNumber), reason}));
    }
    [[noreturn]] void fail(std::string_view reason) const { fail(m_index + 1, reason); }

    void keyLine(std::string_view line)
    {
        // The key ends at the first "]" that only blanks or a comment follow.
        std::size_t close = line.find(']');
        while (close != std::string_view::npos && !onlyComment(line.substr(close + 1)))
            close = line.find(']', close + 1);
        if (close == std::string_view::npos)
            fail(kRegFileBadKey);
        std::string_view path = line.substr(1, close - 1);
        const bool remove = !path.empty() && path.front() == '-';
        if (remove)
            path.remove_prefix(1);

        const std::size_t slash = path.find('\\');
        const std::string_view hive = path.substr(0, slash);
        const std::string_view below = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
        if (slash != std::string_view::npos) {
            // Every component must have a name: no "\\", no leading or trailing "\".
            std::size_t from = 0;
            for (;;) {
                const std::size_t next = below.find('\\', from);
                const std::size_t length = (next == std::string_view::npos ? below.size() : next) - from;
                if (length == 0)
                    fail(kRegFileBadKey);
                if (next == std::string_view::npos)
                    break;
                from = next + 1;
            }
        }

        m_inLocalMachine = equalsFolded(hive, kLocalMachine);
        if (!m_inLocalMachine) {
            bool known = false;
            for (std::string_view other : kOtherHives)
                known = known || equalsFolded(hive, other);
            if (!known)
                fail(kRegFileBadKey);
            m_inKey = !remove;
            return;
        }

        const std::string key = fold(below);
        if (remove) {
            m_inKey = false;
            if (key.empty()) {
                m_result.m_keys.clear();
                m_result.m_keys[""];
                return;
            }
            // The subkeys sort together right after "key\\", so a deletion
            // costs what it removes, not a walk over every key of the file.
            m_result.m_keys.erase(key);
            const std::string children = key + '\\';
            auto it = m_result.m_keys.lower_bound(children);
            while (it != m_result.m_keys.end() && it->first.compare(0, children.size(), children) == 0)
                it = m_result.m_keys.erase(it);
            return;
        }
        m_inKey = true;
        m_currentKey = key;
        // Creating a key creates its parents, as importing the file would.
        for (std::size_t at = key.find('\\'); at != std::string::npos; at = key.find('\\', at + 1))
            m_result.m_keys[key.substr(0, at)];
        m_result.m_keys[key];
    }

    // The text of a quoted string starting at s[pos] == '"'; pos ends past
    // the closing quote. nullopt when it is not closed or has a stray "\".
    static std::optional<std::string> quoted(std::string_view s, std::size_t& pos)
    {
        std::string text;
        for (++pos; pos < s.size(); ++pos) {
            const char c = s[pos];
            if (c == '"') {
                ++pos;
                return text;
            }
            if (c == '\\') {
                if (pos + 1 >= s.size() || (s[pos + 1] != '\\' && s[pos + 1] != '"'))
                    return std::nullopt;
                ++pos;
            }
            text += s[pos];
        }
        return std::nullopt;
    }

    void valueLine(std::string_view line)
    {
        if (!m_inKey)
            fail(kRegFileValueOutsideKey);
        std::size_t pos = 0;
        std::string name;
        if (line.front() == '@') {
            pos = 1;
        } else {
            auto text = quoted(line, pos);
            if (!text)
                fail(kRegFileBadValueName);
            name = std::move(*text);
        }
        std::string_view rest = trim(line.substr(pos));
        if (rest.empty() || rest.front() != '=')
            fail(kRegFileBadValueName);
        rest = trim(rest.substr(1));

        std::optional<RegistryValue> value = valueData(rest);
        if (!m_inLocalMachine)
            return;
        auto& values = m_result.m_keys[m_currentKey];
        if (value)
            values[fold(name)] = std::move(*value);
        else
            values.erase(fold(name));
    }

    // The value written after "="; nullopt for "-", the deletion mark.
    std::optional<RegistryValue> valueData(std::string_view rest)
    {
        if (uncommented(rest) == "-")
            return std::nullopt;
        if (!rest.empty() && rest.front() == '"') {
            std::size_t pos = 0;
            auto text = quoted(rest, pos);
            if (!text || !onlyComment(rest.substr(pos)))
                fail(kRegFileBadString);
            text->push_back('\0');
            return RegistryValue{RegistryType::Sz, std::move(*text)};
        }
        if (startsWithFolded(rest, "dword:")) {
            const auto number = parseHex(uncommented(rest.substr(6)), 8);
            if (!number)
                fail(kRegFileBadDword);
            std::string data(4, '\0');
            for (std::size_t i = 0; i < 4; ++i)
                data[i] = static_cast<char>((*number >> (8 * i)) & 0xFF);
            return RegistryValue{RegistryType::Dword, std::move(data)};
        }
        if (startsWithFolded(rest, "hex")) {
            rest.remove_prefix(3);
            RegistryType type = RegistryType::Binary;
            if (!rest.empty() && rest.front() == '(') {
                const std::size_t close = rest.find(')');
                const auto number = close == std::string_view::npos ? std::nullopt
                                                                    : parseHex(rest.substr(1, close - 1), 8);
                if (!number)
                    fail(kRegFileBadHex);
                type = static_cast<RegistryType>(*number);
                rest.remove_prefix(close + 1);
            }
            if (rest.empty() || rest.front() != ':')
                fail(kRegFileBadHex);
            std::string data = hexList(rest.substr(1));
            const bool text = type == RegistryType::Sz || type == RegistryType::ExpandSz
                              || type == RegistryType::MultiSz;
            if (text && m_unicode)
                data = nativeFromUtf16(utf16Units(data));
            return RegistryValue{type, std::move(data)};
        }
        fail(kRegFileBadLine);
    }

    // Comma-separated bytes of two hex digits; a "\" at the end of a line
    // (before its comment, if any) carries the list on to the next line.
    std::string hexList(std::string_view rest)
    {
        std::string data;
        for (;;) {
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
                    fail(kRegFileBadHex);
                data += static_cast<char>(*byte);
                from = comma + 1;
                // A comma may end a line only when the list goes on.
                if (!last && from == rest.size() && !more)
                    fail(kRegFileBadHex);
            }
            if (!more)
                return data;
            if (m_index + 1 >= m_lines.size())
                fail(kRegFileBadHex);
            rest = m_lines[++m_index];
        }
    }

    std::string m_fileName;
    std::string m_text;
    std::vector<std::string_view> m_lines;
    std::size_t m_index = 0;
    bool m_unicode = false;
    bool m_inKey = false;
    bool m_inLocalMachine = false;
    std::string m_currentKey;
    RegFileRegistry m_result;
};

RegFileRegistry RegFileRegistry::fromBytes(std::string_view bytes, const std::string& fileNameForErrors)
{
    return RegFileParser(bytes, fileNameForErrors).parse();
}

std::unique_ptr<RegistryKey> RegFileRegistry::openLocalMachine(const std::string& subKey)
{
    const auto it = m_keys.find(fold(subKey));
    if (it == m_keys.end())
        return nullptr;
    return std::make_unique<FileKey>(it->second);
}

namespace {

class ExportFileRegistry final : public Registry {
public:
    explicit ExportFileRegistry(std::string path) : m_path(std::move(path)) {}

    std::unique_ptr<RegistryKey> openLocalMachine(const std::string& subKey) override
    {
        std::error_code error;
        if (!std::filesystem::is_regular_file(m_path, error))
            return nullptr;
        std::ifstream in(m_path, std::ios::binary);
        if (!in)
            return nullptr;
        const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        if (in.bad())
            return nullptr;
        return RegFileRegistry::fromBytes(bytes, m_path).openLocalMachine(subKey);
    }

private:
    std::string m_path;
};

} // namespace

std::unique_ptr<Registry> regFileRegistry(const std::string& path)
{
    return std::make_unique<ExportFileRegistry>(path);
}
