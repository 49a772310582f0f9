// The field previews and the composite mosaic preview: display values over
// the whole 12-bit range, placement of every pixel, file names, and a run of
// diagraw on the built-in chart.
#include "TestSupport.h"

#include "formats/BmpWriter.h"
#include "previews/Previews.h"
#include "raw/Lattice.h"
#include "raw/Placement.h"
#include "raw/RawX10.h"
#include "tools/Chart.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <sstream>

using namespace testsupport;
namespace fs = std::filesystem;

namespace
{

constexpr int32_t kWidth = CRawX10::kFieldWidth;
constexpr int32_t kHeight = CRawX10::kFieldHeight;
constexpr int32_t kSide = kWidth + kHeight;
constexpr uint32_t kFieldPreviewBytes = 25'247'798;
constexpr uint32_t kMosaicPreviewBytes = 103'551'030;

// The expected display values in plain integer arithmetic. For 12-bit
// samples none of the floating-point products or quotients of the previews
// lands close enough to an integer for its rounding to move the truncation,
// so exact rational arithmetic gives the same values:
//   field preview:  q = v / 12; green q, red and blue q * 1.6 = q * 8 / 5
//   mosaic preview: green v / 13; red and blue t1 = v * 1.61f, where the
//                   single-precision 1.61 is exactly 13505659 / 2^23, then
//                   t2 = t1 * 8 / 5 and w = t2 / 13
// each truncated, and finally limited to 255.
uint8_t Limit(uint32_t value)
{
    return static_cast<uint8_t>(std::min<uint32_t>(value, 255));
}

uint8_t ExpectedFieldValue(uint32_t sample, bool green)
{
    const uint32_t q = sample / 12;
    return Limit(green ? q : q * 8 / 5);
}

uint8_t ExpectedMosaicValue(uint32_t sample, bool green)
{
    if (green)
        return Limit(sample / 13);
    const uint32_t t1 = static_cast<uint32_t>((uint64_t{sample} * 13'505'659u) >> 23);
    const uint32_t t2 = t1 * 8 / 5;
    return Limit(t2 / 13);
}

// Pixel byte (0 blue, 1 green, 2 red) lit by a field sample and by a cell.
int FieldSampleByte(int32_t y, int32_t x)
{
    if ((x + y) % 2 == 1)
        return 1;
    return x % 2 == 1 ? 2 : 0;
}

int CellByte(int32_t r, int32_t c)
{
    if (c % 2 == 1)
        return 1;
    return (r + c) / 2 % 2 == 0 ? 2 : 0;
}

// A well-mixed 12-bit value for position i, so that every colour class sees
// every sample value many times.
uint16_t MixedSample(uint32_t i)
{
    i ^= i >> 16;
    i *= 0x7FEB352Du;
    i ^= i >> 15;
    i *= 0x846CA68Bu;
    i ^= i >> 16;
    return static_cast<uint16_t>(i & 0x0FFF);
}

const uint8_t* PixelAt(const std::vector<uint8_t>& bmp, int32_t width, int32_t storageRow, int32_t pixel)
{
    return bmp.data() + kBmpHeaderBytes + (int64_t{storageRow} * width + pixel) * 4;
}

std::string DescribePixel(const uint8_t* pixel)
{
    std::ostringstream text;
    text << '{' << int{pixel[0]} << ',' << int{pixel[1]} << ',' << int{pixel[2]} << ',' << int{pixel[3]} << '}';
    return text.str();
}

// True when the pixel holds value in byte channel and 0 in the other three.
bool PixelIs(const uint8_t* pixel, int channel, uint8_t value)
{
    for (int b = 0; b < 4; ++b)
        if (pixel[b] != (b == channel ? value : 0))
            return false;
    return true;
}

bool HeaderIs(const std::vector<uint8_t>& bmp, int32_t width, int32_t height)
{
    uint8_t header[kBmpHeaderBytes];
    FillBmpHeader(header, width, height);
    return bmp.size() >= kBmpHeaderBytes && std::equal(header, header + kBmpHeaderBytes, bmp.begin());
}

// Checks every pixel of a field preview against the field: field position
// (y, x) at storage row kHeight - 1 - y, pixel x, upright and unmirrored.
// Returns the first mismatch, or an empty string.
std::string FirstFieldPreviewMismatch(const std::vector<uint8_t>& bmp, const uint16_t* field)
{
    for (int32_t y = 0; y < kHeight; ++y)
        for (int32_t x = 0; x < kWidth; ++x)
        {
            const uint16_t sample = field[int64_t{y} * kWidth + x];
            const int channel = FieldSampleByte(y, x);
            const uint8_t* pixel = PixelAt(bmp, kWidth, kHeight - 1 - y, x);
            if (!PixelIs(pixel, channel, ExpectedFieldValue(sample, channel == 1)))
                return "field (" + std::to_string(y) + ", " + std::to_string(x) + ") sample " +
                       std::to_string(sample) + " shows " + DescribePixel(pixel);
        }
    return std::string();
}

// Checks every pixel of a mosaic preview: cell (r, c) of the window 2 to
// kSide - 3 at storage row kSide - r, pixel kSide - c; every other pixel black.
std::string FirstMosaicPreviewMismatch(const std::vector<uint8_t>& bmp, const uint16_t* mosaic)
{
    for (int32_t row = 0; row < kSide; ++row)
        for (int32_t column = 0; column < kSide; ++column)
        {
            const int32_t r = kSide - row;
            const int32_t c = kSide - column;
            const uint8_t* pixel = PixelAt(bmp, kSide, row, column);
            const bool drawn = r >= 2 && r <= kSide - 3 && c >= 2 && c <= kSide - 3;
            if (!drawn)
            {
                if (!PixelIs(pixel, 0, 0))
                    return "border pixel " + std::to_string(row) + "/" + std::to_string(column) + " shows " +
                           DescribePixel(pixel);
                continue;
            }
            const uint16_t sample = mosaic[int64_t{r} * kSide + c];
            const int channel = CellByte(r, c);
            if (!PixelIs(pixel, channel, ExpectedMosaicValue(sample, channel == 1)))
                return "cell (" + std::to_string(r) + ", " + std::to_string(c) + ") sample " +
                       std::to_string(sample) + " shows " + DescribePixel(pixel);
        }
    return std::string();
}

}  // namespace

