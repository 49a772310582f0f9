#include "programs/ProbeArguments.h"

#include "platform/TerminalText.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace
{

struct CommandText
{
    ProbeCommand command;
    const char* name;
    const char* operands;  // as the usage line shows them and "expects" names them
    size_t operandCount;
    const char* help;  // its lines of --help, after the name
};

constexpr CommandText kCommands[] = {
    {ProbeCommand::Info, "info", "FILE", 1,
     "the size, the bytes before the tail, the signature and, for a RAF,\n"
     "the header's fields, each offset and length checked"},
    {ProbeCommand::Stats, "stats", "FILE.raf", 1,
     "count, min, max, mean, stddev, zeros, clipped (4095), p1, p50, p99\n"
     "and a histogram of 64 bins, for each field and filter colour"},
    {ProbeCommand::Cell, "cell", "FILE.raf X Y", 3,
     "the mosaic cell that pixel (X, Y) of FILE.raf.bmp shows (X right,\n"
     "Y down from the top left corner) and how the demosaic coloured it"},
};

struct OptionText
{
    const char* name;
    const char* values;   // the whole numbers after it, by name
    bool statsOnly;       // an option of stats alone, listed after it
    const char* help;
};

constexpr OptionText kArea = {"--area", "X Y W H", true,
                              "only the cells that the W x H pixels from (X, Y) of FILE.raf.bmp show"};
constexpr OptionText kJson = {"--json", "", false, "print one JSON object instead of a table"};
constexpr const OptionText* kOptions[] = {&kArea, &kJson};

bool TakesOption(ProbeCommand command, const OptionText& option)
{
    return !option.statsOnly || command == ProbeCommand::Stats;
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
    int64_t area[4] = {};
    const Option json = {kJson.name, &arguments.json};
    const Option areaOption = {kArea.name, &arguments.hasArea, area, 4, kArea.values};
    arguments.problem = TakesOption(command->command, kArea)
                            ? ScanArguments(argc, argv, 2, {json, areaOption}, "--", operands)
                            : ScanArguments(argc, argv, 2, {json}, "--", operands);
    if (arguments.problem.Found())
        return arguments;
    arguments.area = {area[0], area[1], area[2], area[3]};
    if (operands.size() != command->operandCount)
    {
        arguments.problem = {command->name, std::string("expects ") + command->operands};
        return arguments;
    }
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
        for (const OptionText* option : kOptions)
            if (TakesOption(command.command, *option))
                help += std::string(" [") + option->name + (*option->values != '\0' ? " " : "") + option->values + "]";
        help += "\n";
    }
    help += "  diagraw-probe --help | --version\n\n";
    for (const CommandText& command : kCommands)
    {
        help += LabelledLines(command.name, command.help, 7);
        for (const OptionText* option : kOptions)
            if (option->statsOnly && TakesOption(command.command, *option))
                help += LabelledLines(option->name, option->help, 7);
    }
    for (const OptionText* option : kOptions)
        if (!option->statsOnly)
            help += LabelledLines(option->name, option->help, 7);
    return help + "\n"
                  "FILE.raf is read as diagraw reads it; nothing is written. Exit status:\n"
                  "0 success, 1 unreadable input, pixel or area outside the image, 2 wrong usage.\n";
}
