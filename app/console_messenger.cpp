#include "app/console_messenger.h"

#include "posting/dataset.h"

#include <string>

void ConsoleMessenger::information(const std::string& text)
{
    std::fprintf(m_out, "%s\n", text.c_str());
    std::fflush(m_out);
}

void ConsoleMessenger::error(const std::string& text)
{
    std::fprintf(m_err, "%s\n", text.c_str());
    std::fflush(m_err);
}

void ConsoleMessenger::receiptsPosted(const ClientDataSet& rows)
{
    if (rows.isEmpty())
        return;
    // The grid's three columns, as wide as their fields.
    const char* const names[] = {"PREF", "NUMERO", "ESTADO"};
    const Field* fields[3];
    int widths[3];
    for (int i = 0; i < 3; ++i) {
        fields[i] = rows.findField(names[i]);
        widths[i] = std::max<int>(int(std::char_traits<char>::length(names[i])), fields[i] ? fields[i]->size() : 0);
    }
    std::string line;
    auto put = [&](int column, const std::string& text) {
        line += text;
        if (column < 2)
            line.append(std::size_t(std::max<int>(0, widths[column] - int(text.size()))) + 2, ' ');
    };
    for (int i = 0; i < 3; ++i)
        put(i, names[i]);
    std::fprintf(m_out, "%s\n", line.c_str());
    for (std::size_t r = 0; r < rows.recordCount(); ++r) {
        line.clear();
        for (int i = 0; i < 3; ++i)
            put(i, fields[i] ? rows.displayText(r, *fields[i]) : std::string());
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        std::fprintf(m_out, "%s\n", line.c_str());
    }
    std::fflush(m_out);
}