TEST(PreviewValues, FieldValueOverWholeSampleRange)
{
    for (uint32_t v = 0; v < 4096; ++v)
        for (const bool green : {true, false})
            ASSERT_EQ(FieldPreviewValue(static_cast<uint16_t>(v), green), ExpectedFieldValue(v, green))
                << "sample " << v << (green ? " green" : " red/blue");
}

TEST(PreviewValues, MosaicValueOverWholeSampleRange)
{
    for (uint32_t v = 0; v < 4096; ++v)
        for (const bool green : {true, false})
            ASSERT_EQ(MosaicPreviewValue(static_cast<uint16_t>(v), green), ExpectedMosaicValue(v, green))
                << "sample " << v << (green ? " green" : " red/blue");
}

TEST(PreviewValues, WorkedExamples)
{
    const struct
    {
        uint16_t sample;
        bool green;
        uint8_t field;
        uint8_t mosaic;
    } examples[] = {
        // Samples below 12 stay black in the field preview, below 13 in green
        // mosaic cells; red and blue mosaic cells light up from 6 on.
        {0, true, 0, 0},
        {11, true, 0, 0},
        {11, false, 0, 2},
        {12, true, 1, 0},
        {12, false, 1, 2},
        {13, true, 1, 1},
        {600, true, 50, 46},
        // Field red/blue: 159 * 1.6 = 254.4 -> 254, 160 * 1.6 = 256 -> 255.
        {1919, false, 254, 255},
        {1920, false, 255, 255},
        {3059, true, 254, 235},
        {3060, true, 255, 235},
        {3314, true, 255, 254},
        {3315, true, 255, 255},
        {4095, true, 255, 255},
        {4095, false, 255, 255},
        // Mosaic red/blue, truncated after every step: 100 -> 161 -> 257 -> 19;
        // 805 -> 1296 -> 2073 -> 159; 1286 -> 2070 -> 3312 -> 254;
        // 1287 -> 2072 -> 3315 -> 255. For 86 (138, 220, 16) and 212 (341,
        // 545, 41) one product without the truncations would give 17 and 42.
        {100, false, 12, 19},
        {805, false, 107, 159},
        {1286, false, 171, 254},
        {1287, false, 171, 255},
        {86, false, 11, 16},
        {212, false, 27, 41},
    };
    for (const auto& example : examples)
    {
        EXPECT_EQ(FieldPreviewValue(example.sample, example.green), example.field)
            << "sample " << example.sample << (example.green ? " green" : " red/blue");
        EXPECT_EQ(MosaicPreviewValue(example.sample, example.green), example.mosaic)
            << "sample " << example.sample << (example.green ? " green" : " red/blue");
    }
}

