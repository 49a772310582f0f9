#include "platform/TerminalText.h"

#include <cstring>

namespace
{

#if defined(_WIN32)
constexpr const char* kBackslash = "\\";
#else
constexpr const char* kBackslash = "\\\\";
#endif

}  // namespace

std::string EscapedForTerminal(std::string_view text)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string escaped;
    escaped.reserve(text.size());
    for (const char character : text)
    {
        const auto byte = static_cast<unsigned char>(character);
        if (byte == '\\')
            escaped += kBackslash;
        else if (byte == '\n')
            escaped += "\\n";
        else if (byte == '\t')
            escaped += "\\t";
        else if (byte == '\r')
            escaped += "\\r";
        else if (byte < 0x20 || byte == 0x7F)
        {
            escaped += "\\x";
            escaped += kHex[byte >> 4];
            escaped += kHex[byte & 0xF];
        }
        else
            escaped += character;
    }
    return escaped;
}

std::string WithThousandsSeparators(int64_t value)
{
    const std::string digits = std::to_string(value);
    const size_t first = value < 0 ? 1 : 0;
    std::string text;
    for (size_t i = 0; i < digits.size(); ++i)
    {
        if (i > first && (digits.size() - i) % 3 == 0)
            text += ',';
        text += digits[i];
    }
    return text;
}

std::string LabelledLines(const std::string& label, const char* text, size_t width)
{
    std::string lines;
    std::string column = label;
    for (const char* line = text; *line != '\0';)
    {
        const char* end = std::strchr(line, '\n');
        const size_t length = end == nullptr ? std::strlen(line) : static_cast<size_t>(end - line);
        column.resize(width, ' ');
        lines += column + std::string(line, length) + "\n";
        column.clear();
        line += length + (end == nullptr ? 0 : 1);
    }
    return lines;
}
