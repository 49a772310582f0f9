#include "programs/SynthArguments.h"

SynthArguments ParseSynthArguments(int argc, const char* const* argv)
{
    SynthArguments arguments;
    std::vector<const char*> operands;
    arguments.problem = ScanArguments(argc, argv, 1, {{"--raf", &arguments.raf}}, "-", operands);
    if (arguments.problem.Found())
        return arguments;
    if (operands.empty())
        arguments.problem = {"OUT", "missing"};
    else if (operands.size() > 1)
        arguments.problem = {operands[1], "one output only"};
    else
        arguments.out = operands[0];
    return arguments;
}
