#include "programs/ExportArguments.h"

#include <cstring>
#include <vector>

ExportArguments ParseExportArguments(int argc, const char* const* argv)
{
    ExportArguments arguments;
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0))
    {
        arguments.help = true;
        return arguments;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0)
    {
        arguments.version = true;
        return arguments;
    }
    std::vector<const char*> operands;
    for (int i = 1; i < argc; ++i)
    {
        if (std::strcmp(argv[i], "--compress") == 0)
            arguments.deflate = true;
        else if (std::strncmp(argv[i], "--", 2) == 0)
        {
            arguments.problemName = argv[i];
            arguments.problem = "unknown option";
            return arguments;
        }
        else
            operands.push_back(argv[i]);
    }
    if (operands.size() != 3)
    {
        arguments.problemName = "command line";
        arguments.problem = "expects FILE.raf KIND OUT";
        return arguments;
    }
    if (!ExportKindOf(operands[1], arguments.kind))
    {
        arguments.problemName = operands[1];
        arguments.problem = "unknown kind; one of " + ExportKindNames();
        return arguments;
    }
    arguments.input = operands[0];
    arguments.output = operands[2];
    return arguments;
}
