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

// Moves at past the one JSON value (and the spaces before it) that starts
// there; false when none does.
bool SkipValue(const std::string& t, size_t& at, int depth)
{
    const auto space = [&] { at = std::min(t.find_first_not_of(' ', at), t.size()); };
    const auto next = [&](char c) {  // after spaces, c is next: skips it
        space();
        return at < t.size() && t[at] == c && (++at, true);
    };
    if (depth > 64 || (space(), at == t.size()))
        return false;
    const bool object = next('{');
    if (object || next('['))
    {
        const char close = object ? '}' : ']';
        if (next(close))
            return true;
        do
            if ((object && (!next('"') || !SkipValue(t, --at, depth + 1) || !next(':'))) || !SkipValue(t, at, depth + 1))
                return false;
        while (next(','));
        return next(close);
    }
    if (next('"'))
    {
        for (; at < t.size() && t[at] != '"'; ++at)
        {
            if (static_cast<unsigned char>(t[at]) < 0x20)
                return false;
            if (t[at] != '\\')
                continue;
            const char escape = ++at < t.size() ? t[at] : '\0';
            if (escape == 'u' && t.size() >= at + 5 && t.find_first_not_of("0123456789abcdefABCDEF", at + 1) >= at + 5)
                at += 4;
            else if (escape == '\0' || escape == 'u' || std::strchr("\"\\/bfnrt", escape) == nullptr)
                return false;
        }
        return next('"');
    }
    for (const std::string word : {"true", "false", "null"})
        if (t.compare(at, word.size(), word) == 0)
            return at += word.size(), true;
    next('-');
    const size_t end = std::min(t.find_first_not_of("0123456789", at), t.size());
    if (end == at || (t[at] == '0' && end > at + 1))
        return false;
    at = end;
    if (!next('.'))
        return true;
    at = std::min(t.find_first_not_of("0123456789", at), t.size());
    return t[at - 1] != '.';
}

}  // namespace

bool IsAsciiJsonLine(const std::string& text)
{
    size_t at = 0;
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }) &&
           SkipValue(text, at, 0) && text.compare(at, std::string::npos, "\n") == 0;
}

bool HoldsControlByte(const std::string& text)
{
    for (const char c : text)
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\n') || c == 0x7F)
            return true;
    return false;
}
