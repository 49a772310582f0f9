#include "programs/SynthArguments.h"

#include "raw/PackedSamples.h"
#include "raw/RawX10.h"
#include "tools/RafContainer.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace
{

// A model option of one real value and the range it takes: least to most,
// or above least when leastExcluded.
struct RealOption
{
    const char* name;
    const char* valueName;
    double SensorModel::*field;
    double least;
    bool leastExcluded;
    double most;
};

constexpr RealOption kRealOptions[] = {
    {"--electrons", "N", &SensorModel::electrons, 0, false, kMostElectrons},
    {"--prnu", "P", &SensorModel::prnuPercent, 0, false, kMostPrnuPercent},
    {"--field-ratio", "R", &SensorModel::fieldRatio, 0, true, kMostFieldRatio},
    {"--dsnu", "E", &SensorModel::dsnuElectrons, 0, false, kMostElectrons},
    {"--read-noise", "E", &SensorModel::readNoiseElectrons, 0, false, kMostElectrons},
    {"--gain", "K", &SensorModel::gain, 0, true, kMostGain},
    {"--offset", "DN", &SensorModel::offset, 0, false, kSampleMaximum},
    {"--exposure", "SECONDS", &SensorModel::exposureSeconds, kShortestExposureSeconds, false,
     kLongestExposureSeconds},
};
constexpr size_t kRealCount = std::size(kRealOptions);

// The model options whose values are read here, in the order of Texts.
constexpr const char* kTextOptions[] = {"--light", "--dead", "--hot", "--seed", "--pattern-seed", "--iso"};
constexpr int32_t kMostIso = 65535;  // Exif keeps it in 16 bits

struct Texts
{
    std::vector<const char*> light, dead, hot, seed, patternSeed, iso;
};

std::string Number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

std::string RangeOf(const RealOption& option)
{
    return option.leastExcluded ? "more than " + Number(option.least) + ", up to " + Number(option.most)
                                : Number(option.least) + " to " + Number(option.most);
}

bool IsModelOption(const char* argument)
{
    for (const RealOption& option : kRealOptions)
        if (std::strcmp(argument, option.name) == 0)
            return true;
    for (const char* option : kTextOptions)
        if (std::strcmp(argument, option) == 0)
            return true;
    return false;
}

// A seed: a whole number from 0 to 2^64 - 1, in decimal.
bool ParseSeed(const char* text, uint64_t& seed)
{
    if (*text == '\0')
        return false;
    uint64_t value = 0;
    for (const char* p = text; *p != '\0'; ++p)
    {
        const auto digit = static_cast<uint64_t>(*p - '0');
        if (*p < '0' || *p > '9' || value > (UINT64_MAX - digit) / 10)
            return false;
        value = value * 10 + digit;
    }
    seed = value;
    return true;
}

// "F,Y,X", or with hot also "F,Y,X,E", into cell and electrons.
bool ParseCell(const char* text, bool hot, SensorCell& cell, double& electrons)
{
    std::vector<std::string> parts(1);
    for (const char* p = text; *p != '\0'; ++p)
        if (*p == ',')
            parts.emplace_back();
        else
            parts.back() += *p;
    if (parts.size() != 3 && !(hot && parts.size() == 4))
        return false;
    int32_t* const whole[] = {&cell.field, &cell.y, &cell.x};
    for (size_t i = 0; i < 3; ++i)
        if (!ParseWholeNumber(parts[i].c_str(), *whole[i]))
            return false;
    return parts.size() == 3 || ParseRealNumber(parts[3].c_str(), electrons);
}

// The cells of --dead (hot false) or --hot into model.
UsageProblem TakeCells(const std::vector<const char*>& texts, bool hot, SensorModel& model)
{
    const char* option = hot ? "--hot" : "--dead";
    for (const char* text : texts)
    {
        SensorCell cell;
        double electrons = kDefaultHotElectrons;
        if (!ParseCell(text, hot, cell, electrons))
            return {option, std::string(text) + (hot ? " is not F,Y,X or F,Y,X,E" : " is not F,Y,X")};
        if (!SensorCellInside(cell))
            return {option, std::string(text) + " lies outside the fields (F 0 or 1, Y 0 to " +
                                std::to_string(CRawX10::kFieldHeight - 1) + ", X 0 to " +
                                std::to_string(CRawX10::kFieldWidth - 1) + ")"};
        if (!(electrons >= 0 && electrons <= kMostElectrons))
            return {option, "E must be 0 to " + Number(kMostElectrons) + ", not " + Number(electrons)};
        if (hot)
            model.hot.push_back({cell, electrons});
        else
            model.dead.push_back(cell);
    }
    return {};
}

// The model from what the scan took: every value checked against its range.
UsageProblem TakeModel(const bool* realGiven, const double* reals, const Texts& texts, SensorModel& model)
{
    for (size_t i = 0; i < kRealCount; ++i)
    {
        if (!realGiven[i])
            continue;
        const RealOption& option = kRealOptions[i];
        const double value = reals[i];
        const bool aboveLeast = option.leastExcluded ? value > option.least : value >= option.least;
        if (!aboveLeast || value > option.most)
            return {option.name,
                    std::string(option.valueName) + " must be " + RangeOf(option) + ", not " + Number(value)};
        model.*option.field = value;
    }
    if (!texts.light.empty())
    {
        const std::string light = texts.light.back();
        if (light != "flat" && light != "chart")
            return {"--light", "must be flat or chart, not " + light};
        model.light = light == "chart" ? SensorLight::Chart : SensorLight::Flat;
    }
    const struct
    {
        const char* option;
        const std::vector<const char*>& given;
        uint64_t& seed;
    } seeds[] = {{"--seed", texts.seed, model.seed}, {"--pattern-seed", texts.patternSeed, model.patternSeed}};
    for (const auto& seed : seeds)
        if (!seed.given.empty() && !ParseSeed(seed.given.back(), seed.seed))
            return {seed.option, "S must be a whole number from 0 to " + std::to_string(UINT64_MAX) + ", not " +
                                     seed.given.back()};
    if (!texts.iso.empty())
    {
        int32_t iso = 0;
        if (!ParseWholeNumber(texts.iso.back(), iso) || iso < 1 || iso > kMostIso)
            return {"--iso", "N must be a whole number from 1 to " + std::to_string(kMostIso) + ", not " +
                                 texts.iso.back()};
        model.iso = static_cast<uint16_t>(iso);
    }
    const UsageProblem dead = TakeCells(texts.dead, false, model);
    return dead.Found() ? dead : TakeCells(texts.hot, true, model);
}

}  // namespace

