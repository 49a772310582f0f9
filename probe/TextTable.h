// CTextTable: rows of text cells laid out in aligned columns for a terminal.
//
// Each column is as wide as its widest cell; columns are separated by two
// spaces. The first leftColumns columns are aligned left, the others (the
// numbers) right. Rows may have fewer cells than others; trailing spaces are
// never written.
#pragma once

#include <string>
#include <vector>

class CTextTable
{
public:
    explicit CTextTable(size_t leftColumns = 1) : m_leftColumns(leftColumns) {}

    void AddRow(std::vector<std::string> cells);

    // The rows, each ended by a newline.
    std::string Render() const;

private:
    size_t m_leftColumns;
    std::vector<std::vector<std::string>> m_rows;
};
