// diagraw-synth's command line: what --sensor's options set (the others:
// tests/tools/SensorModelTest.cpp), and each kind of wrong value refused.
#include "programs/SynthArguments.h"

#include <gtest/gtest.h>

namespace
{

SynthArguments Parse(std::vector<const char*> arguments)
{
    arguments.insert(arguments.begin(), "diagraw-synth");
    return ParseSynthArguments(static_cast<int>(arguments.size()), arguments.data());
}

TEST(SynthArguments, SensorOptionsSetTheModel)
{
    const SynthArguments a = Parse({"--sensor", "--light", "chart", "--electrons", "250.5", "--field-ratio", "2",
                                    "--dead", "1,0,0", "--hot", "0,3,4,70.5", "--read-noise", "0", "--gain", "2",
                                    "--offset", "-0", "--seed", "18446744073709551615", "--pattern-seed", "0",
                                    "--iso", "65535", "--gain", "3", "f.raf"});
    ASSERT_FALSE(a.problem.Found()) << a.problem.name << ": " << a.problem.reason;
    const SensorModel& m = a.model;
    EXPECT_TRUE(a.sensor && m.light == SensorLight::Chart && a.out == std::string("f.raf"));
    EXPECT_EQ(std::vector<double>({m.electrons, m.fieldRatio, m.readNoiseElectrons, m.gain, m.offset, double(m.iso),
                                   m.hot.at(0).electrons, double(m.hot[0].cell.x), double(m.dead.at(0).field)}),
              std::vector<double>({250.5, 2, 0, 3, 0, 65535, 70.5, 4, 1}));
    EXPECT_TRUE(m.seed == UINT64_MAX && m.patternSeed == 0);
}

TEST(SynthArguments, WrongSensorOptionsAreRefusedNamingTheOption)
{
    const struct
    {
        std::vector<const char*> arguments;
        std::string name, reason;
    } cases[] = {
        {{"--raf", "--iso", "100", "x"}, "--iso", "only with --sensor"},
        {{"--sensor", "--electrons", "-1", "x"}, "--electrons", "N must be 0 to 1e+09, not -1"},
        {{"--sensor", "--gain", "0", "x"}, "--gain", "K must be more than 0, up to 1e+06, not 0"},
        {{"--sensor", "--light", "sun", "x"}, "--light", "must be flat or chart, not sun"},
        {{"--sensor", "--dead", "0,2144,0", "x"}, "--dead",
         "0,2144,0 lies outside the fields (F 0 or 1, Y 0 to 2143, X 0 to 2943)"},
        {{"--sensor", "--hot", "0,1,x", "x"}, "--hot", "0,1,x is not F,Y,X or F,Y,X,E"},
        {{"--sensor", "--seed", "18446744073709551616", "x"}, "--seed",
         "S must be a whole number from 0 to 18446744073709551615, not 18446744073709551616"},
        {{"--sensor", "--iso", "100.5", "x"}, "--iso", "N must be a whole number from 1 to 65535, not 100.5"},
    };
    for (const auto& [arguments, name, reason] : cases)
        EXPECT_EQ(Parse(arguments).problem.name + ": " + Parse(arguments).problem.reason, name + ": " + reason);
}

}  // namespace
