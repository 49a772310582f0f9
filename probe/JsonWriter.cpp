#include "probe/JsonWriter.h"

#include <charconv>
#include <cstdio>

std::string ShortestDecimal(double value)
{
    // Fixed notation, never an exponent: room for the largest double's 309
    // digits before the point and the most a shortest form puts after it.
    char text[512];
    const std::to_chars_result end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    return std::string(text, end.ptr);
}

void CJsonWriter::BeforeValue()
{
    if (m_afterKey)
    {
        m_afterKey = false;
        return;
    }
    if (!m_emptyLevels.empty())
    {
        if (!m_emptyLevels.back())
            m_text += ", ";
        m_emptyLevels.back() = false;
    }
}

void CJsonWriter::Open(char bracket)
{
    BeforeValue();
    m_text += bracket;
    m_emptyLevels.push_back(true);
}

void CJsonWriter::Close(char bracket)
{
    m_text += bracket;
    m_emptyLevels.pop_back();
}

void CJsonWriter::BeginObject()
{
    Open('{');
}

void CJsonWriter::EndObject()
{
    Close('}');
}

void CJsonWriter::BeginArray()
{
    Open('[');
}

void CJsonWriter::EndArray()
{
    Close(']');
}

void CJsonWriter::Key(const char* name)
{
    String(name);
    m_text += ": ";
    m_afterKey = true;
}

void CJsonWriter::Integer(int64_t value)
{
    BeforeValue();
    m_text += std::to_string(value);
}

void CJsonWriter::Fixed(double value, int decimals)
{
    BeforeValue();
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    m_text += text;
}

void CJsonWriter::Decimal(double value)
{
    BeforeValue();
    m_text += ShortestDecimal(value);
}

void CJsonWriter::String(const std::string& text)
{
    BeforeValue();
    m_text += '"';
    for (const char ch : text)
    {
        const auto byte = static_cast<unsigned char>(ch);
        if (ch == '"' || ch == '\\')
        {
            m_text += '\\';
            m_text += ch;
        }
        else if (byte < 0x20)
        {
            // Control characters as \u00XX; every other byte, UTF-8 included,
            // is passed on as it is.
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(byte));
            m_text += escaped;
        }
        else
        {
            m_text += ch;
        }
    }
    m_text += '"';
}

void CJsonWriter::Boolean(bool value)
{
    BeforeValue();
    m_text += value ? "true" : "false";
}

void CJsonWriter::Null()
{
    BeforeValue();
    m_text += "null";
}

void CJsonWriter::Field(const char* name, int64_t value)
{
    Key(name);
    Integer(value);
}

void CJsonWriter::Field(const char* name, const std::string& text)
{
    Key(name);
    String(text);
}