// Rendering without files: every 16-bit sample in every colour of a field of
// odd width (the last sample of a row has no partner), and every 12-bit
// sample of a mosaic with rows that hold larger samples (drawn cell by cell),
// whole and in bands of every height from 1 to 7 rows.
TEST(PreviewRendering, EverySampleWholeAndInBands)
{
    constexpr int32_t width = 515;
    constexpr int32_t height = 520;
    std::vector<uint16_t> field(size_t{width} * height);
    uint32_t next[3] = {0, 0, 0};  // per colour, the next sample value to place
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            field[y * width + x] = static_cast<uint16_t>(next[static_cast<int>(ColourOfFieldSample(y, x))]++);
    ASSERT_GE(std::min({next[0], next[1], next[2]}), 65536u);
    std::vector<uint8_t> fieldPixels(field.size() * 4, 0xA5);
    RenderFieldPreviewRows(field.data(), width, height, 0, height, fieldPixels.data());
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
        {
            const CellColour colour = ColourOfFieldSample(y, x);
            uint8_t want[4] = {};
            want[PixelByteOfColour(colour)] = FieldPreviewValue(field[y * width + x], colour == CellColour::Green);
            ASSERT_TRUE(std::equal(want, want + 4, &fieldPixels[((height - 1 - y) * width + x) * 4]))
                << "field (" << y << ", " << x << ")";
        }

    constexpr int32_t side = 331;
    std::mt19937 random(12);
    std::uniform_int_distribution<int32_t> anySample(0, 65535);
    std::vector<uint16_t> mosaic(size_t{side} * side);
    uint32_t nextCell[3] = {0, 0, 0};
    for (int32_t r = 0; r < side; ++r)
        for (int32_t c = 0; c < side; ++c)
            mosaic[r * side + c] = static_cast<uint16_t>(
                r % 50 == 7 ? anySample(random) : nextCell[static_cast<int>(ColourOfCell(r, c))]++ % 4096);
    ASSERT_GE(std::min({nextCell[0], nextCell[1], nextCell[2]}), 4096u * 6);
    std::vector<uint8_t> mosaicPixels(mosaic.size() * 4, 0xA5);
    RenderMosaicPreviewRows(mosaic.data(), side, 0, side, mosaicPixels.data());
    for (int32_t row = 0; row < side; ++row)
        for (int32_t x = 0; x < side; ++x)
        {
            const int32_t r = side - row;
            const int32_t c = side - x;
            uint8_t want[4] = {};
            if (r >= 2 && r <= side - 3 && c >= 2 && c <= side - 3)
            {
                const CellColour colour = ColourOfCell(r, c);
                want[PixelByteOfColour(colour)] = MosaicPreviewValue(mosaic[r * side + c], colour == CellColour::Green);
            }
            ASSERT_TRUE(std::equal(want, want + 4, &mosaicPixels[(row * side + x) * 4]))
                << "storage row " << row << ", pixel " << x;
        }

    for (int32_t bandRows = 1; bandRows <= 7; ++bandRows)
    {
        std::vector<uint8_t> fieldBands(fieldPixels.size(), 0x5A);
        for (int32_t first = 0; first < height; first += bandRows)
            RenderFieldPreviewRows(field.data(), width, height, first, std::min(bandRows, height - first),
                                   &fieldBands[size_t{4} * width * first]);
        ASSERT_TRUE(fieldBands == fieldPixels) << bandRows << " rows a band";
        std::vector<uint8_t> mosaicBands(mosaicPixels.size(), 0x5A);
        for (int32_t first = 0; first < side; first += bandRows)
            RenderMosaicPreviewRows(mosaic.data(), side, first, std::min(bandRows, side - first),
                                    &mosaicBands[size_t{4} * side * first]);
        ASSERT_TRUE(mosaicBands == mosaicPixels) << bandRows << " rows a band";
    }
}

