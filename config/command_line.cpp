#include "config/command_line.h"

#ifdef _WIN32
#include "text/ansi_text.h"

#include "config/windows_api.h"
#endif

namespace {

bool isSeparator(char c)
{
    const auto b = static_cast<unsigned char>(c);
    return b >= 0x01 && b <= 0x20;
}

class Splitter {
public:
    Splitter(std::string_view raw, CharStep step) : m_raw(raw.substr(0, raw.find('\0'))), m_step(step) {}

    bool atEnd() const { return m_pos >= m_raw.size(); }

    void skipToWord()
    {
        for (;;) {
            while (!atEnd() && isSeparator(m_raw[m_pos]))
                ++m_pos;
            if (m_pos + 1 < m_raw.size() && m_raw[m_pos] == '"' && m_raw[m_pos + 1] == '"')
                m_pos += 2;
            else
                return;
        }
    }

    std::string word()
    {
        std::string text;
        while (!atEnd() && !isSeparator(m_raw[m_pos])) {
            if (m_raw[m_pos] == '"') {
                ++m_pos;
                while (!atEnd() && m_raw[m_pos] != '"')
                    take(text);
                if (!atEnd())
                    ++m_pos;
            } else {
                take(text);
            }
        }
        return text;
    }

private:
    // Copies one whole character, however many bytes the code page gives it.
    void take(std::string& text)
    {
        std::size_t length = m_step(m_raw.substr(m_pos));
        if (length == 0)
            length = 1;
        if (length > m_raw.size() - m_pos)
            length = m_raw.size() - m_pos;
        text.append(m_raw.substr(m_pos, length));
        m_pos += length;
    }

    std::string_view m_raw;
    CharStep m_step;
    std::size_t m_pos = 0;
};

} // namespace

std::size_t singleByteStep(std::string_view rest)
{
    return rest.empty() ? 0 : 1;
}

std::vector<std::string> splitCommandLine(std::string_view raw, CharStep step)
{
    std::vector<std::string> words;
    Splitter splitter(raw, step);
    for (;;) {
        splitter.skipToWord();
        if (splitter.atEnd())
            return words;
        std::string text = splitter.word();
        if (text.empty())
            return words; // a lone quote at the end: only possible as the last word
        words.push_back(std::move(text));
    }
}

#ifdef _WIN32

std::vector<std::string> programArguments(int, char**)
{
    // The command line as Windows keeps it, in UTF-16, brought to the
    // program's code page here: the ANSI one of the system may be another
    // (a Cyrillic or a UTF-8 Windows), and would give other bytes.
    std::vector<std::string> words = splitCommandLine(wideToAnsi(GetCommandLineW()));
    if (!words.empty())
        words.erase(words.begin());
    return words;
}

#else

std::vector<std::string> programArguments(int argc, char** argv)
{
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        if (argv[i] != nullptr && argv[i][0] != '\0')
            arguments.emplace_back(argv[i]);
    }
    return arguments;
}

#endif
