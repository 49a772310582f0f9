#include "programs/ProbeArguments.h"

#include "platform/TerminalText.h"

#include <algorithm>
#include <cstring>

namespace
{

constexpr uint32_t Bit(ProbeCommand command)
{
    return 1u << static_cast<uint32_t>(command);
}

constexpr uint32_t kFrameCommands =
    Bit(ProbeCommand::Pair) | Bit(ProbeCommand::Ptc) | Bit(ProbeCommand::Defects) | Bit(ProbeCommand::Fields);

// Operands a command takes: exactly count, or with inPairs count or more in
// pairs.
struct CommandText
{
    ProbeCommand command;
    const char* name;
    const char* operands;  // as the usage line shows them and "expects" names them
    size_t operandCount;
    bool inPairs;
    const char* help;  // its lines of --help, after the name
};

constexpr CommandText kCommands[] = {
    {ProbeCommand::Info, "info", "FILE", 1, false,
     "the size, the bytes before the tail, the signature and, for a RAF,\n"
     "the header's fields, each offset and length checked"},
    {ProbeCommand::Stats, "stats", "FILE.raf", 1, false,
     "count, min, max, mean, stddev, zeros, clipped (4095), p1, p50, p99\n"
     "and a histogram of 64 bins, for each field and filter colour"},
    {ProbeCommand::Cell, "cell", "FILE.raf X Y", 3, false,
     "the mosaic cell that pixel (X, Y) of FILE.raf.bmp shows (X right,\n"
     "Y down from the top left corner) and how the demosaic coloured it"},
    {ProbeCommand::Pair, "pair", "A.raf B.raf", 2, false,
     "two frames of one scene at one exposure: the mean and the temporal\n"
     "variance and noise of each field and colour (EMVA 1288)"},
    {ProbeCommand::Ptc, "ptc", "--dark D1 D2 FLAT1A FLAT1B [FLAT2A FLAT2B ...]", 2, true,
     "the photon transfer curve of a dark pair and flat pairs: each pair's\n"
     "point and the gain, read noise, saturation and dynamic range fitted"},
    {ProbeCommand::Defects, "defects", "--darks FILE... | --flats FILE... [--darks FILE...]", 0, false,
     "a stack of darks or flats read frame by frame: level, spread, DSNU or\n"
     "PRNU and the temporal variance, and the hot, dead and stuck cells"},
    {ProbeCommand::Fields, "fields", "FILE.raf", 1, false,
     "the two fields of one frame: means, their ratio in EV and the\n"
     "correlation of co-sited samples, by colour"},
};

struct OptionText
{
    const char* name;
    const char* values;  // what follows it, by name
    uint32_t commands;   // the commands that take it
    const char* help;
};

constexpr OptionText kArea = {"--area", "X Y W H", Bit(ProbeCommand::Stats) | kFrameCommands,
                              "only the cells that the W x H pixels from (X, Y) of FILE.raf.bmp show"};
constexpr OptionText kJson = {"--json", "", ~0u, "print one JSON object instead of a table"};
constexpr OptionText kCsv = {"--csv", "", kFrameCommands,
                             "print CSV: one line per channel, per point (ptc) or per defect"};
constexpr OptionText kDark = {"--dark", "D1 D2", Bit(ProbeCommand::Ptc), "the dark pair"};
constexpr OptionText kDarks = {"--darks", "FILE...", Bit(ProbeCommand::Defects),
                               "dark frames: hot cells, DSNU; the dark reference of --flats"};
constexpr OptionText kFlats = {"--flats", "FILE...", Bit(ProbeCommand::Defects),
                               "flat frames of one exposure: dead cells, PRNU"};
constexpr OptionText kSigma = {"--sigma", "K", Bit(ProbeCommand::Defects),
                               "hot above the level by K robust spreads (8)"};
constexpr OptionText kDeadBelow = {"--dead-below", "T", Bit(ProbeCommand::Defects),
                                   "dead below (1 - T) of the level (0.5)"};
constexpr OptionText kGain = {"--gain", "K", Bit(ProbeCommand::Defects),
                              "the system gain in DN per electron: DSNU in electrons"};
constexpr const OptionText* kOptions[] = {&kArea, &kJson, &kCsv, &kDark, &kDarks, &kFlats, &kSigma, &kDeadBelow, &kGain};

bool TakesOption(ProbeCommand command, const OptionText& option)
{
    return (option.commands & Bit(command)) != 0;
}

UsageProblem CheckOperands(const CommandText& command, const std::vector<const char*>& operands)
{
    const bool fits = command.inPairs ? operands.size() >= command.operandCount && operands.size() % 2 == 0
                                      : operands.size() == command.operandCount;
    if (fits)
        return {};
    return {command.name, std::string("expects ") + command.operands};
}

}  // namespace