TEST(FieldPreview, EveryPixelUprightInItsColourChannel)
{
    TempDir dir;
    CRawX10 raw;
    raw.m_path = (dir / "shot.raf").string();
    const size_t samples = size_t{kWidth} * kHeight;
    raw.m_field0 = std::make_unique<uint16_t[]>(samples);
    raw.m_field1 = std::make_unique<uint16_t[]>(samples);
    for (size_t i = 0; i < samples; ++i)
    {
        raw.m_field0[i] = MixedSample(static_cast<uint32_t>(i));
        raw.m_field1[i] = MixedSample(static_cast<uint32_t>(i + samples));
    }
    // The top-left corner: (0, 0) blue, (0, 1) green, (1, 0) green, (1, 1) red.
    raw.m_field0[0] = 4095;
    raw.m_field0[1] = 600;
    raw.m_field0[kWidth] = 3059;
    raw.m_field0[kWidth + 1] = 1919;
    raw.m_field0[kWidth + 2] = 11;

    ASSERT_EQ(raw.SaveFieldPreview(raw.m_field0.get()), kStatusOk);
    const std::vector<uint8_t> field0 = ReadFile(dir / "shot.raf.f0.bmp");
    ASSERT_EQ(field0.size(), kFieldPreviewBytes);
    EXPECT_TRUE(HeaderIs(field0, kWidth, kHeight));
    EXPECT_EQ(FirstFieldPreviewMismatch(field0, raw.m_field0.get()), "");
    // Field row 0 is the picture's top row, the last row stored.
    EXPECT_EQ(DescribePixel(PixelAt(field0, kWidth, 2143, 0)), "{255,0,0,0}");
    EXPECT_EQ(DescribePixel(PixelAt(field0, kWidth, 2143, 1)), "{0,50,0,0}");
    EXPECT_EQ(DescribePixel(PixelAt(field0, kWidth, 2142, 0)), "{0,254,0,0}");
    EXPECT_EQ(DescribePixel(PixelAt(field0, kWidth, 2142, 1)), "{0,0,254,0}");
    EXPECT_EQ(DescribePixel(PixelAt(field0, kWidth, 2142, 2)), "{0,0,0,0}");

    ASSERT_EQ(raw.SaveFieldPreview(raw.m_field1.get()), kStatusOk);
    const std::vector<uint8_t> field1 = ReadFile(dir / "shot.raf.f1.bmp");
    ASSERT_EQ(field1.size(), kFieldPreviewBytes);
    EXPECT_TRUE(HeaderIs(field1, kWidth, kHeight));
    EXPECT_EQ(FirstFieldPreviewMismatch(field1, raw.m_field1.get()), "");
    EXPECT_EQ(ReadFile(dir / "shot.raf.f0.bmp"), field0) << "field 1 must not touch the field 0 preview";
}

TEST(MosaicPreview, EveryPixelMirroredInItsColourChannelWithBlackBorder)
{
    TempDir dir;
    CRawX10 raw;
    raw.m_path = (dir / "shot.raf").string();
    raw.m_mosaic = std::make_unique<uint16_t[]>(size_t{kSide} * kSide);
    uint16_t* mosaic = raw.m_mosaic.get();
    for (int32_t r = 0; r < kSide; ++r)
        for (int32_t c = 0; c < kSide; ++c)
        {
            // Bright cells around the window would show if they were drawn.
            const bool outside = r < 2 || r > kSide - 3 || c < 2 || c > kSide - 3;
            mosaic[int64_t{r} * kSide + c] = outside ? 4095 : MixedSample(static_cast<uint32_t>(r * kSide + c));
        }
    const auto set = [&](int32_t r, int32_t c, uint16_t sample) { mosaic[int64_t{r} * kSide + c] = sample; };
    set(2, 2945, 3314);   // green
    set(2, 2946, 805);    // red
    set(2, 2944, 1286);   // blue
    set(2, 2, 100);       // red, first drawn cell
    set(5085, 5085, 13);  // green, last drawn cell

    ASSERT_EQ(raw.SaveMosaicPreview(), kStatusOk);
    const std::vector<uint8_t> bmp = ReadFile(dir / "shot.raf.src.bmp");
    ASSERT_EQ(bmp.size(), kMosaicPreviewBytes);
    EXPECT_TRUE(HeaderIs(bmp, kSide, kSide));
    EXPECT_EQ(FirstMosaicPreviewMismatch(bmp, mosaic), "");
    EXPECT_EQ(DescribePixel(PixelAt(bmp, kSide, 5086, 2143)), "{0,254,0,0}");
    EXPECT_EQ(DescribePixel(PixelAt(bmp, kSide, 5086, 2142)), "{0,0,159,0}");
    EXPECT_EQ(DescribePixel(PixelAt(bmp, kSide, 5086, 2144)), "{254,0,0,0}");
    EXPECT_EQ(DescribePixel(PixelAt(bmp, kSide, 5086, 5086)), "{0,0,19,0}");
    EXPECT_EQ(DescribePixel(PixelAt(bmp, kSide, 3, 3)), "{0,1,0,0}");
}

