// diagraw-synth's command line, any arguments: an accepted one holds one
// name and --raf exactly when it was given; without --sensor no other
// option, with it a model that the command line's ranges allow.
#include "FuzzSupport.h"

#include "programs/SynthArguments.h"
#include "tools/RafContainer.h"

#include <algorithm>

namespace
{

bool ModelInRange(const SensorModel& model)
{
    const auto within = [](double value, double least, double most) { return value >= least && value <= most; };
    bool cellsInside = std::all_of(model.dead.begin(), model.dead.end(), SensorCellInside);
    for (const HotCell& hot : model.hot)
        cellsInside = cellsInside && SensorCellInside(hot.cell) && within(hot.electrons, 0, kMostElectrons);
    return cellsInside && within(model.electrons, 0, kMostElectrons) && within(model.prnuPercent, 0, kMostPrnuPercent) &&
           model.fieldRatio > 0 && model.fieldRatio <= kMostFieldRatio && within(model.dsnuElectrons, 0, kMostElectrons) &&
           within(model.readNoiseElectrons, 0, kMostElectrons) && model.gain > 0 && model.gain <= kMostGain &&
           within(model.offset, 0, 4095) &&
           within(model.exposureSeconds, kShortestExposureSeconds, kLongestExposureSeconds) && model.iso >= 1;
}

}  // namespace

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
    Require(parsed.raf == asked("--raf"), "--raf as given");
    Require(parsed.sensor == asked("--sensor"), "--sensor as given");
    if (parsed.sensor)
    {
        Require(ModelInRange(parsed.model), "a model within the ranges");
        return 0;
    }
    size_t names = 0;
    for (size_t i = 1; i < args.size(); ++i)
    {
        Require(args[i] == "--raf" || args[i] == "-" || args[i].rfind('-', 0) != 0, "no unknown option accepted");
        names += args[i] != "--raf";
    }
    Require(names == 1, "one name");
    return 0;
}
