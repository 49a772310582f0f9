// diagraw-synth's command line, any arguments: an accepted one holds one
// name, --raf exactly when it was given, and no other option.
#include "FuzzSupport.h"

#include "programs/SynthArguments.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const Arguments in = ArgumentsOf(data, size, "diagraw-synth");
    const std::vector<std::string>& args = in.arguments;
    const auto asked = [&](const char* option) { return std::find(args.begin(), args.end(), option) != args.end(); };
    if (RequestOf(in.Count(), in.argv.data()) != Request::Run)
    {
        Require(args.size() == 2, "help or version alone");
        return 0;
    }
    const SynthArguments parsed = ParseSynthArguments(in.Count(), in.argv.data());
    if (parsed.problem.Found())
        return 0;
    Require(parsed.out != nullptr, "a name when nothing is wrong");
    size_t names = 0;
    for (size_t i = 1; i < args.size(); ++i)
    {
        Require(args[i] == "--raf" || args[i] == "-" || args[i].rfind('-', 0) != 0, "no unknown option accepted");
        names += args[i] != "--raf";
    }
    Require(names == 1, "one name");
    Require(parsed.raf == asked("--raf"), "--raf as given");
    return 0;
}
