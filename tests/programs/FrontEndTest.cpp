// What the four programs share (programs/FrontEnd.h): a lone --help, -h or
// --version is answered on standard output, and only a lone one; a standard
// output that refuses the text is a failure of one line; and the scan of
// options and operands.
#include "programs/FrontEnd.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace
{

struct Program
{
    const char* path;
    const char* name;
    const char* helpStart;  // how its help begins
};

std::vector<Program> Programs()
{
    std::vector<Program> programs = {
        {kDiagrawExe, "diagraw", "diagraw, the X10 raw field and mosaic inspector v0.3\nUsage:\n"},
        {kProbeExe, "diagraw-probe", "Usage:\n  diagraw-probe info FILE [--json]\n"},
        {kSynthExe, "diagraw-synth", "Usage: diagraw-synth [--raf] OUT\n"},
    };
#if defined(DIAGRAW_EXPORT_EXE)
    programs.push_back({DIAGRAW_EXPORT_EXE, "diagraw-export", "Usage:\n  diagraw-export [--compress] FILE.raf KIND OUT\n"});
#endif
    return programs;
}

TEST(FrontEnd, HelpAndVersionOnlyWhenAlone)
{
    TempDir dir;
    for (const Program& program : Programs())
    {
        SCOPED_TRACE(program.name);
        for (const char* help : {"--help", "-h"})
        {
            const ProcessResult run = RunProcess({program.path, help}, std::chrono::seconds(20), "", dir.Path());
            EXPECT_EQ(run.exitStatus, kExitSuccess);
            EXPECT_EQ(run.out.rfind(program.helpStart, 0), 0u) << run.out;
            EXPECT_EQ(run.err, "");
        }
        const ProcessResult version = RunProcess({program.path, "--version"});
        EXPECT_EQ(version.out, std::string(program.name) + " 0.3\n");
        EXPECT_EQ(version.exitStatus, kExitSuccess);
        // Beside another argument it is an argument like any other: an input
        // to diagraw, which then says it is missing, and wrong usage to the
        // others.
        const ProcessResult notAlone = RunProcess({program.path, "--help", "x.raf"}, std::chrono::seconds(20), "", dir.Path());
        EXPECT_EQ(notAlone.exitStatus, program.name == std::string("diagraw") ? kExitFailure : kExitWrongUsage);
        EXPECT_NE(notAlone.err.find(std::string(program.name) + ": --help: "), std::string::npos) << notAlone.err;
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

#if !defined(_WIN32)
TEST(FrontEnd, StandardOutputThatRefusesTheTextIsAFailure)
{
    for (const Program& program : Programs())
    {
        const ProcessResult run =
            RunProcess({"/bin/sh", "-c", std::string("exec \"") + program.path + "\" --version > /dev/full"});
        EXPECT_EQ(run.exitStatus, kExitFailure) << program.name;
        EXPECT_EQ(run.err, std::string(program.name) + ": standard output: No space left on device\n");
    }
}
#endif

// The first wrong argument is the one reported; an option takes its values
// whatever they look like; a lone "-" is an operand under either mark.
TEST(FrontEnd, ScanArgumentsSortsOptionsAndOperands)
{
    const struct
    {
        std::vector<const char*> arguments;
        const char* optionMark;
        std::vector<std::string> operands;
        std::string problem;  // "name: reason", or empty
    } cases[] = {
        {{"a", "--flag", "-", "b"}, "--", {"a", "-", "b"}, ""},
        {{"-x", "--flag"}, "--", {"-x"}, ""},
        {{"-x"}, "-", {}, "-x: unknown option"},
        {{"--", "--bogus"}, "--", {}, "--: unknown option"},
        {{"--pair", "-3", "7", "a"}, "--", {"a"}, ""},
        {{"--pair", "-3", "--flag"}, "--", {}, "--flag: not a whole number"},
        {{"--pair", "1"}, "--", {}, "--pair: expects A B"},
        {{"--pair", "1", "w", "--bogus"}, "--", {}, "w: not a whole number"},
        {{"--gain", "0.5", "--files", "x", "-", "--flag", "y"}, "--", {"y"}, ""},
        {{"--gain", "nan"}, "--", {}, "nan: not a number"},
        {{"--gain", "1e999"}, "--", {}, "1e999: not a number"},
        {{"--files", "--flag"}, "--", {}, "--files: expects FILE..."},
    };
    for (const auto& c : cases)
    {
        std::vector<const char*> argv = {"program"};
        argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
        bool flag = false;
        bool pair = false;
        bool gain = false;
        bool files = false;
        int64_t values[2] = {};
        double real = 0;
        std::vector<const char*> texts;
        std::vector<const char*> operands;
        const UsageProblem problem = ScanArguments(
            static_cast<int>(argv.size()), argv.data(), 1,
            {{"--flag", &flag}, {"--pair", &pair, values, 2, "A B"}, {"--gain", &gain, nullptr, 1, "K", &real},
             {"--files", &files, nullptr, kEveryOperand, "FILE...", nullptr, &texts}},
            c.optionMark, operands);
        EXPECT_EQ(problem.Found() ? problem.name + ": " + problem.reason : "", c.problem) << c.arguments[0];
        EXPECT_EQ(std::vector<std::string>(operands.begin(), operands.end()), c.operands) << c.arguments[0];
        if (c.arguments[0] == std::string("--pair") && !problem.Found())
        {
            EXPECT_TRUE(pair && values[0] == -3 && values[1] == 7 && !flag);
        }
        if (c.arguments[0] == std::string("--gain") && !problem.Found())
        {
            EXPECT_TRUE(gain && files && real == 0.5 && flag);
            EXPECT_EQ(std::vector<std::string>(texts.begin(), texts.end()), (std::vector<std::string>{"x", "-"}));
        }
    }
}

}  // namespace
