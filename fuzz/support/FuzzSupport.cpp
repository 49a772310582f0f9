#include "FuzzSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

void Require(bool holds, const char* property)
{
    if (holds)
        return;
    std::fprintf(stderr, "property failed: %s\n", property);
    std::abort();
}

Arguments ArgumentsOf(const uint8_t* data, size_t size, const char* program)
{
    Arguments result;
    result.arguments.emplace_back(program);
    const auto* text = reinterpret_cast<const char*>(data);
    for (size_t start = 0; start < size && result.arguments.size() < 13;)
    {
        const auto end = static_cast<size_t>(std::find(text + start, text + size, '\0') - text);
        result.arguments.emplace_back(text + start, end - start);
        start = end + 1;
    }
    for (const std::string& argument : result.arguments)
        result.argv.push_back(argument.c_str());
    return result;
}

FileHeader HeaderOfInput(const uint8_t* data, size_t size)
{
    int64_t extra = 0;
    for (size_t i = size >= 3 ? size - 3 : 0; i < size; ++i)
        extra = extra << 8 | data[i];
    return ParseFileHeader(data, size, static_cast<int64_t>(size) + extra * 256);
}

namespace
{

struct JsonReader
{
    const std::string& text;
    size_t at = 0;
    int depth = 0;

    char Peek() const { return at < text.size() ? text[at] : '\0'; }
    bool Eat(char c)
    {
        while (Peek() == ' ')
            ++at;
        return Peek() == c && (++at, true);
    }
    bool Digits()
    {
        const size_t start = at;
        while (Peek() >= '0' && Peek() <= '9')
            ++at;
        return at > start;
    }
    bool String()
    {
        if (!Eat('"'))
            return false;
        for (char c = Peek(); at < text.size(); c = Peek())
        {
            ++at;
            if (c == '"')
                return true;
            if (static_cast<unsigned char>(c) < 0x20)
                return false;
            if (c != '\\')
                continue;
            const char escape = Peek();
            ++at;
            if (escape == 'u')
            {
                for (int i = 0; i < 4; ++i, ++at)
                    if (std::strchr("0123456789abcdefABCDEF", Peek()) == nullptr || Peek() == '\0')
                        return false;
            }
            else if (escape == '\0' || std::strchr("\"\\/bfnrt", escape) == nullptr)
                return false;
        }
        return false;
    }
    bool Number()
    {
        Eat('-');
        if (Peek() == '0')
            ++at;
        else if (!Digits())
            return false;
        if (Peek() == '.' && (++at, !Digits()))
            return false;
        return true;
    }
    bool Sequence(char close, bool keys)
    {
        if (Eat(close))
            return true;
        do
            if ((keys && (!String() || !Eat(':'))) || !Value())
                return false;
        while (Eat(','));
        return Eat(close);
    }
    bool Value()
    {
        if (++depth > 64)
            return false;
        while (Peek() == ' ')
            ++at;
        bool ok = false;
        if (Eat('{'))
            ok = Sequence('}', true);
        else if (Eat('['))
            ok = Sequence(']', false);
        else if (Peek() == '"')
            ok = String();
        else
            for (const char* word : {"true", "false", "null"})
                if (text.compare(at, std::strlen(word), word) == 0)
                    at += std::strlen(word), ok = true;
        ok = ok || Number();
        --depth;
        return ok;
    }
};

}  // namespace

bool IsAsciiJsonLine(const std::string& text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    JsonReader reader{text};
    return reader.Value() && reader.Eat('\n') && reader.at == text.size();
}

bool HoldsControlByte(const std::string& text)
{
    for (const char c : text)
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\n') || c == 0x7F)
            return true;
    return false;
}
