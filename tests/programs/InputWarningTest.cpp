// diagraw warns, on standard error, about a file that is probably not an X10
// raw file, and otherwise runs as before: the chart's tail behind a RAF
// header of the X10 or of another model, or behind a JPEG's first bytes,
// gives the chart's four images, the same standard output and exit status 0.
#include "raw/RawX10.h"
#include "tools/RafContainer.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace
{

constexpr const char* kSuffixes[] = {".f0.bmp", ".f1.bmp", ".src.bmp", ".bmp"};

TEST(InputWarning, OnlyForAnotherModelOrFormatAndTheImagesStayTheSame)
{
    TempDir dir;
    const auto chart = dir / "chart.raf";
    ASSERT_TRUE(WriteChartFile(chart));
    const std::vector<uint8_t> tail = ReadFile(chart);
    const auto withPrefix = [&](std::vector<uint8_t> prefix) {
        prefix.insert(prefix.end(), tail.begin(), tail.end());
        return prefix;
    };
    std::vector<uint8_t> otherModel = RafPrefixFor(CRawX10::kTailBytes);
    std::copy_n("X20", 3, otherModel.begin() + 28);
    std::vector<uint8_t> jpeg = SmallGreyJpeg();
    jpeg.resize(1'000'000);  // a JPEG of some 20 MB with the chart's tail at its end
    const ProcessResult reference = RunProcess({kDiagrawExe, chart.string()});
    ASSERT_EQ(reference.exitStatus, 0);
    EXPECT_EQ(reference.err, "");

    const struct
    {
        const char* name;
        std::vector<uint8_t> bytes;
        std::string warning;
    } cases[] = {
        {"x10.raf", withPrefix(RafPrefixFor(CRawX10::kTailBytes)), ""},
        {"x20.raf", withPrefix(otherModel), "a RAF file of the camera model \"X20\", not of the X10"},
        {"photo.jpg", withPrefix(jpeg), "a JPEG file, not an X10 raw file"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        const auto input = dir / c.name;
        WriteFile(input, c.bytes);
        const ProcessResult run = RunProcess({kDiagrawExe, input.string()});
        EXPECT_EQ(run.exitStatus, 0);
        EXPECT_EQ(run.out, reference.out);
        EXPECT_EQ(run.err, c.warning.empty() ? std::string()
                                             : "diagraw: " + input.string() + ": warning: " + c.warning +
                                                   "; the images will probably show noise\n");
        for (const char* suffix : kSuffixes)
            EXPECT_TRUE(ReadFile(input.string() + suffix) == ReadFile(chart.string() + suffix)) << suffix;
    }
}

}  // namespace
