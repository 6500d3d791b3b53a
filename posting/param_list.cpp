#include "posting/param_list.h"

int ParamList::indexOfName(std::string_view name) const
{
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        const std::string_view line = m_lines[i];
        const std::size_t eq = line.find('=');
        if (eq != std::string_view::npos && sameName(line.substr(0, eq), name))
            return static_cast<int>(i);
    }
    return -1;
}

std::string ParamList::value(std::string_view name) const
{
    const int i = indexOfName(name);
    if (i < 0)
        return {};
    const std::string& line = m_lines[static_cast<std::size_t>(i)];
    return line.substr(line.find('=') + 1);
}

void ParamList::setValue(std::string_view name, std::string_view value)
{
    const int i = indexOfName(name);
    std::string line = std::string(name) + "=" + std::string(value);
    if (i < 0 && !value.empty())
        m_lines.push_back(std::move(line));
    else if (i >= 0 && value.empty())
        m_lines.erase(m_lines.begin() + i);
    else if (i >= 0)
        m_lines[static_cast<std::size_t>(i)] = std::move(line);
}
