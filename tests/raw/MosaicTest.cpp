// The composite mosaic: where every field sample lands, which cells stay
// empty, and that the cell colours and site classes match the colours of
// the field samples placed in them.
#include "raw/Lattice.h"
#include "raw/RawX10.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace
{

constexpr int32_t kWidth = 2944;
constexpr int32_t kHeight = 2144;
constexpr int32_t kSide = kWidth + kHeight;
constexpr uint16_t kField1Tag = 0x8000;

// A field sample: which field, at which field row and column.
struct FieldPosition
{
    int32_t field;
    int32_t y;
    int32_t x;

    bool operator==(const FieldPosition&) const = default;
};

std::ostream& operator<<(std::ostream& out, const FieldPosition& p)
{
    return out << "field " << p.field << " (" << p.y << ", " << p.x << ")";
}

// Two mosaics built from tagged fields: in the first every sample holds its
// field row + 1, in the second its field column + 1, field-1 samples with the
// top bit set. Together they name the sample in every cell.
class Placement : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_byRow = BuildTagged([](int32_t y, int32_t) { return y + 1; });
        s_byColumn = BuildTagged([](int32_t, int32_t x) { return x + 1; });
    }

    static void TearDownTestSuite()
    {
        s_byRow.reset();
        s_byColumn.reset();
    }

    template <typename Tag>
    static std::unique_ptr<CRawX10> BuildTagged(Tag tag)
    {
        auto raw = std::make_unique<CRawX10>();
        raw->m_field0 = std::make_unique<uint16_t[]>(size_t{kWidth} * kHeight);
        raw->m_field1 = std::make_unique<uint16_t[]>(size_t{kWidth} * kHeight);
        for (int32_t y = 0; y < kHeight; ++y)
            for (int32_t x = 0; x < kWidth; ++x)
            {
                raw->m_field0[int64_t{y} * kWidth + x] = static_cast<uint16_t>(tag(y, x));
                raw->m_field1[int64_t{y} * kWidth + x] = static_cast<uint16_t>(kField1Tag | tag(y, x));
            }
        raw->BuildMosaic();
        raw->m_field0.reset();
        raw->m_field1.reset();
        return raw;
    }

    // The sample in cell (r, c), or nothing when the cell is empty.
    static std::optional<FieldPosition> SampleIn(int32_t r, int32_t c)
    {
        const int64_t cell = int64_t{r} * kSide + c;
        const uint16_t row = s_byRow->m_mosaic[cell];
        const uint16_t column = s_byColumn->m_mosaic[cell];
        if (row == 0 && column == 0)
            return std::nullopt;
        const int32_t field = row & kField1Tag ? 1 : 0;
        if (row == 0 || column == 0 || (column & kField1Tag ? 1 : 0) != field)
            return FieldPosition{-1, -1, -1};  // the two mosaics disagree
        return FieldPosition{field, (row & ~kField1Tag) - 1, (column & ~kField1Tag) - 1};
    }

    static inline std::unique_ptr<CRawX10> s_byRow;
    static inline std::unique_ptr<CRawX10> s_byColumn;
};

// The six cells where the element index runs past the end of its row.
struct WrappedCell
{
    FieldPosition sample;
    int32_t r;
    int32_t c;
};

constexpr WrappedCell kWrappedCells[] = {
    {{0, 2142, 0}, 2143, 0}, {{1, 2142, 0}, 2144, 0}, {{0, 2143, 0}, 2144, 1},
    {{1, 2143, 0}, 2145, 1}, {{0, 2143, 1}, 2145, 0}, {{1, 2143, 1}, 2146, 0},
};

bool IsWrappedCell(int32_t r, int32_t c)
{
    for (const WrappedCell& cell : kWrappedCells)
        if (cell.r == r && cell.c == c)
            return true;
    return false;
}

// The sample that the inverse of the placement puts in a regular cell.
std::optional<FieldPosition> InverseOfPlacement(int32_t r, int32_t c)
{
    const int32_t field = (r + c) % 2;
    const int32_t y = (r + c - kWidth - 2 - field) / 2;
    const int32_t x = (r - c + kWidth + 2 - field) / 2;
    if (r + c - kWidth - 2 - field < 0 || y >= kHeight || r - c + kWidth + 2 - field < 0 || x >= kWidth)
        return std::nullopt;
    return FieldPosition{field, y, x};
}

struct PlacedCase
{
    const char* name;
    FieldPosition sample;
    int32_t r;
    int32_t c;
};

constexpr PlacedCase kPlacedCases[] = {
    {"top corner", {0, 0, 0}, 0, 2946},
    {"below the top corner", {1, 0, 0}, 1, 2946},
    {"row 1, west", {0, 0, 1}, 1, 2945},
    {"row 1, east", {0, 1, 0}, 1, 2947},
    {"left corner", {0, 0, 2943}, 2943, 3},
    {"below the left corner", {1, 0, 2943}, 2944, 3},
    {"bottom corner", {0, 2143, 2943}, 5086, 2146},
    {"last row", {1, 2143, 2943}, 5087, 2146},
    {"last column", {0, 2141, 0}, 2141, 5087},
    {"last column, field 1", {1, 2141, 0}, 2142, 5087},
};

