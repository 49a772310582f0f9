// Outputs that cannot be written, run as a process: the pipeline still writes
// every other image whole, the exit status is 1, nothing is printed for it,
// and no temporary file is left behind.
#include "TestSupport.h"

#include "bmp/BmpWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

using namespace testsupport;
namespace fs = std::filesystem;

namespace
{

struct Output
{
    const char* suffix;
    int32_t side;  // width; the height follows from it
};

constexpr Output kOutputs[] = {{".f0.bmp", 2944}, {".f1.bmp", 2944}, {".src.bmp", 5088}, {".bmp", 5088}};

int32_t HeightOf(const Output& output)
{
    return output.side == 2944 ? 2144 : 5088;
}

// Which outputs a directory blocks in one run; between the runs every
// output is blocked once and written once.
using Blocked = std::set<std::string>;

class OutputFailure : public ::testing::TestWithParam<Blocked>
{
};

INSTANTIATE_TEST_SUITE_P(Runs, OutputFailure,
                         ::testing::Values(Blocked{".f1.bmp", ".bmp"}, Blocked{".f0.bmp", ".src.bmp"}),
                         [](const auto& instance) { return instance.index == 0 ? "FieldOneAndImage" : "FieldZeroAndMosaic"; });

}  // namespace

TEST_P(OutputFailure, OthersWrittenWholeAndExitStatusOne)
{
    const Blocked& blocked = GetParam();
    TempDir dir;
    const fs::path input = dir / "chart.raf";
    ASSERT_TRUE(WriteChartFile(input));
    std::set<std::string> expectedNames = {"chart.raf"};
    for (const Output& output : kOutputs)
    {
        expectedNames.insert(std::string("chart.raf") + output.suffix);
        if (blocked.count(output.suffix) != 0)
            fs::create_directory(input.string() + output.suffix);
    }

    const ProcessResult run = RunProcess({kDiagrawExe, input.string()});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << "only the banner: " << run.out;

    for (const Output& output : kOutputs)
    {
        const fs::path path = input.string() + output.suffix;
        if (blocked.count(output.suffix) != 0)
        {
            EXPECT_TRUE(fs::is_directory(path) && fs::is_empty(path)) << output.suffix << " was disturbed";
            continue;
        }
        ASSERT_TRUE(fs::is_regular_file(path)) << output.suffix << " was not written";
        const int32_t height = HeightOf(output);
        EXPECT_EQ(fs::file_size(path), 54u + uintmax_t{4} * static_cast<uint32_t>(output.side) * height)
            << output.suffix;
        uint8_t header[kBmpHeaderBytes];
        FillBmpHeader(header, output.side, height);
        const std::vector<uint8_t> bytes = ReadFile(path);
        EXPECT_TRUE(bytes.size() >= kBmpHeaderBytes && std::equal(header, header + kBmpHeaderBytes, bytes.begin()))
            << output.suffix;
    }

    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.Path()))
        names.insert(entry.path().filename().string());
    EXPECT_EQ(names, expectedNames) << "a temporary was left behind";
}
