#include "probe/TextTable.h"

#include <algorithm>

void CTextTable::AddRow(std::vector<std::string> cells)
{
    m_rows.push_back(std::move(cells));
}

std::string CTextTable::Render() const
{
    std::vector<size_t> widths;
    for (const auto& row : m_rows)
    {
        widths.resize(std::max(widths.size(), row.size()), 0);
        for (size_t i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], row[i].size());
    }
    std::string text;
    for (const auto& row : m_rows)
    {
        std::string line;
        for (size_t i = 0; i < row.size(); ++i)
        {
            if (i > 0)
                line += "  ";
            const std::string padding(widths[i] - row[i].size(), ' ');
            line += i < m_leftColumns ? row[i] + padding : padding + row[i];
        }
        line.erase(line.find_last_not_of(' ') + 1);
        text += line;
        text += '\n';
    }
    return text;
}