// One test for all named cells: every test process builds the two mosaics
// anew.
TEST_F(Placement, NamedSamplesLandInTheirCells)
{
    for (const PlacedCase& placed : kPlacedCases)
        EXPECT_EQ(SampleIn(placed.r, placed.c), placed.sample) << placed.name;
    for (const WrappedCell& wrapped : kWrappedCells)
        EXPECT_EQ(SampleIn(wrapped.r, wrapped.c), wrapped.sample)
            << "wrapped cell (" << wrapped.r << ", " << wrapped.c << ")";
}

TEST_F(Placement, EdgeRowsAndColumnsHoldOnlyTheirFewSamples)
{
    // Row 0 holds only the top corner, row 1 three samples, the last row one;
    // columns 0 and 1 hold only wrapped samples and column 2 none at all.
    auto occupied = [](int32_t r, int32_t c) { return SampleIn(r, c).has_value(); };
    for (int32_t c = 0; c < kSide; ++c)
    {
        EXPECT_EQ(occupied(0, c), c == 2946) << "row 0, column " << c;
        EXPECT_EQ(occupied(1, c), c >= 2945 && c <= 2947) << "row 1, column " << c;
        EXPECT_EQ(occupied(kSide - 1, c), c == 2146) << "last row, column " << c;
    }
    for (int32_t r = 0; r < kSide; ++r)
    {
        EXPECT_EQ(occupied(r, 0), IsWrappedCell(r, 0)) << "column 0, row " << r;
        EXPECT_EQ(occupied(r, 1), IsWrappedCell(r, 1)) << "column 1, row " << r;
        EXPECT_FALSE(occupied(r, 2)) << "column 2, row " << r;
    }
}

TEST_F(Placement, EverySampleLandsExactlyOnceWhereTheInverseRuleSays)
{
    std::vector<uint8_t> landed(2 * size_t{kWidth} * kHeight, 0);
    int64_t misplaced = 0;
    int64_t occupiedCells = 0;
    for (int32_t r = 0; r < kSide; ++r)
        for (int32_t c = 0; c < kSide; ++c)
        {
            const std::optional<FieldPosition> sample = SampleIn(r, c);
            const std::optional<FieldPosition> expected = IsWrappedCell(r, c) ? sample : InverseOfPlacement(r, c);
            if (sample != expected && ++misplaced <= 5)
                ADD_FAILURE() << "cell (" << r << ", " << c << ") holds "
                              << (sample ? testing::PrintToString(*sample) : "nothing");
            if (!sample || sample->field < 0)
                continue;
            ++occupiedCells;
            ++landed[static_cast<size_t>((int64_t{sample->field} * kHeight + sample->y) * kWidth + sample->x)];
        }
    EXPECT_EQ(misplaced, 0);
    EXPECT_EQ(occupiedCells, 12'623'872);
    EXPECT_TRUE(std::all_of(landed.begin(), landed.end(), [](uint8_t count) { return count == 1; }));
}

// The site class that a sample of this field, colour and field row must get:
// green G<field><h> with h = 0 for odd y, red R<field>, blue B<field>.
SiteClass ClassOfFieldSample(const FieldPosition& sample)
{
    switch (ColourOfFieldSample(sample.y, sample.x))
    {
    case CellColour::Green:
        if (sample.field == 0)
            return sample.y % 2 != 0 ? SiteClass::G00 : SiteClass::G01;
        return sample.y % 2 != 0 ? SiteClass::G10 : SiteClass::G11;
    case CellColour::Red:
        return sample.field == 0 ? SiteClass::R0 : SiteClass::R1;
    case CellColour::Blue:
        break;
    }
    return sample.field == 0 ? SiteClass::B0 : SiteClass::B1;
}

TEST_F(Placement, CellColourAndClassMatchTheSamplePlacedThere)
{
    int64_t wrongColour = 0;
    int64_t wrongClass = 0;
    for (int32_t r = 0; r < kSide; ++r)
        for (int32_t c = 0; c < kSide; ++c)
        {
            const std::optional<FieldPosition> sample = SampleIn(r, c);
            // The six wrapped cells take their colour from where they are,
            // whatever field their sample came from.
            if (!sample || IsWrappedCell(r, c))
                continue;
            wrongColour += ColourOfCell(r, c) != ColourOfFieldSample(sample->y, sample->x);
            wrongClass += SiteClassOfCell(r, c) != ClassOfFieldSample(*sample);
        }
    EXPECT_EQ(wrongColour, 0);
    EXPECT_EQ(wrongClass, 0);
}

TEST(SiteClassOfCell, NamedCellsNearTheTopCorner)
{
    EXPECT_EQ(ColourOfCell(0, 2946), CellColour::Blue);
    EXPECT_EQ(SiteClassOfCell(0, 2946), SiteClass::B0);
    EXPECT_EQ(SiteClassOfCell(1, 2946), SiteClass::B1);
    EXPECT_EQ(SiteClassOfCell(1, 2945), SiteClass::G01);
    EXPECT_EQ(SiteClassOfCell(1, 2947), SiteClass::G00);
}

TEST(BuildMosaic, ZeroFieldsGiveAZeroMosaic)
{
    CRawX10 raw;
    raw.m_field0 = std::make_unique<uint16_t[]>(size_t{kWidth} * kHeight);
    raw.m_field1 = std::make_unique<uint16_t[]>(size_t{kWidth} * kHeight);
    raw.BuildMosaic();
    ASSERT_NE(raw.m_mosaic, nullptr);
    const uint16_t* mosaic = raw.m_mosaic.get();
    EXPECT_TRUE(std::all_of(mosaic, mosaic + size_t{kSide} * kSide, [](uint16_t s) { return s == 0; }));
}

}  // namespace
