#include "programs/SynthArguments.h"

#include <cstring>

SynthArguments ParseSynthArguments(int argc, const char* const* argv)
{
    SynthArguments arguments;
    const auto wrong = [&](const std::string& name, const char* reason) {
        arguments.problemName = name;
        arguments.problem = reason;
        return arguments;
    };
    for (int i = 1; i < argc; ++i)
    {
        const char* argument = argv[i];
        if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0)
        {
            arguments.help = true;
            return arguments;
        }
        if (std::strcmp(argument, "--raf") == 0)
            arguments.raf = true;
        else if (argument[0] == '-' && argument[1] != '\0')
            return wrong(argument, "unknown option");
        else if (arguments.out != nullptr)
            return wrong(argument, "one output only");
        else
            arguments.out = argument;
    }
    if (arguments.out == nullptr)
        return wrong("OUT", "missing");
    return arguments;
}
