// CJsonWriter: builds one JSON text in memory, value by value.
//
// Values are written in document order; the writer puts the commas and the
// separators itself. Inside an object every value comes after its Key. Keys
// and strings are escaped as JSON requires. The whole text is one line, with
// a space after each comma and colon. Nothing is checked beyond that: a
// caller that closes what it did not open gets a text that is not JSON.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A finite value in the fewest digits that read back as the same double,
// without an exponent ("0.004", "2.8", "0.00001"); JSON takes the text as a
// number.
std::string ShortestDecimal(double value);

class CJsonWriter
{
public:
    void BeginObject();
    void EndObject();
    void BeginArray();
    void EndArray();
    void Key(const char* name);

    void Integer(int64_t value);
    // A finite value with the given number of digits after the point.
    void Fixed(double value, int decimals);
    // A finite value in the fewest digits that read back as the same double.
    void Decimal(double value);
    void String(const std::string& text);
    void Boolean(bool value);
    void Null();

    // Key followed by one value: the usual case inside an object.
    void Field(const char* name, int64_t value);
    void Field(const char* name, const std::string& text);

    const std::string& Text() const { return m_text; }

private:
    void BeforeValue();
    void Open(char bracket);
    void Close(char bracket);

    std::string m_text;
    std::vector<bool> m_emptyLevels;  // one per open object or array: nothing written in it yet
    bool m_afterKey = false;
};
