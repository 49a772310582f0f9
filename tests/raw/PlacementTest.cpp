// The placement of field samples in the mosaic: the inverse against the
// loader's placement, and the runs of a field row against cell by cell.
#include "raw/Placement.h"
#include "raw/RawX10.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace
{

// Every cell's source holds the cell's sample, and every sample has a cell:
// small fields, whose corner samples wrap into columns 0 and 1 too, and the
// camera's.
TEST(FieldSource, InvertsThePlacementOfTheLoader)
{
    std::mt19937 random(3);
    for (const auto& [width, height] : {std::pair{12, 8}, std::pair{9, 7}, std::pair{2944, 2144}})
    {
        CRawX10 raw;
        raw.m_width = width;
        raw.m_height = height;
        const auto samples = static_cast<size_t>(width * height);
        for (auto* field : {&raw.m_field0, &raw.m_field1})
        {
            *field = std::make_unique<uint16_t[]>(samples);
            std::generate_n(field->get(), samples, [&] { return static_cast<uint16_t>(1 + random() % 4095); });
        }
        raw.BuildMosaic();
        const int32_t side = raw.MosaicSide();
        size_t found = 0;
        for (int32_t r = 0; r < side; ++r)
            for (int32_t c = 0; c < side; ++c)
            {
                const FieldSource source = FieldSourceOfCell(width, height, r, c);
                const uint16_t held = raw.m_mosaic[static_cast<size_t>(r * side + c)];
                const uint16_t* field = source.field == 0 ? raw.m_field0.get() : raw.m_field1.get();
                ASSERT_EQ(source.holdsSample ? field[source.y * width + source.x] : 0, held)
                    << width << " x " << height << ", cell (" << r << ", " << c << ")";
                found += source.holdsSample;
            }
        EXPECT_EQ(found, 2 * samples);
    }
}

// A field row's run in a box is exactly its regular samples whose cells lie
// in the box, for boxes that reach past every edge of a small mosaic.
TEST(FieldRun, HoldsTheRegularCellsOfTheBox)
{
    constexpr int32_t kWidth = 9;
    constexpr int32_t kHeight = 7;
    std::mt19937 random(5);
    std::uniform_int_distribution<int32_t> coordinate(-2, kWidth + kHeight + 1);
    for (int trial = 0; trial < 2000; ++trial)
    {
        const CellBox box = {coordinate(random), coordinate(random), coordinate(random), coordinate(random)};
        for (int32_t f = 0; f < 2; ++f)
            for (int32_t y = 0; y < kHeight; ++y)
            {
                const FieldRun run = RunOfFieldRow(kWidth, kHeight, f, y, box);
                for (int32_t x = 0; x < kWidth; ++x)
                {
                    const MosaicCell cell = CellOfSample(kWidth, kHeight, f, y, x);
                    const bool inBox = cell.r >= box.firstRow && cell.r <= box.lastRow && cell.c >= box.firstColumn &&
                                       cell.c <= box.lastColumn;
                    const bool wrapped = x <= WrappedRunOf(kWidth, kHeight, y).last;
                    ASSERT_EQ(x >= run.first && x <= run.last, inBox && !wrapped) << trial << ": " << f << ", " << y << ", " << x;
                }
            }
    }
}

}  // namespace
