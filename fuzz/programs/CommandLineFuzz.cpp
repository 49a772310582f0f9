// What diagraw makes of its arguments and what its messages make of names:
// the program's name is what follows the last backslash, a lone argument
// asks for help or the version only when it says so, and an escaped name
// holds no control byte and gives the name back.
#include "FuzzSupport.h"

#include "programs/CommandLine.h"
#include "platform/TerminalText.h"

#include <algorithm>
#include <cstring>

namespace
{

// Undoes EscapedForTerminal (POSIX): \\ \n \t \r and \xHH.
std::string Unescaped(const std::string& text)
{
    std::string plain;
    for (size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] != '\\')
        {
            plain += text[i];
            continue;
        }
        const char kind = text.at(++i);
        if (kind == 'x')
            plain += static_cast<char>(std::stoi(text.substr((i += 2) - 1, 2), nullptr, 16));
        else
            plain += kind == 'n' ? '\n' : kind == 't' ? '\t' : kind == 'r' ? '\r' : kind;
    }
    return plain;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string name = text.substr(0, text.find('\0'));
    const char* program = ProgramName(name.c_str());
    const size_t backslash = name.rfind('\\');
    Require(program == name.c_str() + (backslash == std::string::npos ? 0 : backslash + 1), "cut at the last backslash");

    const char* const argv[] = {"diagraw", name.c_str()};
    const Request request = DiagrawRequestOf(2, argv);
    Require(request == Request::Run || name == "--help" || name == "-h" || name == "--version", "asked for");
    Require(request != Request::Version || name == "--version", "the version when asked for");

    const std::string escaped = EscapedForTerminal(text);
    Require(!HoldsControlByte(escaped) && escaped.find('\n') == std::string::npos, "one line, no control byte");
    Require(Unescaped(escaped) == text, "the escaped name gives the name back");

    return 0;
}
