#include "tools/Chart.h"

#include "raw/Lattice.h"

#include <algorithm>
#include <cmath>

namespace
{

constexpr int32_t kFieldWidth = 2944;
constexpr int32_t kFieldHeight = 2144;
constexpr int32_t kSide = kFieldWidth + kFieldHeight;
constexpr int64_t kBlockBytes = int64_t{kFieldWidth} * kFieldHeight * 3 / 2;
constexpr int64_t kGapBytes = 2048;

// White-balance gain that the demosaic applies to red and blue cells of row r.
double GainOfRow(int32_t r)
{
    return (r / 2) % 2 == 0 ? 1.65 : 1.57;
}

uint16_t ToSample(double value)
{
    return static_cast<uint16_t>(std::clamp(std::lround(value), 0L, 4095L));
}

}  // namespace

ChartColour ChartColourAt(int32_t r, int32_t c)
{
    // Placeholder: a flat mid grey until the chart's patterns are drawn.
    (void)r;
    (void)c;
    return {1200, 1200, 1200};
}

bool ChartIsSmoothAt(int32_t r, int32_t c)
{
    (void)r;
    (void)c;
    return true;
}

void RenderChartFields(uint16_t* field0, uint16_t* field1)
{
    // Each field sample is given the chart's value in its own filter colour
    // at the composite cell it is laid into.
    for (int32_t f = 0; f < 2; ++f)
    {
        uint16_t* field = f == 0 ? field0 : field1;
        for (int32_t y = 0; y < kFieldHeight; ++y)
            for (int32_t x = 0; x < kFieldWidth; ++x)
            {
                const int64_t element = int64_t{x + y} * kSide + (kFieldWidth + 2 - x + y) + int64_t{f} * kSide;
                const auto r = static_cast<int32_t>(element / kSide);
                const auto c = static_cast<int32_t>(element % kSide);
                const ChartColour colour = ChartColourAt(r, c);
                double value = 0;
                switch (ColourOfFieldSample(y, x))
                {
                case CellColour::Green:
                    value = colour.green;
                    break;
                case CellColour::Red:
                    value = colour.red / GainOfRow(r);
                    break;
                case CellColour::Blue:
                    value = colour.blue / GainOfRow(r);
                    break;
                }
                field[int64_t{y} * kFieldWidth + x] = ToSample(value);
            }
    }
}

void PackSamples(const uint16_t* samples, int64_t count, uint8_t* packed)
{
    for (int64_t i = 0; i + 1 < count; i += 2)
    {
        const uint32_t a = samples[i] & 0xFFF;
        const uint32_t b = samples[i + 1] & 0xFFF;
        *packed++ = static_cast<uint8_t>(a & 0xFF);
        *packed++ = static_cast<uint8_t>(a >> 8 | (b & 0x0F) << 4);
        *packed++ = static_cast<uint8_t>(b >> 4);
    }
}

std::vector<uint8_t> MakeChartFile()
{
    const int64_t samples = int64_t{kFieldWidth} * kFieldHeight;
    std::vector<uint16_t> field0(static_cast<size_t>(samples));
    std::vector<uint16_t> field1(static_cast<size_t>(samples));
    RenderChartFields(field0.data(), field1.data());
    std::vector<uint8_t> file(static_cast<size_t>(2 * kBlockBytes + kGapBytes), 0);
    PackSamples(field0.data(), samples, file.data());
    PackSamples(field1.data(), samples, file.data() + kBlockBytes + kGapBytes);
    return file;
}
