// The explanation of a pixel: the pixel it explains against the .bmp that
// diagraw writes, for the chart and a file of random bytes.
#include "probe/CellReport.h"
#include "raw/RawX10.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

using namespace testsupport;

namespace
{

// Pixel (x, y) of a 32-bit bottom-up BMP: blue, green, red.
std::array<uint8_t, 3> PixelOfBmp(const std::vector<uint8_t>& bmp, int32_t side, int32_t x, int32_t y)
{
    uint32_t offset = 0;
    std::memcpy(&offset, bmp.data() + 10, 4);  // little-endian, as the hosts that run the tests
    const uint8_t* p = bmp.data() + offset + (static_cast<size_t>(side - 1 - y) * side + static_cast<size_t>(x)) * 4;
    return {p[0], p[1], p[2]};
}

class PixelOfTheImage : public testing::TestWithParam<const char*>
{
};

TEST_P(PixelOfTheImage, EqualsThePixelDiagrawWrites)
{
    TempDir dir;
    const auto path = dir / "input.raf";
    if (std::string(GetParam()) == "chart")
        ASSERT_TRUE(WriteChartFile(path));
    else
    {
        std::mt19937 random(17);
        std::vector<uint8_t> bytes(CRawX10::kTailBytes + 1000);
        std::generate(bytes.begin(), bytes.end(), [&] { return static_cast<uint8_t>(random()); });
        WriteFile(path, bytes);
    }
    ASSERT_EQ(RunProcess({kDiagrawExe, path.string()}).exitStatus, 0);
    const std::vector<uint8_t> bmp = ReadFile(path.string() + ".bmp");

    CRawX10 raw;
    ASSERT_EQ(raw.Load(path.string().c_str()), kStatusOk);
    const int32_t side = raw.MosaicSide();
    const std::vector<uint16_t> loaded(raw.m_mosaic.get(), raw.m_mosaic.get() + side * side);
    std::vector<uint16_t> balanced = loaded;
    WhiteBalanceWindow(balanced.data(), side);

    // The edges of the image and of the window, then random pixels.
    std::vector<std::pair<int32_t, int32_t>> pixels = {
        {0, 100}, {100, side - 1}, {0, side - 1}, {side - 1, 0}, {8, 2000}, {9, 2000}, {side - 8, 2000},
        {side - 7, 2000}, {2500, 6}, {2500, 7}, {2500, side - 10}, {2500, side - 9}, {9, 7}, {side - 8, side - 10}};
    std::mt19937 random(29);
    std::uniform_int_distribution<int32_t> coordinate(0, side - 1);
    while (pixels.size() < 400)
        pixels.emplace_back(coordinate(random), coordinate(random));

    for (const auto& [x, y] : pixels)
    {
        const PixelExplanation e = ExplainPixel(raw.Samples(), x, y);
        ASSERT_EQ((std::array<uint8_t, 3>{e.pixel[0], e.pixel[1], e.pixel[2]}), PixelOfBmp(bmp, side, x, y))
            << "pixel (" << x << ", " << y << ")";
        ASSERT_EQ(e.showsCell, x > 0 && y < side - 1);
        if (!e.showsCell)
            continue;
        const auto at = [&](int32_t r, int32_t c) { return static_cast<size_t>(r * side + c); };
        ASSERT_EQ(e.balancedSample, balanced[at(e.r, e.c)]);
        for (int32_t dy = -2; e.demosaiced && dy <= 2; ++dy)
            for (int32_t dx = -2; dx <= 2; ++dx)
                ASSERT_EQ(e.neighbourhood[dy + 2][dx + 2], balanced[at(e.r + dy, e.c + dx)]);
        // The next pixel starts from the loaded mosaic again.
        for (int32_t r = std::max(0, e.r - 2); r <= std::min(side - 1, e.r + 2); ++r)
            std::copy_n(&loaded[at(r, 0)], side, &raw.m_mosaic[at(r, 0)]);
    }
}

INSTANTIATE_TEST_SUITE_P(Files, PixelOfTheImage, testing::Values("chart", "random"),
                         [](const testing::TestParamInfo<const char*>& instance) { return std::string(instance.param); });

}  // namespace
