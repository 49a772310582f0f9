// The command line, run as a process.
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace testsupport;

TEST(CommandLine, ChartRunsToExitZero)
{
    TempDir dir;
    ASSERT_TRUE(WriteChartFile(dir / "chart.raf"));
    const ProcessResult result = RunProcess({kDiagrawExe, (dir / "chart.raf").string()});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.err, "");
}