namespace
{

// Range of raw samples that the chart renders for cell (r, c): its colour on
// the white-balanced scale, with red and blue divided by the white-balance
// gain of the row pair (1.65 when floor(r / 2) is even, else 1.57). How the
// chart rounds is its own affair, so both neighbouring integers are allowed.
std::pair<int32_t, int32_t> ChartSampleRange(int32_t r, int32_t c)
{
    const ChartColour colour = ChartColourAt(r, c);
    const int channel = CellByte(r, c);
    double value = colour.green;
    if (channel != 1)
        value = (channel == 2 ? colour.red : colour.blue) / (r / 2 % 2 == 0 ? 1.65 : 1.57);
    const auto clamp = [](double v) { return static_cast<int32_t>(std::clamp(v, 0.0, 4095.0)); };
    return {clamp(std::floor(value)), clamp(std::ceil(value))};
}

}  // namespace

// One full run: the previews appear in pipeline order with their sizes, and
// across the whole chart they show the chart's raw samples, the mosaic preview
// before any white balance.
TEST(PreviewRun, ChartPreviewsInOrderShowTheChart)
{
    TempDir dir;
    const fs::path input = dir / "chart.raf";
    ASSERT_TRUE(WriteChartFile(input));
    const ProcessResult run = RunProcess({kDiagrawExe, input.string()});
    ASSERT_EQ(run.exitStatus, 0);

    const std::string stem = input.string();
    const std::pair<const char*, uintmax_t> outputs[] = {{".f0.bmp", kFieldPreviewBytes},
                                                         {".f1.bmp", kFieldPreviewBytes},
                                                         {".src.bmp", kMosaicPreviewBytes},
                                                         {".bmp", kMosaicPreviewBytes}};
    fs::file_time_type previous = fs::file_time_type::min();
    for (const auto& [suffix, bytes] : outputs)
    {
        const fs::path path = stem + suffix;
        ASSERT_TRUE(fs::is_regular_file(path)) << suffix;
        EXPECT_EQ(fs::file_size(path), bytes) << suffix;
        // Each image takes tens of milliseconds to build, far more than the
        // granularity of file times, so the order of the times is reliable.
        const fs::file_time_type written = fs::last_write_time(path);
        EXPECT_GT(written, previous) << suffix << " was written before the output preceding it";
        previous = written;
    }

    const std::vector<uint8_t> fieldPreviews[2] = {ReadFile(stem + ".f0.bmp"), ReadFile(stem + ".f1.bmp")};
    const std::vector<uint8_t> mosaicPreview = ReadFile(stem + ".src.bmp");
    int checked = 0;
    int blackChecked = 0;
    int mismatches = 0;
    const auto report = [&](bool agrees, const std::string& what) {
        if (!agrees)
        {
            ADD_FAILURE() << what;
            ++mismatches;
        }
    };
    for (int32_t r = 2; r <= kSide - 3 && mismatches < 5; r += 13)
        for (int32_t c = 2; c <= kSide - 3 && mismatches < 5; c += 17)
        {
            const std::string cell = "cell (" + std::to_string(r) + ", " + std::to_string(c) + ")";
            // Field position of the cell; cells outside the fields' diamond
            // hold nothing.
            const auto [holdsSample, f, y, x] = FieldSourceOfCell(kWidth, kHeight, r, c);
            const uint8_t* shown =
                PixelAt(mosaicPreview, kSide, StorageRowOfCellRow(kSide, r), MirroredColumn(kSide, c));
            if (!holdsSample)
            {
                report(PixelIs(shown, 0, 0), "empty " + cell + " shows " + DescribePixel(shown));
                ++blackChecked;
                continue;
            }
            const auto [low, high] = ChartSampleRange(r, c);
            const int channel = CellByte(r, c);
            const bool green = channel == 1;
            const auto inRange = [&](const uint8_t* pixel, uint8_t lowest, uint8_t highest) {
                return pixel[channel] >= lowest && pixel[channel] <= highest &&
                       PixelIs(pixel, channel, pixel[channel]);
            };
            const std::string samples = " samples " + std::to_string(low) + ".." + std::to_string(high) + " shows ";
            report(inRange(shown, MosaicPreviewValue(static_cast<uint16_t>(low), green),
                           MosaicPreviewValue(static_cast<uint16_t>(high), green)),
                   "mosaic preview of " + cell + samples + DescribePixel(shown));
            const uint8_t* fieldPixel = PixelAt(fieldPreviews[f], kWidth, kHeight - 1 - y, x);
            report(channel == FieldSampleByte(y, x) &&
                       inRange(fieldPixel, FieldPreviewValue(static_cast<uint16_t>(low), green),
                               FieldPreviewValue(static_cast<uint16_t>(high), green)),
                   "field " + std::to_string(f) + " preview of " + cell + samples + DescribePixel(fieldPixel));
            ++checked;
        }
    if (mismatches > 0)
        return;
    EXPECT_GT(checked, 40'000);
    EXPECT_GT(blackChecked, 40'000);
}
