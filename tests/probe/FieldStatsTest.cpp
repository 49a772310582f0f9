// The field statistics against a plain count: a field small enough to work
// out by hand, then both fields of the chart against their sorted samples.
#include "probe/FieldStats.h"
#include "tools/Chart.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>
#include <vector>

namespace
{

// The figures that must be exact; the mean and stddev are compared apart.
auto ExactFigures(const ColourStats& s)
{
    return std::tuple(s.count, s.min, s.max, s.zeros, s.clipped, s.p1, s.p50, s.p99, s.histogram);
}

void ExpectSameStats(const ColourStats& actual, const ColourStats& expected)
{
    EXPECT_TRUE(ExactFigures(actual) == ExactFigures(expected));
    EXPECT_NEAR(actual.mean, expected.mean, 1e-9 * (1 + expected.mean));
    EXPECT_NEAR(actual.stddev, expected.stddev, 1e-9 * (1 + expected.stddev));
}

// Row 0 reads blue, green, blue; row 1 green, red, green.
TEST(FieldStats, ThreeByTwoFieldByHand)
{
    const uint16_t field[] = {0, 10, 4095, 20, 100, 30};
    const FieldStats stats = ComputeFieldStats(field, 3, 2);
    ColourStats blue{2, 0, 4095, 2047.5, 2047.5, 1, 1, 0, 0, 4095, {}};
    blue.histogram[0] = blue.histogram[63] = 1;
    ColourStats green{3, 10, 30, 20.0, std::sqrt(200.0 / 3), 0, 0, 10, 20, 30, {}};
    green.histogram[0] = 3;
    ColourStats red{1, 100, 100, 100.0, 0.0, 0, 0, 100, 100, 100, {}};
    red.histogram[1] = 1;
    ExpectSameStats(stats[static_cast<size_t>(CellColour::Blue)], blue);
    ExpectSameStats(stats[static_cast<size_t>(CellColour::Green)], green);
    ExpectSameStats(stats[static_cast<size_t>(CellColour::Red)], red);
}

// The statistics of one colour from its samples, sorted.
ColourStats SortedStats(std::vector<int32_t> samples)
{
    std::sort(samples.begin(), samples.end());
    ColourStats s;
    s.count = static_cast<int64_t>(samples.size());
    s.min = samples.front();
    s.max = samples.back();
    for (const int32_t v : samples)
    {
        s.mean += v;
        s.zeros += v == 0;
        s.clipped += v == 4095;
        ++s.histogram[static_cast<size_t>(v / 64)];
    }
    s.mean /= static_cast<double>(s.count);
    for (const int32_t v : samples)
        s.stddev += (v - s.mean) * (v - s.mean);
    s.stddev = std::sqrt(s.stddev / static_cast<double>(s.count));
    const auto percentile = [&](int64_t p) { return samples[static_cast<size_t>((p * s.count + 99) / 100 - 1)]; };
    s.p1 = percentile(1);
    s.p50 = percentile(50);
    s.p99 = percentile(99);
    return s;
}

void ExpectStatsOfField(const std::vector<uint16_t>& field, int32_t width, int32_t height)
{
    std::vector<int32_t> byColour[3];
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            byColour[static_cast<int>(ColourOfFieldSample(y, x))].push_back(field[static_cast<size_t>(y * width + x)]);
    const FieldStats stats = ComputeFieldStats(field.data(), width, height);
    for (int colour = 0; colour < 3; ++colour)
    {
        SCOPED_TRACE(NameOfColour(static_cast<CellColour>(colour)));
        ExpectSameStats(stats[static_cast<size_t>(colour)], SortedStats(byColour[colour]));
    }
}

TEST(FieldStats, ChartFieldsEqualASortedCount)
{
    std::vector<uint16_t> field0(2944 * 2144);
    std::vector<uint16_t> field1(field0.size());
    RenderChartFields(field0.data(), field1.data());
    ExpectStatsOfField(field0, 2944, 2144);
    ExpectStatsOfField(field1, 2944, 2144);
}

}  // namespace
