// The built-in test chart: the file diagraw-synth writes, the round trip of
// its fields through the loader, the white balance of its samples and the
// cells it marks as smooth.
#include "demosaic/Demosaic.h"
#include "raw/Lattice.h"
#include "raw/Placement.h"
#include "raw/RawX10.h"
#include "tools/Chart.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

using namespace testsupport;

namespace
{

constexpr int32_t kWidth = 2944;
constexpr int32_t kHeight = 2144;
constexpr int32_t kSide = kWidth + kHeight;
constexpr size_t kFieldSamples = size_t{kWidth} * kHeight;
constexpr size_t kBlockBytes = 9'467'904;
constexpr size_t kGapBytes = 2'048;
constexpr size_t kFileBytes = 18'937'856;

struct ChartFields
{
    std::vector<uint16_t> field0 = std::vector<uint16_t>(kFieldSamples);
    std::vector<uint16_t> field1 = std::vector<uint16_t>(kFieldSamples);

    ChartFields() { RenderChartFields(field0.data(), field1.data()); }
};

TEST(ChartFile, SynthWritesTheChartFileAndDiagrawLoadsItsFieldsBack)
{
    TempDir dir;
    const auto path = dir / "chart.raf";
    ASSERT_TRUE(WriteChartFile(path));
    const std::vector<uint8_t> written = ReadFile(path);
    const std::vector<uint8_t> expected = MakeChartFile();
    ASSERT_EQ(written.size(), kFileBytes);
    EXPECT_TRUE(written == expected);
    EXPECT_TRUE(std::all_of(written.begin() + kBlockBytes, written.begin() + kBlockBytes + kGapBytes,
                            [](uint8_t b) { return b == 0; }));

    // Packing, then the loader's unpacking, gives back the rendered fields.
    const ChartFields chart;
    CRawX10 raw;
    ASSERT_EQ(raw.Load(path.string().c_str()), 0);
    EXPECT_TRUE(std::equal(chart.field0.begin(), chart.field0.end(), raw.m_field0.get()));
    EXPECT_TRUE(std::equal(chart.field1.begin(), chart.field1.end(), raw.m_field1.get()));
}

// Every failure is one line naming the file, with status 2 for the command
// line and 1 for the output, and writes nothing (the help:
// tests/programs/FrontEndTest.cpp).
TEST(ChartFile, SynthFailures)
{
    TempDir dir;
    const std::string noDir = (dir / "no" / "such" / "dir.raf").string();
    const struct
    {
        std::vector<std::string> arguments;
        int exitStatus;
        std::string message;
    } cases[] = {
        {{}, 2, "OUT: missing (see diagraw-synth --help)"},
        {{"a.raf", "b.raf"}, 2, "b.raf: one output only (see diagraw-synth --help)"},
        {{"--fast"}, 2, "--fast: unknown option (see diagraw-synth --help)"},
        {{noDir}, 1, noDir + ": No such file or directory"},
#if !defined(_WIN32)
        {{dir.Path().string()}, 1, dir.Path().string() + ": Is a directory"},
#endif
    };
    for (const auto& c : cases)
    {
        std::vector<std::string> argv = {kSynthExe};
        argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
        const ProcessResult result = RunProcess(argv, std::chrono::seconds(60), "", dir.Path());
        EXPECT_EQ(result.exitStatus, c.exitStatus) << c.message;
        EXPECT_EQ(result.err, "diagraw-synth: " + c.message + "\n");
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST(ChartFields, WhiteBalancedSamplesGiveTheChartColourOfTheirCell)
{
    // Red and blue samples are stored divided by the gain of their row, so
    // the demosaic's white balance restores the chart's value; none of the
    // chart's samples is clipped at either end of the 12-bit range.
    const ChartFields chart;
    int64_t wrong = 0;
    int64_t clipped = 0;
    for (int32_t f = 0; f < 2; ++f)
    {
        const std::vector<uint16_t>& field = f == 0 ? chart.field0 : chart.field1;
        for (int32_t y = 0; y < kHeight; ++y)
            for (int32_t x = 0; x < kWidth; ++x)
            {
                if (x <= WrappedRunOf(kWidth, kHeight, y).last)
                    continue;  // one of the six wrapped cells
                const auto [r, c] = CellOfSample(kWidth, kHeight, f, y, x);
                const uint16_t sample = field[static_cast<size_t>(int64_t{y} * kWidth + x)];
                clipped += sample == 0 || sample >= 4095;
                const ChartColour colour = ChartColourAt(r, c);
                int32_t expected = colour.green;
                int32_t restored = sample;
                if (ColourOfCell(r, c) != CellColour::Green)
                {
                    expected = ColourOfCell(r, c) == CellColour::Red ? colour.red : colour.blue;
                    restored = WhiteBalancedSample(sample, r);
                }
                wrong += std::abs(restored - expected) > 2;
            }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(clipped, 0);
}

TEST(ChartSmoothness, NothingNearTheBorderOfTheFieldsOrOutsideTheWindowIsSmooth)
{
    // The corners of the diamond the fields cover, the empty corners of the
    // mosaic and cells beside the scan window.
    const int32_t cells[][2] = {{0, 2946},  {6, 2946},   {2943, 3},   {2943, 12}, {5086, 2146},
                                {5080, 2146}, {2142, 5087}, {2142, 5076}, {0, 0},     {5087, 5087},
                                {100, 100},  {2545, 7},   {7, 2545}};
    for (const auto& cell : cells)
        EXPECT_FALSE(ChartIsSmoothAt(cell[0], cell[1])) << "(" << cell[0] << ", " << cell[1] << ")";
    // Far from everything: the outer gradient and the middle of a patch.
    EXPECT_TRUE(ChartIsSmoothAt(2545, 1000));
    EXPECT_TRUE(ChartIsSmoothAt(1640, 1640));
}

TEST(ChartSmoothness, SmoothCellsCoverMostOfTheFieldsAndSomeAreNot)
{
    int64_t smooth = 0;
    int64_t rough = 0;
    for (int32_t r = 8; r < kSide - 8; r += 3)
        for (int32_t c = 8; c < kSide - 8; c += 3)
        {
            // Only cells well inside the diamond.
            const int32_t u = r + c;
            const int32_t v = r - c;
            if (u < kWidth + 20 || u > kWidth + 2 * kHeight - 20 || v < -kWidth + 20 || v > kWidth - 20)
                continue;
            (ChartIsSmoothAt(r, c) ? smooth : rough) += 1;
        }
    EXPECT_GT(smooth, 8 * (smooth + rough) / 10);
    EXPECT_GT(rough, (smooth + rough) / 50);
}

TEST(ChartSmoothness, AroundEverySmoothCellTheColourChangesSlowly)
{
    // Random smooth cells: within four cells of each, no channel steps by
    // more than a few units from one cell to the next, so no edge or line
    // lies that close.
    std::mt19937 random(5088);
    std::uniform_int_distribution<int32_t> coordinate(0, kSide - 1);
    int32_t checked = 0;
    for (int32_t attempt = 0; attempt < 200'000 && checked < 20'000; ++attempt)
    {
        const int32_t r = coordinate(random);
        const int32_t c = coordinate(random);
        if (!ChartIsSmoothAt(r, c))
            continue;
        ++checked;
        for (int32_t dr = -4; dr <= 4; ++dr)
            for (int32_t dc = -4; dc <= 3; ++dc)
            {
                const ChartColour a = ChartColourAt(r + dr, c + dc);
                const ChartColour east = ChartColourAt(r + dr, c + dc + 1);
                const ChartColour south = ChartColourAt(r + dc, c + dr);
                const ChartColour below = ChartColourAt(r + dc + 1, c + dr);
                const int32_t step = std::max({std::abs(a.red - east.red), std::abs(a.green - east.green),
                                               std::abs(a.blue - east.blue), std::abs(south.red - below.red),
                                               std::abs(south.green - below.green), std::abs(south.blue - below.blue)});
                ASSERT_LE(step, 6) << "near smooth cell (" << r << ", " << c << ")";
            }
    }
    EXPECT_GT(checked, 10'000);
}

}  // namespace
