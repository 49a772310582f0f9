#include "programs/ProbeArguments.h"

#include <algorithm>
#include <cstring>
#include <vector>

bool ParseCoordinate(const char* text, int32_t& value)
{
    const bool negative = *text == '-';
    const char* digits = negative ? text + 1 : text;
    if (*digits == '\0')
        return false;
    int64_t magnitude = 0;
    for (const char* p = digits; *p != '\0'; ++p)
    {
        if (*p < '0' || *p > '9')
            return false;
        magnitude = std::min<int64_t>(magnitude * 10 + (*p - '0'), INT32_MAX);
    }
    value = static_cast<int32_t>(negative ? -magnitude : magnitude);
    return true;
}

namespace
{

ProbeArguments Wrong(ProbeArguments arguments, const std::string& name, const char* reason)
{
    arguments.problemName = name;
    arguments.problem = reason;
    return arguments;
}

}  // namespace

ProbeArguments ParseProbeArguments(int argc, const char* const* argv)
{
    ProbeArguments arguments;
    if (argc < 2)
        return Wrong(arguments, "command", "missing");
    const std::string command = argv[1];
    if (command == "--help" || command == "-h")
        return arguments;
    if (command == "--version")
    {
        arguments.command = ProbeCommand::Version;
        return arguments;
    }
    if (command != "info" && command != "stats" && command != "cell")
        return Wrong(arguments, command, "unknown command");
    arguments.command = command == "info" ? ProbeCommand::Info
                        : command == "stats" ? ProbeCommand::Stats
                                             : ProbeCommand::Cell;

    std::vector<const char*> operands;
    for (int i = 2; i < argc; ++i)
    {
        if (std::strcmp(argv[i], "--json") == 0)
            arguments.json = true;
        else if (std::strcmp(argv[i], "--area") == 0 && arguments.command == ProbeCommand::Stats)
        {
            if (i + 4 >= argc)
                return Wrong(arguments, argv[i], "expects X Y W H");
            int64_t* const values[] = {&arguments.area.x, &arguments.area.y, &arguments.area.width,
                                       &arguments.area.height};
            for (int64_t* value : values)
            {
                int32_t parsed = 0;
                if (!ParseCoordinate(argv[++i], parsed))
                    return Wrong(arguments, argv[i], "not a whole number");
                *value = parsed;
            }
            arguments.hasArea = true;
        }
        else if (std::strncmp(argv[i], "--", 2) == 0)
            return Wrong(arguments, argv[i], "unknown option");
        else
            operands.push_back(argv[i]);
    }
    if (arguments.command != ProbeCommand::Cell)
    {
        if (operands.size() != 1)
            return Wrong(arguments, command, arguments.command == ProbeCommand::Info ? "expects FILE" : "expects FILE.raf");
        arguments.file = operands[0];
        return arguments;
    }
    if (operands.size() != 3)
        return Wrong(arguments, command, "expects FILE.raf X Y");
    arguments.file = operands[0];
    arguments.xText = operands[1];
    arguments.yText = operands[2];
    if (!ParseCoordinate(operands[1], arguments.x))
        return Wrong(arguments, operands[1], "X is not a whole number");
    if (!ParseCoordinate(operands[2], arguments.y))
        return Wrong(arguments, operands[2], "Y is not a whole number");
    return arguments;
}
