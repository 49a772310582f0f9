// diagraw-export's command line, any arguments: an accepted one names a
// kind by its own name, three operands in order, and --compress exactly
// when it was given; help and version only alone.
#include "FuzzSupport.h"

#include "programs/ExportArguments.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const Arguments in = ArgumentsOf(data, size, "diagraw-export");
    const std::vector<std::string>& args = in.arguments;
    if (RequestOf(in.Count(), in.argv.data()) != Request::Run)
    {
        Require(args.size() == 2, "help or version alone");
        return 0;
    }
    const ExportArguments parsed = ParseExportArguments(in.Count(), in.argv.data());
    if (parsed.problem.Found())
        return 0;
    std::vector<std::string> operands;
    for (size_t i = 1; i < args.size(); ++i)
    {
        Require(args[i] == "--compress" || args[i].rfind("--", 0) != 0, "no unknown option accepted");
        if (args[i] != "--compress")
            operands.push_back(args[i]);
    }
    Require(operands.size() == 3 && operands[0] == parsed.input && operands[2] == parsed.output,
            "FILE and OUT in order");
    Require(operands[1] == NameOfExportKind(parsed.kind), "the kind by its name");
    ExportKind again = ExportKind::Field0;
    Require(ExportKindOf(NameOfExportKind(parsed.kind), again) && again == parsed.kind, "the name gives the kind");
    Require(parsed.deflate == (std::find(args.begin(), args.end(), "--compress") != args.end()), "--compress");
    return 0;
}