SynthArguments ParseSynthArguments(int argc, const char* const* argv)
{
    SynthArguments arguments;
    std::vector<const char*> operands;
    bool realGiven[kRealCount] = {};
    double reals[kRealCount] = {};
    const auto real = [&](size_t i) {
        return Option{kRealOptions[i].name, &realGiven[i], nullptr, 1, kRealOptions[i].valueName, &reals[i]};
    };
    Texts texts;
    bool textGiven[std::size(kTextOptions)] = {};
    const auto text = [&](size_t i, std::vector<const char*>& values, const char* valueName) {
        return Option{kTextOptions[i], &textGiven[i], nullptr, 1, valueName, nullptr, &values};
    };
    arguments.problem = ScanArguments(argc, argv, 1,
                                      {{"--raf", &arguments.raf},
                                       {"--sensor", &arguments.sensor},
                                       real(0), real(1), real(2), real(3), real(4), real(5), real(6), real(7),
                                       text(0, texts.light, "flat|chart"),
                                       text(1, texts.dead, "F,Y,X"),
                                       text(2, texts.hot, "F,Y,X[,E]"),
                                       text(3, texts.seed, "S"),
                                       text(4, texts.patternSeed, "S"),
                                       text(5, texts.iso, "N")},
                                      "-", operands);
    static_assert(kRealCount == 8, "every real option is in the scan above");
    if (arguments.problem.Found())
        return arguments;
    if (!arguments.sensor)
        for (int i = 1; i < argc; ++i)
            if (IsModelOption(argv[i]))
            {
                arguments.problem = {argv[i], "only with --sensor"};
                return arguments;
            }
    if (operands.empty())
        arguments.problem = {"OUT", "missing"};
    else if (operands.size() > 1)
        arguments.problem = {operands[1], "one output only"};
    else
        arguments.out = operands[0];
    if (!arguments.problem.Found() && arguments.sensor)
        arguments.problem = TakeModel(realGiven, reals, texts, arguments.model);
    return arguments;
}