ProbeArguments ParseProbeArguments(int argc, const char* const* argv)
{
    ProbeArguments arguments;
    if (argc < 2)
    {
        arguments.problem = {"command", "missing"};
        return arguments;
    }
    const CommandText* command = std::find_if(std::begin(kCommands), std::end(kCommands),
                                              [&](const CommandText& text) { return std::strcmp(text.name, argv[1]) == 0; });
    if (command == std::end(kCommands))
    {
        arguments.problem = {argv[1], "unknown command"};
        return arguments;
    }
    arguments.command = command->command;

    std::vector<const char*> operands;
    std::vector<const char*> dark;
    int64_t area[4] = {};
    bool given[std::size(kOptions)] = {};
    const std::vector<Option> all = {
        {kArea.name, &given[0], area, 4, kArea.values},
        {kJson.name, &arguments.json},
        {kCsv.name, &arguments.csv},
        {kDark.name, &given[3], nullptr, 2, kDark.values, nullptr, &dark},
        {kDarks.name, &given[4], nullptr, kEveryOperand, kDarks.values, nullptr, &arguments.darks},
        {kFlats.name, &given[5], nullptr, kEveryOperand, kFlats.values, nullptr, &arguments.flats},
        {kSigma.name, &given[6], nullptr, 1, kSigma.values, &arguments.sigma},
        {kDeadBelow.name, &given[7], nullptr, 1, kDeadBelow.values, &arguments.deadBelow},
        {kGain.name, &given[8], nullptr, 1, kGain.values, &arguments.gain},
    };
    std::vector<Option> options;
    for (size_t i = 0; i < all.size(); ++i)
        if (TakesOption(command->command, *kOptions[i]))
            options.push_back(all[i]);
    arguments.problem = ScanArguments(argc, argv, 2, options, "--", operands);
    if (arguments.problem.Found())
        return arguments;
    arguments.hasArea = given[0];
    arguments.area = {area[0], area[1], area[2], area[3]};
    if (arguments.json && arguments.csv)
        arguments.problem = {"--csv", "and --json cannot both be given"};
    else if (given[3] && dark.size() != 2)
        arguments.problem = {kDark.name, "given twice"};
    else if (command->command == ProbeCommand::Ptc && !given[3])
        arguments.problem = {command->name, "expects --dark D1 D2"};
    else if (command->command == ProbeCommand::Defects && arguments.darks.empty() && arguments.flats.empty())
        arguments.problem = {command->name, "expects --darks FILE... or --flats FILE..."};
    else if (!(arguments.sigma > 0))
        arguments.problem = {kSigma.name, "must be above 0"};
    else if (!(arguments.deadBelow > 0 && arguments.deadBelow < 1))
        arguments.problem = {kDeadBelow.name, "must lie between 0 and 1"};
    else if (given[8] && !(arguments.gain > 0))
        arguments.problem = {kGain.name, "must be above 0"};
    else
        arguments.problem = CheckOperands(*command, operands);
    if (arguments.problem.Found())
        return arguments;

    if (command->command == ProbeCommand::Pair || command->command == ProbeCommand::Ptc)
    {
        arguments.frames = dark;
        arguments.frames.insert(arguments.frames.end(), operands.begin(), operands.end());
        return arguments;
    }
    if (command->command == ProbeCommand::Defects)
        return arguments;
    arguments.file = operands[0];
    if (command->command != ProbeCommand::Cell)
        return arguments;
    arguments.xText = operands[1];
    arguments.yText = operands[2];
    if (!ParseWholeNumber(operands[1], arguments.x))
        arguments.problem = {operands[1], "X is not a whole number"};
    else if (!ParseWholeNumber(operands[2], arguments.y))
        arguments.problem = {operands[2], "Y is not a whole number"};
    return arguments;
}

std::string ProbeHelp()
{
    std::string help = "Usage:\n";
    for (const CommandText& command : kCommands)
    {
        help += std::string("  diagraw-probe ") + command.name + " " + command.operands;
        for (const OptionText* option : {&kArea, &kJson, &kCsv})
            if (TakesOption(command.command, *option))
                help += std::string(" [") + option->name + (*option->values != '\0' ? " " : "") + option->values + "]";
        if (command.command == ProbeCommand::Defects)
            help += " [--sigma K] [--dead-below T] [--gain K]";
        help += "\n";
    }
    help += "  diagraw-probe --help | --version\n\n";
    for (const CommandText& command : kCommands)
        help += LabelledLines(command.name, command.help, 13);
    help += "\n";
    for (const OptionText* option : kOptions)
        help += LabelledLines(std::string(option->name) + (*option->values != '\0' ? " " : "") + option->values,
                              option->help, 13);
    return help + "\n"
                  "FILE.raf is read as diagraw reads it; nothing is written. Frames whose Exif\n"
                  "names different cameras or ISO settings are refused. Exit status: 0 success,\n"
                  "1 unreadable input, refused frames, pixel or area outside the image,\n"
                  "2 wrong usage.\n";
}
