#include "programs/ExportArguments.h"

ExportArguments ParseExportArguments(int argc, const char* const* argv)
{
    ExportArguments arguments;
    std::vector<const char*> operands;
    arguments.problem = ScanArguments(argc, argv, 1, {{"--compress", &arguments.deflate}}, "--", operands);
    if (arguments.problem.Found())
        return arguments;
    if (operands.size() != 3)
        arguments.problem = {"command line", "expects FILE.raf KIND OUT"};
    else if (!ExportKindOf(operands[1], arguments.kind))
        arguments.problem = {operands[1], "unknown kind; one of " + ExportKindNames()};
    else
    {
        arguments.input = operands[0];
        arguments.output = operands[2];
    }
    return arguments;
}
